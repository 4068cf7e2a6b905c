#ifndef DOWNLOADER_APP_MAINTHREADINVOKE_H
#define DOWNLOADER_APP_MAINTHREADINVOKE_H

#include <boost/shared_ptr.hpp>
#include <boost/thread/condition.hpp>
#include <boost/thread/mutex.hpp>
#include <glibmm/dispatcher.h>
#include <sigc++/trackable.h>

#include <deque>
#include <map>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The process-wide call queue to the GTK main thread. Worker threads never touch widgets or
// sigc signals: they wrap the call in a work item and hand it over here; the main thread
// runs the items one per turn of its main loop, oldest first, whichever thread queued them.
//
// One dispatcher wake-up is pending whenever the queue holds items, not one per item: the
// dispatcher's pipe holds a few thousand wake-ups, and a producer that fills it would block
// in the middle of a model event (holding that signal's mutex) until the main thread drains
// it, which it can't do while it waits for the same mutex.
class MainThreadInvoke : public sigc::trackable {
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

    MainThreadInvoke();
    MainThreadInvoke(const MainThreadInvoke&) = delete;
    MainThreadInvoke& operator=(const MainThreadInvoke&) = delete;

    // Any thread: queues the item and returns at once.
    void InvokeAsync(boost::shared_ptr<IInvokable> item);
    // Any thread but the main thread (which would wait for itself): queues the item and
    // returns once the main thread has run it.
    void InvokeSync(boost::shared_ptr<IInvokable> item);

private:
    // True when the queue was empty: the caller then wakes the main thread.
    bool PushWork(boost::shared_ptr<IInvokable> item);
    // `more` tells whether items are left behind it.
    boost::shared_ptr<IInvokable> PopWork(bool& more);
    // The main thread, once per dispatcher emission.
    void OnDispatched();

    std::deque<boost::shared_ptr<IInvokable>> workQueue;
    // The wait of every item queued by InvokeSync and not yet finished.
    std::map<boost::shared_ptr<IInvokable>, boost::shared_ptr<WaitCondition>> waiters;
    // Each emission wakes the main loop once, to run one item.
    Glib::Dispatcher dispatcher;
    boost::mutex queueMutex;
    boost::mutex waiterMutex;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
