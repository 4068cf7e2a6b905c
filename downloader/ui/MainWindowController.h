#ifndef DOWNLOADER_UI_MAINWINDOWCONTROLLER_H
#define DOWNLOADER_UI_MAINWINDOWCONTROLLER_H

#include "core/net/UpdateCheck.h"
#include "core/sigslot/sigslot.h"
#include "downloader/app/DownloadModelSignalProxy.h"
#include "downloader/app/QueueFileWorker.h"
#include "downloader/app/UtilityQueue.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/ui/DiskFullDialogController.h"
#include "downloader/ui/DownloadStatusController.h"
#include "downloader/ui/MainMenuController.h"
#include "downloader/ui/MessagingController.h"
#include "downloader/ui/SettingsFolderNotices.h"
#include "downloader/ui/ToolbarController.h"
#include "downloader/ui/TreeController.h"

#include <boost/shared_ptr.hpp>
#include <gtkmm/window.h>
#include <sigc++/trackable.h>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The top of the user interface: owns the other controllers and connects what passes between
// them (they never call each other), installs the transfer engine's proxy and user agent,
// restores the saved queue, runs the commands of the command line and of later launches, the
// update check and its dialog, reacts to a full disk and saves the queue as downloads start
// and finish. Main thread only, but for the update check's answer, which it hands over.
class MainWindowController : public sigslot::has_slots<sigslot::multi_threaded_local>, public sigc::trackable {
public:
    enum UpdateCheckMode : int { NoCheckPending = 0, ManualCheck = 1, AutomaticCheck = 2 };

    MainWindowController(Gtk::Window* window, boost::shared_ptr<DownloadModel> model);
    ~MainWindowController() override;
    MainWindowController(const MainWindowController&) = delete;
    MainWindowController& operator=(const MainWindowController&) = delete;

    // Every argument, the program path included, as a command (queue-file names relative to
    // this process's directory); once the saved queue and the queue files are read, the
    // first-run step and, unless something is downloading, an automatic update check.
    void ProcessCommandLine(int argc, char** argv);
    // A queue-file name (absolute, or a "file://" address; imported in the background),
    // "--reset-first-run" or "--show-downloads-failed"; anything else is ignored.
    void ProcessCommand(const std::string& command);
    void OnAnotherInstanceMessage(std::string message);

    void CheckAndDoFirstRun();
    void StartUpdateCheck(bool automatic);
    // The update check's thread: hands the answer to the main thread.
    void OnUpdateCheckCompleted(Vantor::Net::UpdateCheck::UpdateInfo info);
    void FinishUpdateCheck(Vantor::Net::UpdateCheck::UpdateInfo info);
    void SetDownloadProxyServer();
    void SetDownloadUserAgent();
    void OnShowDownloadsFailed();

private:
    void Initialize();
    void ConnectSignals();
    // Resumes the saved queue's downloads, unless the user paused them during the read, or
    // tells why there are none.
    void OnSavedQueueReloaded(const Utility::SavedQueueReload& savedQueue);

    bool OnApplicationQuit(GdkEventAny* event);
    void OnHelpMenuCheckForUpdates();
    void OnPreferencesSaved();
    void OnToolbarControllerPaused();
    void OnToolbarControllerResumed();
    void OnMessagingControllerRetryFailed();
    void OnDownloadDiskFull(DownloadModel::DownloadPtr download);
    void OnDownloadStarted(DownloadModel::DownloadPtr download);
    void OnDownloadFinished(DownloadModel::DownloadPtr download);
    void OnDownloadQueueFinished();

    Gtk::Window* window; // the glade tree owns it
    boost::shared_ptr<DownloadModel> model;
    // Before the worker whose failed saves it tells.
    SettingsFolderNotices settingsFolderNotices;
    // Before the controllers that use it, so that it goes after them.
    QueueFileWorker queueFiles;
    DownloadModelSignalProxy proxy;
    MainMenuController mainMenu;
    ToolbarController toolbar;
    DownloadStatusController statusPanel;
    TreeController downloadList;
    DiskFullDialogController diskFullDialog;
    MessagingController messaging;
    // Carries the update check's answer to the main thread; items still queued when the
    // controller goes find the life token gone and do nothing.
    sigc::signal<void, Vantor::Net::UpdateCheck::UpdateInfo> updateCheckFinished;
    boost::shared_ptr<void> alive;
    Vantor::Net::UpdateCheck updateCheck;
    UpdateCheckMode pendingCheck;
    bool savedQueueRead = false;
    // The user paused while the saved queue was read: the starts of what the read queues since
    // are held until a resume, or until the read's end has paused those tracks too.
    bool startsHeldForPause = false;
};

// The "MainWindow" window of the cached "MainWindow" glade tree: the parent of the
// program's dialogs. Main thread only.
Gtk::Window* GetMainWindow();

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
