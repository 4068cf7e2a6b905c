#ifndef DOWNLOADER_APP_QUEUEFILEWORKER_H
#define DOWNLOADER_APP_QUEUEFILEWORKER_H

#include "core/threading/ServerThread.h"
#include "downloader/model/DownloadModel.h"

#include <boost/shared_ptr.hpp>
#include <boost/thread/condition.hpp>
#include <boost/thread/mutex.hpp>
#include <sigc++/signal.h>

#include <deque>
#include <functional>
#include <string>

namespace Gtk {
class Window;
}

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Imports of queue files, saves of the download queue and other work on the whole queue, on a
// thread of their own: with a long queue each takes seconds, which the main loop would
// otherwise spend not painting. They run one at a time, in the order asked for, so the queue
// keeps the order of its files and an older save never lands after a newer one. What the work
// has to tell the user follows on the main thread. Made, asked and destroyed on the main
// thread (SaveSoon may be asked on any).
class QueueFileWorker {
public:
    // What a piece of work leaves to the main thread; none when empty.
    typedef std::function<void()> Announcement;

    explicit QueueFileWorker(boost::shared_ptr<DownloadModel> model);
    // Work not yet started is dropped and the work under way waited for; what the main thread
    // was still to be told of it is dropped too.
    ~QueueFileWorker();
    QueueFileWorker(const QueueFileWorker&) = delete;
    QueueFileWorker& operator=(const QueueFileWorker&) = delete;

    // Imports the queue file a command names (Utility::FileNamedBy) as
    // Utility::EnqueueVLXFromFilename does; the queue-file-added signal, or the warning over
    // `parent` when one is given, follows on the main thread.
    void Import(const std::string& command, Gtk::Window* parent);
    // Saves the queue. A save asked for while another waits to start is that one.
    void Save();
    // Save, asked from any thread: asked on the main thread once its loop runs, so never while
    // the program starts up (its start sweeps up what unfinished saves left).
    void SaveSoon();
    // Saves the queue on the calling thread before it returns: the last save, once Finish has
    // returned. A failure is told before it returns.
    void SaveNow();
    // Returns once everything asked for, also meanwhile, is done and told.
    void Finish();
    // Runs `work` on this thread after everything asked for before; the announcement it
    // returns follows on the main thread, in turn with those of the work before.
    void Run(const std::function<Announcement()>& work);

    // Emitted on the main thread after a save of the queue failed: one asked for, the one after
    // an import, the last one. The failure itself is logged where it happened.
    sigc::signal<void> SaveFailedSignal;

private:
    // The worker, when a piece of work is done.
    void Done(const Announcement& announcement);
    // The main thread: tells what the work done has to tell, oldest first.
    void Announce();
    // The oldest announcement, or none. With `wait`, none only once all work is done.
    Announcement NextAnnouncement(bool wait);

    boost::shared_ptr<DownloadModel> model;
    boost::mutex mutex;
    boost::condition workDone;
    // Asked for and not yet done.
    unsigned unfinished = 0;
    // A save waits to start.
    bool savePending = false;
    std::deque<Announcement> announcements;
    // Emitted on the main thread once announcements wait there, and once SaveSoon was asked;
    // not once the worker is gone and has dropped its life token.
    sigc::signal<void> announcing;
    sigc::signal<void> saveAsked;
    boost::shared_ptr<void> alive;
    // Last, so that it goes first: no work runs once the members it uses are gone.
    Vantor::Threading::ServerThread thread;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
