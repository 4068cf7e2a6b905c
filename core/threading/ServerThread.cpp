#include "core/threading/ServerThread.h"

namespace Vantor::Threading {

typedef boost::unique_lock<boost::mutex> Lock;

ServerThread::ServerThread()
    : mState(&WorkMessage::Run)
    , mItemUnderWay(false)
{
}

ServerThread::~ServerThread()
{
    try {
        Cancel(true);
    } catch (...) {
        Stop();
    }
    if (mThread)
        mThread->join();
}

void ServerThread::EnqueueWork(const WorkItem& item)
{
    Lock lock(mMutex);
    mQueue.push_back(item);
    if (mState == &WorkMessage::Run)
        mWorkAvailable.notify_one();
}

void ServerThread::Start()
{
    Lock lock(mMutex);
    if (mThread || !mState)
        throw ServerAlreadyRunningException();
    mThread.reset(new boost::thread(&ServerThread::ThreadEntry, this));
}

void ServerThread::Pause()
{
    ReinvokeCurrentWorkItemWithState(WorkMessage::Pause);
}

void ServerThread::Resume()
{
    ReinvokeCurrentWorkItemWithState(WorkMessage::Run);
}

void ServerThread::CancelCurrent()
{
    ReinvokeCurrentWorkItemWithState(WorkMessage::Cancel);
}

void ServerThread::Cancel(bool wait)
{
    Lock lock(mMutex);
    while (!mQueue.empty())
        mQueue.pop_front();
    // Only an item under way has anything to stop: one that has returned (the worker is
    // announcing the empty queue, or is paused) has ended its work and must not end again.
    if (mCurrentItem && mItemUnderWay)
        mCurrentItem(WorkMessage::Cancel);
    // Stopped before waiting, so that the worker takes nothing more (not even an item
    // enqueued while we wait) and the wait is for the item under way alone.
    StopLocked();
    while (wait && mItemUnderWay)
        mItemFinished.wait(lock);
    mCurrentItem.clear();
}

void ServerThread::ThreadEntry()
{
    for (;;) {
        {
            // The state is read under the lock only: Cancel writes it from other threads.
            Lock lock(mMutex);
            if (!mState)
                return;
            // The previous item is let go here rather than when it returns: while paused it
            // stays current, so that Resume can run it again.
            if (mState != &WorkMessage::Pause)
                mCurrentItem.clear();
            while (mState == &WorkMessage::Pause || (mState == &WorkMessage::Run && mQueue.empty()))
                mWorkAvailable.wait(lock);
            if (!mState)
                return;
            mCurrentItem = mQueue.front();
            mQueue.pop_front();
            mItemUnderWay = true;
        }

        InvokeCurrentWorkItem(WorkMessage::Run);

        bool queueEmpty;
        {
            Lock lock(mMutex);
            mItemUnderWay = false;
            queueEmpty = mQueue.empty();
        }
        mItemFinished.notify_all();
        if (queueEmpty)
            WorkQueueEmptySignal.emit();
    }
}

void ServerThread::InvokeCurrentWorkItem(const WorkMessage& message)
{
    // A copy: Cancel may let go of the current item while this call is under way.
    WorkItem item;
    {
        Lock lock(mMutex);
        item = mCurrentItem;
    }
    CallDiscardingExceptions(item, message);
}

void ServerThread::ReinvokeCurrentWorkItemWithState(const WorkMessage& message)
{
    WorkItem item;
    {
        Lock lock(mMutex);
        if (!mState)
            return;
        if (&message != &WorkMessage::Run && mState == &message)
            return;
        mState = (&message == &WorkMessage::Pause) ? &WorkMessage::Pause : &WorkMessage::Run;
        mWorkAvailable.notify_one();
        item = mCurrentItem;
    }
    if (item)
        CallDiscardingExceptions(item, message);
}

void ServerThread::CallDiscardingExceptions(const WorkItem& item, const WorkMessage& message)
{
    try {
        item(message);
    } catch (...) {
    }
}

void ServerThread::StopLocked()
{
    mState = nullptr;
    mWorkAvailable.notify_one();
}

void ServerThread::Stop()
{
    Lock lock(mMutex);
    StopLocked();
}

} // namespace Vantor::Threading
