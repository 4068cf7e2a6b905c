#include "downloader/ui/MainWindowController.h"

#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/net/Download.h"
#include "core/reporting/ReportService.h"
#include "core/settings/ProgramVersion.h"
#include "downloader/app/Invokable.h"
#include "downloader/app/MainThreadInvoke.h"
#include "core/settings/PreferencesKeys.h"
#include "downloader/app/SingleInstance.h"
#include "downloader/app/UtilityBrowser.h"
#include "downloader/app/UtilityLeftovers.h"
#include "downloader/app/UtilityPaths.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityQueue.h"
#include "downloader/app/UtilityStoredProxy.h"
#include "downloader/app/UtilityQuitConfirmation.h"

#include <boost/format.hpp>
#include <boost/make_shared.hpp>
#include <glibmm/markup.h>
#include <gtkmm/menuitem.h>
#include <gtkmm/messagedialog.h>

#include <cstdio>
#include <unistd.h>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Localization::Translate;
using Vantor::Net::UpdateCheck;

namespace {

const char kRoot[] = "MainWindow";
const int kWidth = 700;
const int kHeight = 500;
const char kResetFirstRun[] = "--reset-first-run";
const char kShowDownloadsFailed[] = "--show-downloads-failed";

enum UpdateResponse { RemindLater = 0, QuitAndDownload = 1 };

// A title in bold over its description; translations are data, so their own markup
// characters are shown as they are.
std::string TitledMessage(const std::string& title, const std::string& description)
{
    return "<b>" + Glib::Markup::escape_text(title) + "</b>\n\n" + Glib::Markup::escape_text(description);
}

} // namespace

MainWindowController::MainWindowController(Gtk::Window* window, boost::shared_ptr<DownloadModel> model)
    : window(window),
      model(model),
      settingsFolderNotices(*window),
      queueFiles(model),
      proxy(model),
      mainMenu(model, queueFiles),
      toolbar(model, queueFiles),
      statusPanel(model),
      downloadList(model),
      messaging(window, proxy),
      alive(boost::make_shared<bool>(true)),
      updateCheck("DownloadManager", "Linux", Settings::ProgramVersion()),
      pendingCheck(NoCheckPending)
{
    // Before any download runs: each has the queue saved before its file takes its final name.
    model->SetSaver([this] { queueFiles.SaveSoon(); });
    // Each answered report leaves the saved queue with the next save: made soon, so that a crash
    // meanwhile rarely sends it again.
    Reporting::ReportService::SetSaver([this] { queueFiles.SaveSoon(); });
    Initialize();
}

MainWindowController::~MainWindowController()
{
    // The saves go with this controller; the model outlives it.
    model->SetSaver(nullptr);
    Reporting::ReportService::SetSaver(nullptr);
    // The check's thread may still be delivering: cut it off before the members go.
    disconnect_all();
}

