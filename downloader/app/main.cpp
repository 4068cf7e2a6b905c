#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/app/DebugLog.h"
#include "downloader/app/SingleInstance.h"
#include "downloader/app/UtilityPaths.h"
#include "downloader/app/UtilityQueue.h"
#include "downloader/app/UtilityStartNotices.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/ui/MainWindowController.h"

#include <boost/shared_ptr.hpp>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace Vantor::DigitalMedia::MusicClient::Downloader;

namespace {

const char kMainWindow[] = "MainWindow";
// How often a later launch whose command line was not taken tries again.
const std::chrono::milliseconds kRetryInterval(100);

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

// True when the running instance has taken this launch's whole command line, this program's
// path first. A command line it does not take (it is shutting down, or does not listen) stays
// this process's own: it starts in that instance's place as soon as the lock is free, and
// meanwhile hands the command line to any instance that starts listening first.
bool HandedToRunningInstance(int argc, char** argv)
{
    SingleInstance& guard = SingleInstance::sInstance;
    // Names are made absolute here: the running instance can't know where this launch was made.
    std::vector<std::string> commands;
    for (int index = 0; index < argc; ++index)
        commands.push_back(Utility::CommandFromArgument(argv[index]));
    bool told = false;
    while (!guard.StartAsMainInstance() && guard.Status() == SingleInstance::OtherInstanceRunning) {
        if (guard.HandOver(commands))
            return true;
        if (!told)
            std::cerr << "vantormp3: the running instance did not take the command line; waiting to start in its place\n";
        told = true;
        std::this_thread::sleep_for(kRetryInterval);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    Gtk::Main kit(argc, argv, true);
    if (HandedToRunningInstance(argc, argv))
        return 0;

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
    window->show();
    const std::unique_ptr<Gtk::MessageDialog> notice =
        model->GetPlaylistLibrary().IsAvailable() ? nullptr : Utility::TellPlaylistsUnavailable(*window);
    // The main loop ends with the window. Nothing reads later launches' messages after that,
    // so the guard goes with it: a later launch then starts in this one's place while this
    // one is still shutting down.
    window->signal_hide().connect(sigc::mem_fun(SingleInstance::sInstance, &SingleInstance::Release));
    Gtk::Main::run(*window);
    return 0;
}
