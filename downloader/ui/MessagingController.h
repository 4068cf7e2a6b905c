#ifndef DOWNLOADER_UI_MESSAGINGCONTROLLER_H
#define DOWNLOADER_UI_MESSAGINGCONTROLLER_H

#include "downloader/app/DownloadModelSignalProxy.h"
#include "downloader/model/DownloadModel.h"

#include <boost/shared_ptr.hpp>
#include <sigc++/signal.h>
#include <sigc++/trackable.h>

#include <set>

namespace Gtk {
class Button;
class Label;
class ToggleButton;
class Window;
} // namespace Gtk

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Tells the user how a run of the download queue ended. It remembers which downloads failed,
// and which of those because their link expired, and when the queue runs empty without having
// been paused it shows the completed dialog (nothing failed, unless the user switched it off)
// or the download-failed dialog. Failures stay remembered until their download starts again,
// is removed or the user asks for a retry, so one that is left alone is reported again at the
// next end of the queue. While a download that a full disk paused stays paused, the end of the
// queue shows nothing either. Main thread only.
class MessagingController : public sigc::trackable {
public:
    // The completed dialog's widgets; the cached glade tree owns them.
    struct CompletedDialogViews {
        Gtk::Window* dialog = nullptr;
        Gtk::Button* closeButton = nullptr;
        Gtk::Button* showDirectoryButton = nullptr;
        Gtk::ToggleButton* reminderCheckBox = nullptr;
        Gtk::Label* line1 = nullptr;
        Gtk::Label* line2 = nullptr;
    };

    // The download-failed dialog's widgets; the cached glade tree owns them.
    struct DownloadFailedDialogViews {
        Gtk::Window* dialog = nullptr;
        Gtk::Button* retryButton = nullptr;
        Gtk::Button* helpButton = nullptr;
        Gtk::Button* closeButton = nullptr;
        Gtk::Label* line1 = nullptr;
        Gtk::Label* line2 = nullptr;
    };

    // Both must outlive the controller.
    MessagingController(Gtk::Window* parent, DownloadModelSignalProxy& proxy);

    // While set, the end of the queue shows nothing: the user or a full disk stopped it.
    void SetQueuePaused(bool paused);
    // Every failure remembered was an expired link (and there is at least one).
    bool ShowExpiredMessaging();

    // The user asked for the failed downloads to be tried again.
    sigc::signal<void> RetryFailedSignal;

private:
    typedef std::set<DownloadModel::DownloadPtr> DownloadSet;

    void Initialize();
    void InitializeCompletedDialog();
    void InitializeDownloadFailedDialog();
    void ShowCompletedDialog();
    void ShowDownloadFailedDialog();

    void OnDownloadFinished(DownloadModel::DownloadPtr download);
    void OnDownloadStarted(DownloadModel::DownloadPtr download);
    void OnDownloadRemoved(DownloadModel::DownloadPtr download);
    void OnDownloadDiskFull(DownloadModel::DownloadPtr download);
    // Some download is still paused for a full disk.
    bool PausedForDiskFull() const;
    void OnDownloadQueueFinished();

    void OnCompletedCloseClicked();
    void OnCompletedShowDirClicked();
    void OnCompletedReminderToggled();
    void OnDownloadFailedCloseClicked();
    void OnDownloadFailedHelpClicked();
    void OnDownloadFailedRetryClicked();

    Gtk::Window* parent;
    DownloadModelSignalProxy& proxy;
    DownloadSet failedDownloads;
    // Always a subset of failedDownloads.
    DownloadSet expiredDownloads;
    // Paused for a full disk and not started since. Apart from the paused flag: the worker may
    // start a later, smaller track before the main thread has paused the queue, and that start
    // clears the flag.
    DownloadSet diskFullDownloads;
    boost::shared_ptr<CompletedDialogViews> completedViews;
    boost::shared_ptr<DownloadFailedDialogViews> failedViews;
    bool queuePaused;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