void MainWindowController::Initialize()
{
    SetDownloadProxyServer();
    SetDownloadUserAgent();
    ConnectSignals();

    window->resize(kWidth, kHeight);
    window->set_icon(Utility::GetPixbuf("vantormp3_icon.png"));
    Gtk::Window::set_default_icon(window->get_icon());
    window->set_position(Gtk::WIN_POS_CENTER);
    window->set_title(Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"));

    Utility::RemovePreferencesLeftovers();
    // A long saved queue takes seconds to read: the window is shown meanwhile, and its tracks are
    // listed as they come. Asked for first, it is read before any queue file.
    queueFiles.Run([this] {
        const Utility::SavedQueueReload savedQueue = Utility::ReloadSavedQueue(*model);
        // A saved queue that can't be read may still name partial files: none is swept up then.
        Utility::RemoveQueueLeftovers(*model, savedQueue.outcome != Utility::SavedQueueReload::Unreadable);
        return QueueFileWorker::Announcement([this, savedQueue] { OnSavedQueueReloaded(savedQueue); });
    });
}

void MainWindowController::OnSavedQueueReloaded(const Utility::SavedQueueReload& savedQueue)
{
    savedQueueRead = true;
    if (startsHeldForPause) {
        // Paused during the read: the tracks read since are paused too, and let go only then
        // (the queue files' thread comes to it once the toolbar has paused them).
        startsHeldForPause = false;
        toolbar.PauseAllDownloads();
        queueFiles.Run([this] {
            model->ReleaseStarts();
            return QueueFileWorker::Announcement();
        });
    } else if (savedQueue.outcome == Utility::SavedQueueReload::Read) {
        // What has just been read needs no save of its own.
        Utility::VLXEnqueuedSignal().emit(); // the toolbar resumes its downloads
    }
    if (savedQueue.outcome == Utility::SavedQueueReload::Unreadable)
        settingsFolderNotices.SavedQueueUnreadable(savedQueue.keptAt);
    settingsFolderNotices.TellUnreadableSettings();
    settingsFolderNotices.Follow(model->GetPlaylistLibrary());
}

void MainWindowController::ConnectSignals()
{
    window->signal_delete_event().connect(sigc::mem_fun(*this, &MainWindowController::OnApplicationQuit));
    Gtk::MenuItem* checkForUpdates = nullptr;
    Utility::GetGlade(kRoot)->get_widget("HelpMenuCheckForUpdates", checkForUpdates);
    checkForUpdates->signal_activate().connect(sigc::mem_fun(*this, &MainWindowController::OnHelpMenuCheckForUpdates));
    Utility::PreferencesSavedSignal().connect(sigc::mem_fun(*this, &MainWindowController::OnPreferencesSaved));
    toolbar.PausedSignal.connect(sigc::mem_fun(*this, &MainWindowController::OnToolbarControllerPaused));
    toolbar.ResumedSignal.connect(sigc::mem_fun(*this, &MainWindowController::OnToolbarControllerResumed));
    messaging.RetryFailedSignal.connect(sigc::mem_fun(*this, &MainWindowController::OnMessagingControllerRetryFailed));
    proxy.DownloadDiskFullSignal.connect(sigc::mem_fun(*this, &MainWindowController::OnDownloadDiskFull));
    proxy.DownloadStartedSignal.connect(sigc::mem_fun(*this, &MainWindowController::OnDownloadStarted));
    proxy.DownloadFinishedSignal.connect(sigc::mem_fun(*this, &MainWindowController::OnDownloadFinished));
    proxy.DownloadQueueFinishedSignal.connect(sigc::mem_fun(*this, &MainWindowController::OnDownloadQueueFinished));
    queueFiles.SaveFailedSignal.connect(sigc::mem_fun(settingsFolderNotices, &SettingsFolderNotices::SaveFailed));
    updateCheckFinished.connect(sigc::mem_fun(*this, &MainWindowController::FinishUpdateCheck));
    updateCheck.UpdateCompletedSignal.connect(this, &MainWindowController::OnUpdateCheckCompleted);
    SingleInstance::sInstance.AnotherInstanceMessageSignal.connect(
        sigc::mem_fun(*this, &MainWindowController::OnAnotherInstanceMessage));
}

void MainWindowController::ProcessCommandLine(int argc, char** argv)
{
    for (int index = 0; index < argc; ++index)
        ProcessCommand(Utility::CommandFromArgument(argv[index]));
    // Once the saved queue and these files are read, the update check knows whether their tracks
    // download.
    queueFiles.Run([this] {
        return QueueFileWorker::Announcement([this] {
            CheckAndDoFirstRun();
            // While something downloads, the automatic check waits for the end of the queue.
            if (!model->HasActiveDownloads())
                StartUpdateCheck(true);
        });
    });
}

void MainWindowController::ProcessCommand(const std::string& command)
{
    if (Utility::IsQueueFileName(command)) {
        queueFiles.Import(command, window);
    } else if (command == kResetFirstRun) {
        // The files named before it are imported first, as commands are taken in order, and
        // none is cut off between its save and its deletion.
        queueFiles.Finish();
        Utility::Preferences()->SetBool(PreferencesKeys::FirstRunCompleted, false);
        CheckAndDoFirstRun();
        // Ends at once, saving nothing else. The worker may be in the middle of a transfer, so
        // the process does not run the static destructors under it; the partial file and
        // the saved queue stay as they are for the next start.
        std::fflush(nullptr);
        _exit(0);
    } else if (command == kShowDownloadsFailed) {
        OnShowDownloadsFailed();
    }
}

void MainWindowController::OnAnotherInstanceMessage(std::string message)
{
    ProcessCommand(message);
}

void MainWindowController::CheckAndDoFirstRun()
{
    const boost::shared_ptr<Settings::Preferences> preferences = Utility::Preferences();
    if (preferences->GetBool(PreferencesKeys::FirstRunCompleted, false))
        return;
    Utility::OpenPostInstallURL();
    // Reaches "Settings.xml" with the next save of the preferences.
    preferences->SetBool(PreferencesKeys::FirstRunCompleted, true);
}

void MainWindowController::StartUpdateCheck(bool automatic)
{
    if (automatic && !Utility::Preferences()->GetBool(PreferencesKeys::AutoCheckForUpdates, true))
        return;
    if (pendingCheck != NoCheckPending)
        return;
    pendingCheck = automatic ? AutomaticCheck : ManualCheck;
    updateCheck.CheckAsync();
}

void MainWindowController::OnUpdateCheckCompleted(UpdateCheck::UpdateInfo info)
{
    MainThreadInvoke::sInstance.InvokeAsync(boost::shared_ptr<MainThreadInvoke::IInvokable>(
        new Invokable1<void, UpdateCheck::UpdateInfo>(boost::weak_ptr<void>(alive), updateCheckFinished, info)));
}

void MainWindowController::FinishUpdateCheck(UpdateCheck::UpdateInfo info)
{
    const UpdateCheckMode finished = pendingCheck;
    pendingCheck = NoCheckPending;
    const bool newer = info.found && info.updateAvailable;
    // An automatic check speaks up only for a newer version.
    if (finished != ManualCheck && !newer)
        return;

    std::string title;
    std::string description;
    Gtk::MessageType type = Gtk::MESSAGE_INFO;
    if (newer) {
        title = Translate("sonvel_update_new_version_title", "Newer Version Available");
        description = Translate("sonvel_update_new_version_desc",
                                "There is a newer version of the Vantor MP3 Downloader available. We recommend "
                                "that you install this new version as soon as possible.");
    } else if (info.found) {
        title = Translate("sonvel_update_up_to_date_title", "Version Up to Date");
        description = Translate("sonvel_update_up_to_date_desc", "Your copy of the Vantor MP3 Downloader is up to date.");
    } else {
        title = Translate("sonvel_update_check_failed_title", "Update check failed");
        description = Translate("sonvel_update_check_failed_desc",
                                "Failed to retrieve update information. Make sure you are connected to the "
                                "internet and try again in a few minutes.");
        type = Gtk::MESSAGE_WARNING;
    }

    Gtk::MessageDialog dialog(*window, TitledMessage(title, description), true, type, Gtk::BUTTONS_NONE, true);
    dialog.set_title(title);
    if (info.updateAvailable) {
        dialog.add_button(Translate("sonvel_update_remind_me_later", "Remind me later"), RemindLater);
        dialog.add_button(Translate("sonvel_update_quit_goto_dl_page", "Quit and go to download page"),
                          QuitAndDownload);
        dialog.set_default_response(QuitAndDownload);
    } else {
        dialog.add_button(Translate("sonvel_button_ok", "OK"), RemindLater);
    }
    if (dialog.run() != QuitAndDownload)
        return;
    Utility::OpenURL(info.url.c_str());
    if (Utility::ConfirmQuit(*model, queueFiles))
        window->hide();
}

void MainWindowController::SetDownloadProxyServer()
{
    Vantor::Net::Download::SetProxyHost(Utility::StoredProxyHost(*Utility::Preferences()));
}

void MainWindowController::SetDownloadUserAgent()
{
    using namespace Settings;
    const std::string agent = (boost::format("Vantor MP3 Downloader (%1% %2%.%3%.%4% %5%)") % "Linux"
                               % kProgramVersionMajor % kProgramVersionMinor % kProgramVersionPatch % "de_DE")
                                  .str();
    Vantor::Net::Download::SetUserAgent(agent.c_str());
}

void MainWindowController::OnShowDownloadsFailed()
{
    const std::string music =
        LinuxFilesystemUtility().GetSpecialDirectory(Filesystem::FilesystemUtility::MusicDirectory);
    const std::string message =
        Glib::Markup::escape_text(Translate("sonvel_dlg_no_default_browser_desc",
                                            "Sorry, no default file browser could be located. You can find your "
                                            "music in the following directory:"))
        + "\n\n<b>" + Glib::Markup::escape_text(music) + "</b>";
    Gtk::MessageDialog dialog(*window, message, true, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK, true);
    dialog.set_title(Translate("sonvel_dlg_no_default_browser_title", "No default file browser found"));
    dialog.run();
}

bool MainWindowController::OnApplicationQuit(GdkEventAny*)
{
    // The window is hidden rather than destroyed: the controllers keep pointers into its
    // widgets until they are destroyed after the main loop.
    if (Utility::ConfirmQuit(*model, queueFiles))
        window->hide();
    return true;
}

void MainWindowController::OnHelpMenuCheckForUpdates()
{
    StartUpdateCheck(false);
}

void MainWindowController::OnPreferencesSaved()
{
    SetDownloadProxyServer();
}

void MainWindowController::OnToolbarControllerPaused()
{
    messaging.SetQueuePaused(true);
    // The pause holds for the tracks the saved queue's read has yet to queue: they start with
    // the next resume, not before.
    if (!savedQueueRead && !startsHeldForPause) {
        startsHeldForPause = true;
        model->HoldStarts();
    }
}

void MainWindowController::OnToolbarControllerResumed()
{
    messaging.SetQueuePaused(false);
    if (startsHeldForPause) {
        startsHeldForPause = false;
        model->ReleaseStarts();
    }
}

void MainWindowController::OnMessagingControllerRetryFailed()
{
    toolbar.ResumeAllDownloads();
}

void MainWindowController::OnDownloadDiskFull(DownloadModel::DownloadPtr)
{
    messaging.SetQueuePaused(true);
    // The queue as it is now: the queue files' thread may be taking downloads out of it.
    for (const DownloadModel::DownloadPtr& download : model->GetDownloads())
        download->Pause();
    diskFullDialog.Show(*window);
}

void MainWindowController::OnDownloadStarted(DownloadModel::DownloadPtr)
{
    // The started download's temporary file is named by now: with it in the saved queue, a
    // restart after a crash resumes that file instead of starting a second one.
    queueFiles.Save();
}

void MainWindowController::OnDownloadFinished(DownloadModel::DownloadPtr)
{
    // Small downloads start and finish faster than a long queue is saved: the saves asked for
    // while one waits to start share it.
    queueFiles.Save();
}

void MainWindowController::OnDownloadQueueFinished()
{
    StartUpdateCheck(true);
}

Gtk::Window* GetMainWindow()
{
    Gtk::Window* mainWindow = nullptr;
    Utility::GetGlade(kRoot)->get_widget(kRoot, mainWindow);
    return mainWindow;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
