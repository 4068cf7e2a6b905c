#include "core/diagnostic/Debug.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/reporting/ReportService.h"
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

#include <malloc.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

using namespace Vantor::DigitalMedia::MusicClient::Downloader;

namespace {

const char kMainWindow[] = "MainWindow";
// How often a later launch whose command line was not taken tries again, and how often before
// it gives up. A running instance may be starting (its FIFO not made yet) or shutting down (its
// FIFO closed, its locks not yet let go): each lasts milliseconds. One that takes nothing for
// seconds can't listen at all.
const std::chrono::milliseconds kRetryInterval(100);
const int kHandOverTries = 30;

enum class Launch { Run, HandedOver, Refused };

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

// Whether this launch runs as the running instance, or has handed its whole command line, this
// program's path first, to the one running. A command line that instance does not take (it is
// shutting down) stays this process's own: it starts in that instance's place as soon as the
// locks are free, and meanwhile hands the command line to any instance that starts listening
// first. A launch that can become neither, or can't tell whether an instance runs, is refused:
// two instances on one settings directory would write over each other's queue.
Launch StartOrHandOver(int argc, char** argv)
{
    SingleInstance& guard = SingleInstance::sInstance;
    // Names are made absolute here: the running instance can't know where this launch was made.
    std::vector<std::string> commands;
    for (int index = 0; index < argc; ++index)
        commands.push_back(Utility::CommandFromArgument(argv[index]));
    for (int tries = 1; !guard.StartAsMainInstance(); ++tries) {
        if (guard.Status() == SingleInstance::LockFileError) {
            Utility::TellGuardUnusable();
            return Launch::Refused;
        }
        // A running instance that is merely busy is waited for here, however long.
        if (guard.HandOver(commands))
            return Launch::HandedOver;
        if (tries == kHandOverTries) {
            Utility::TellHandOverRefused();
            return Launch::Refused;
        }
        if (tries == 1)
            std::cerr << "vantormp3: the running instance did not take the command line; waiting to start in its place\n";
        std::this_thread::sleep_for(kRetryInterval);
    }
    return Launch::Run;
}

} // namespace

int main(int argc, char** argv)
{
    // Without the allocator's fast bins: a worker thread that frees a long queue's import (a
    // million small blocks) and then asks for a large one merges them all while it holds its
    // heap's lock, and the main thread, freeing the events that worker sent it, waited that
    // long (a tenth of a second at 100,000 tracks) with the window unpainted.
    mallopt(M_MXFAST, 0);
    Gtk::Main kit(argc, argv, true);
    const Launch launch = StartOrHandOver(argc, argv);
    if (launch != Launch::Run)
        return launch == Launch::HandedOver ? 0 : 1;

    DebugLog debugLog;
    if (SingleInstance::sInstance.Status() == SingleInstance::PipeError)
        Vantor::Diagnostic::Debug::LogString("SingleInstance: running without its FIFO: later launches can't hand "
                                             "their command lines over, and end saying so");
    Utility::InitializeTranslationService();
    // Every report waits for a saved queue that holds it, and each answer is noted as it comes:
    // a crash can then neither lose a report nor, but in the instant of an answer, have it sent
    // twice.
    Vantor::Reporting::ReportService::HoldUntilSaved(Utility::AnsweredReportsFilename());
    boost::shared_ptr<Vantor::Filesystem::FilesystemUtility> filesystem(new LinuxFilesystemUtility());
    boost::shared_ptr<DownloadModel> model(new DownloadModel(filesystem));
    Glib::RefPtr<Gnome::Glade::Xml> tree = Utility::GetGlade(kMainWindow);
    Gtk::Window* window = FindMainWindow(tree);
    if (!window)
        return 1;

    MainWindowController controller(window, model);
    controller.ProcessCommandLine(argc, argv);
    // The main loop ends with the window. Nothing reads later launches' messages after that,
    // so the guard goes with it: a later launch then starts in this one's place while this
    // one is still shutting down.
    window->signal_hide().connect(sigc::mem_fun(SingleInstance::sInstance, &SingleInstance::Release));
    Gtk::Main::run(*window);
    return 0;
}
