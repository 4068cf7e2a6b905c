#ifndef DOWNLOADER_APP_MAINTHREADINVOKE_H
#define DOWNLOADER_APP_MAINTHREADINVOKE_H

#include <boost/shared_ptr.hpp>
#include <boost/thread/condition.hpp>
#include <boost/thread/mutex.hpp>
#include <glib.h>

#include <deque>
#include <map>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The process-wide call queue to the GTK main thread. Worker threads never touch widgets or
// sigc signals: they wrap the call in a work item and hand it over here; the main thread
// runs the items one per turn of its main loop, oldest first, whichever thread queued them.
//
// A turn runs at GLib's default idle priority, below GTK's layout and repainting: the main
// loop only serves the highest priority that has work, so turns above them would keep the
// window from painting for as long as items keep coming, as they do by the hundred thousand
// when a large queue file is listed. One turn is pending whenever the queue holds items, and
// each turn asks for the next before it runs its item.
class MainThreadInvoke {
public:
    // One call for the main thread. Items must not throw.
    class IInvokable {
    public:
        virtual ~IInvokable() = default;
        virtual void Invoke() = 0;
    };

    // Tells a caller of InvokeSync that its item has run.
    struct WaitCondition {
        boost::mutex mutex;
        boost::condition condition;
        bool ran = false;
    };

    // Built before main, on the thread that runs the main loop.
    static MainThreadInvoke sInstance;

    MainThreadInvoke() = default;
    MainThreadInvoke(const MainThreadInvoke&) = delete;
    MainThreadInvoke& operator=(const MainThreadInvoke&) = delete;

    // Any thread: queues the item and returns at once.
    void InvokeAsync(boost::shared_ptr<IInvokable> item);
    // Any thread but the main thread (which would wait for itself): queues the item and
    // returns once the main thread has run it.
    void InvokeSync(boost::shared_ptr<IInvokable> item);

private:
    // True when the queue was empty: the caller then asks for a turn.
    bool PushWork(boost::shared_ptr<IInvokable> item);
    // `more` tells whether items are left behind it.
    boost::shared_ptr<IInvokable> PopWork(bool& more);
    // Any thread: asks the main loop for one turn.
    void RequestTurn();
    // The main thread, once per requested turn.
    static gboolean OnTurn(gpointer self);
    void RunOldestItem();

    std::deque<boost::shared_ptr<IInvokable>> workQueue;
    // The wait of every item queued by InvokeSync and not yet finished.
    std::map<boost::shared_ptr<IInvokable>, boost::shared_ptr<WaitCondition>> waiters;
    boost::mutex queueMutex;
    boost::mutex waiterMutex;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
