#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/app/DebugLog.h"
#include "downloader/app/SingleInstance.h"
#include "downloader/app/UtilityPaths.h"
#include "downloader/app/UtilityQueue.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/ui/MainWindowController.h"

#include <boost/shared_ptr.hpp>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <iostream>
#include <string>
#include <vector>

using namespace Vantor::DigitalMedia::MusicClient::Downloader;

namespace {

const char kMainWindow[] = "MainWindow";

// The window the program runs on; null, after saying where it was looked for, when no
// share folder holds it.
Gtk::Window* FindMainWindow(const Glib::RefPtr<Gnome::Glade::Xml>& tree)
{
    Gtk::Window* window = nullptr;
    if (tree)
        tree->get_widget(kMainWindow, window);
    if (!window) {
        std::vector<std::string> folders;
        Utility::PopulateSharePathList(folders);
        std::cerr << "vantormp3: no \"" << kMainWindow << "\" in glade/main.glade of any of these folders:\n";
        for (const std::string& folder : folders)
            std::cerr << "  " << folder << "\n";
    }
    return window;
}

} // namespace

int main(int argc, char** argv)
{
    Gtk::Main kit(argc, argv, true);

    if (!SingleInstance::sInstance.StartAsMainInstance()
        && SingleInstance::sInstance.Status() == SingleInstance::OtherInstanceRunning) {
        // The running instance gets the whole command line, this program's path first, with
        // names made absolute here: it can't know where this launch was made.
        for (int index = 0; index < argc; ++index)
            SingleInstance::sInstance.SendMainInstanceMessage(Utility::CommandFromArgument(argv[index]));
        return 0;
    }

    DebugLog debugLog;
    Utility::InitializeTranslationService();
    boost::shared_ptr<Vantor::Filesystem::FilesystemUtility> filesystem(new LinuxFilesystemUtility());
    boost::shared_ptr<DownloadModel> model(new DownloadModel(filesystem));
    Glib::RefPtr<Gnome::Glade::Xml> tree = Utility::GetGlade(kMainWindow);
    Gtk::Window* window = FindMainWindow(tree);
    if (!window)
        return 1;

    MainWindowController controller(window, model);
    controller.ProcessCommandLine(argc, argv);
    Gtk::Main::run(*window);
    return 0;
}
