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
// runs the items in turns of its main loop, oldest first, whichever thread queued them.
//
// A turn runs at GLib's default idle priority, below GTK's layout and repainting: the main
// loop only serves the highest priority that has work, so turns above them would keep the
// window from painting for as long as items keep coming, as they do by the hundred thousand
// when a large queue file is listed. A turn runs items for a few milliseconds and then gives
// the loop back, so the window paints between turns while the queue drains; one item a turn
// would spend most of the time on the loop's own round instead. An item that takes longer
// than that ends its turn on its own.
//
// Whenever the queue holds items, a turn is pending besides the one running: it is asked for
// before an item runs, so a main loop run from inside the item (a modal dialog) goes on with
// the queue.
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
    // True when no turn was pending: the caller then asks for one.
    bool PushWork(boost::shared_ptr<IInvokable> item);
    // The oldest item, or none when the queue is empty. `requestTurn` tells the caller to ask
    // for a turn: items are left behind it and none is pending.
    boost::shared_ptr<IInvokable> PopWork(bool& requestTurn);
    // Any thread: asks the main loop for one turn.
    void RequestTurn();
    // The main thread, once per requested turn.
    static gboolean OnTurn(gpointer self);
    void RunTurn();
    void Run(const boost::shared_ptr<IInvokable>& item);

    std::deque<boost::shared_ptr<IInvokable>> workQueue;
    // A turn has been asked for and has not begun; guarded by queueMutex like the queue.
    bool turnPending = false;
    // The wait of every item queued by InvokeSync and not yet finished.
    std::map<boost::shared_ptr<IInvokable>, boost::shared_ptr<WaitCondition>> waiters;
    boost::mutex queueMutex;
    boost::mutex waiterMutex;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
