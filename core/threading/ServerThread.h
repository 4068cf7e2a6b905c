#ifndef CORE_THREADING_SERVERTHREAD_H
#define CORE_THREADING_SERVERTHREAD_H

#include "core/sigslot/sigslot.h"
#include "core/threading/WorkMessage.h"

#include <boost/function.hpp>
#include <boost/noncopyable.hpp>
#include <boost/scoped_ptr.hpp>
#include <boost/thread/condition.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <deque>

namespace Vantor::Threading {

// One worker thread serving a first-in, first-out queue of work items, one at a time.
//
// The worker calls each item once with WorkMessage::Run. Pause, Resume and CancelCurrent call
// the item under way again, on the caller's thread, with Pause, Run or Cancel, so that it can
// stop or restart itself; items must accept those calls while their Run call is in progress.
// Cancel drops the queue, tells the item under way to cancel and stops the thread for good.
//
// The lock is never held while the worker runs an item or emits WorkQueueEmptySignal, so an
// item may enqueue more work. Cancel calls the current item with the lock held: an item's
// handling of WorkMessage::Cancel must not call back into its ServerThread.
class ServerThread : private boost::noncopyable {
public:
    typedef boost::function<void(const WorkMessage&)> WorkItem;

    class ServerAlreadyRunningException {};

    // Emitted on the worker thread whenever an item returns and the queue is empty.
    sigslot::signal0<sigslot::multi_threaded_local> WorkQueueEmptySignal;

    ServerThread();
    // Cancels with waiting and joins the worker. Items still queued are destroyed unrun.
    virtual ~ServerThread();

    // Allowed before Start (the item waits) and after Cancel (the item is never run).
    virtual void EnqueueWork(const WorkItem& item);
    // Throws ServerAlreadyRunningException when started or cancelled before.
    virtual void Start();
    virtual void Pause();
    // Lets the worker go on with the queue and calls the current item with Run.
    virtual void Resume();
    // Tells the item under way, if any, to cancel; with `wait`, returns only after the
    // worker's Run call of it has returned. An exception the item throws on Cancel reaches
    // the caller; the thread then keeps its state.
    virtual void Cancel(bool wait);
    // Tells the current item to cancel itself; the worker goes on with the next one.
    virtual void CancelCurrent();

protected:
    virtual void ThreadEntry();
    virtual void InvokeCurrentWorkItem(const WorkMessage& message);
    virtual void ReinvokeCurrentWorkItemWithState(const WorkMessage& message);

private:
    // Calls `item` with `message`, discarding whatever it throws (an empty item throws too).
    static void CallDiscardingExceptions(const WorkItem& item, const WorkMessage& message);
    // Puts the thread into its final state and wakes the worker. Takes the lock held.
    void StopLocked();
    // Cancel's last resort when the current item threw: nothing may leave the destructor,
    // and the worker must still come to an end so that it can be joined.
    void Stop();

    boost::scoped_ptr<boost::thread> mThread;
    boost::mutex mMutex;
    // &WorkMessage::Run, &WorkMessage::Pause, or null once stopped.
    const WorkMessage* mState;
    boost::condition mWorkAvailable;
    boost::condition mItemFinished;
    std::deque<WorkItem> mQueue;
    // The item the worker took last: the one under way or, while paused, the one that ran
    // last, so that Resume can run it again.
    WorkItem mCurrentItem;
    // True from the worker taking an item until its Run call has returned.
    bool mItemUnderWay;
};

} // namespace Vantor::Threading

#endif
