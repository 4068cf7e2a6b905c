#ifndef DOWNLOADER_UI_TOOLBARCONTROLLER_H
#define DOWNLOADER_UI_TOOLBARCONTROLLER_H

#include "core/threading/ServerThread.h"
#include "downloader/app/DownloadModelSignalProxy.h"
#include "downloader/app/QueueFileWorker.h"
#include "downloader/model/DownloadModel.h"

#include <boost/shared_ptr.hpp>
#include <gtkmm/toolbutton.h>
#include <sigc++/signal.h>
#include <sigc++/trackable.h>

#include <functional>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The main window's toolbar: pause, resume and clear the whole queue, and open the download
// folder. Pause, Resume and Clear are sensitive only when they can do something, judged from
// the model's events and from what kinds of finished downloads have been seen since the last
// resume. Adding a queue file resumes the whole queue. Main thread only; but each download
// paused, resumed or removed takes the main loop's time for a moment, its events going out to
// the window, and a long queue's took seconds: those calls run on a thread of the toolbar's
// own, one command after the other, on the downloads that were in the queue when asked. The
// queue files' thread waits for each in turn with its imports and saves, so that what waits for
// the queue files (the quit) waits for them too; they don't run there, as with downloads under
// way that thread saves a long queue for seconds at a time.
class ToolbarController : public sigc::trackable {
public:
    // The queue files' thread waits for each command in turn, and clearing has the queue saved
    // there: `queueFiles` must outlive the toolbar.
    ToolbarController(boost::shared_ptr<DownloadModel> model, QueueFileWorker& queueFiles);
    virtual ~ToolbarController();

    // As the user pauses, before the downloads are paused.
    sigc::signal<void> PausedSignal;
    // At the end of every ResumeAllDownloads.
    sigc::signal<void> ResumedSignal;

    void PauseAllDownloads();
    // Resumes every download but the downloaded ones and the expired failures.
    void ResumeAllDownloads();
    // Removes the downloaded and canceled downloads, and the failed ones too when the user
    // agrees, then has the queue saved.
    void ClearCompletedDownloads();

private:
    void Initialize();
    void Localize();
    void ConnectSignals();

    void OnDownloadAdded(DownloadModel::DownloadPtr download);
    void OnDownloadStarted(const DownloadModel::DownloadPtr download);
    void OnDownloadFinished(const DownloadModel::DownloadPtr download);
    void OnDownloadQueueFinished();
    void OnPauseButtonPressed();
    void OnResumeButtonPressed();
    void OnClearButtonPressed();
    void OnShowDownloadsPressed();
    void OnVLXEnqueued();

    typedef std::vector<DownloadModel::DownloadPtr> Downloads;

    // Calls `operation` on each of `downloads` on the toolbar's thread.
    void OnEach(const boost::shared_ptr<const Downloads>& downloads, void (DownloadModel::Download::*operation)());
    // Runs `command` on the toolbar's thread; `then` follows on the main thread once the queue
    // files' thread has come to it.
    void Run(const std::function<void()>& command, const QueueFileWorker::Announcement& then);
    // Some download in the queue is paused or canceled, or on its way there: one that
    // Resume takes up again.
    static bool HasPausedDownloads(const DownloadModel& queue);
    // Sets Resume's sensitivity and counts the setting.
    void SetResumeSensitive(bool sensitive);

    boost::shared_ptr<DownloadModel> model;
    QueueFileWorker& queueFiles;
    DownloadModelSignalProxy proxy;
    // The "MainWindow" glade tree owns the buttons.
    Gtk::ToolButton* pauseButton = nullptr;
    Gtk::ToolButton* resumeButton = nullptr;
    Gtk::ToolButton* clearButton = nullptr;
    Gtk::ToolButton* showDownloadsButton = nullptr;
    // What was seen since the last ResumeAllDownloads; not counts. Failed and expired both
    // mean LocalFileError or NetworkError, told apart by whether the link has expired.
    bool failed = false;
    bool finished = false;
    bool paused = false;
    bool expired = false;
    // How often Resume's sensitivity was set: what a command leaves to do later sets it only
    // when nothing has set it since the command was asked.
    unsigned long resumeSettings = 0;
    // Last, so that it goes first: the command under way is waited for, and those not begun are
    // dropped, before the rest of the toolbar goes.
    Vantor::Threading::ServerThread commands;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
