#include "core/threading/ServerThread.h"

#include "tests/support/ThreadSync.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using Vantor::Threading::ServerThread;
using Vantor::Threading::WorkMessage;
using VantorTest::BackgroundCall;
using VantorTest::CallOrAbortOnHang;
using VantorTest::Journal;
using VantorTest::kWaitLimit;
using VantorTest::Latch;

namespace {

const char* NameOf(const WorkMessage& message)
{
    if (&message == &WorkMessage::Run)
        return "run";
    if (&message == &WorkMessage::Pause)
        return "pause";
    return "cancel";
}

// A work item that notes each call as "<name>:<message>" together with the calling thread.
// A blocking probe behaves like a download: the worker's Run call goes on until the test
// releases it or the item is told to pause or cancel, then notes "<name>:returned".
class Probe {
public:
    Probe(Journal& journal, std::string name)
        : mJournal(journal)
        , mName(std::move(name))
    {
    }

    Probe& Blocking()
    {
        mBlocks = true;
        return *this;
    }

    // Keeps running through Pause and Cancel until released.
    Probe& IgnoringStopRequests()
    {
        mIgnoresStop = true;
        return *this;
    }

    Probe& ThrowingOn(const WorkMessage& message)
    {
        mThrowsOn = &message;
        return *this;
    }

    ServerThread::WorkItem Item()
    {
        return [this](const WorkMessage& message) { Call(message); };
    }

    bool WaitUntilStarted() { return mStarted.Wait(); }

    void Release()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mReleased = true;
        mChanged.notify_all();
    }

    std::vector<std::thread::id> CallersOf(const WorkMessage& message)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        std::vector<std::thread::id> callers;
        for (const auto& call : mCalls) {
            if (call.first == &message)
                callers.push_back(call.second);
        }
        return callers;
    }

private:
    void Call(const WorkMessage& message)
    {
        mJournal.Add(mName + ":" + NameOf(message));
        bool blockHere = false;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mCalls.emplace_back(&message, std::this_thread::get_id());
            if (&message == &WorkMessage::Run)
                blockHere = mBlocks && !mRanOnce;
            else
                mStopRequested = true;
            if (&message == &WorkMessage::Run)
                mRanOnce = true;
            mChanged.notify_all();
        }
        if (&message == mThrowsOn)
            throw std::runtime_error(mName + " failed");
        if (blockHere) {
            mStarted.Open();
            std::unique_lock<std::mutex> lock(mMutex);
            mChanged.wait_for(lock, kWaitLimit, [this] { return mReleased || (mStopRequested && !mIgnoresStop); });
            lock.unlock();
            mJournal.Add(mName + ":returned");
        }
    }

    Journal& mJournal;
    const std::string mName;
    bool mBlocks = false;
    bool mIgnoresStop = false;
    const WorkMessage* mThrowsOn = nullptr;
    Latch mStarted;

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::vector<std::pair<const WorkMessage*, std::thread::id>> mCalls;
    bool mRanOnce = false;
    bool mStopRequested = false;
    bool mReleased = false;
};

// Notes "empty" in the journal for every WorkQueueEmptySignal, and the thread it came on.
class QueueEmptyListener : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    QueueEmptyListener(ServerThread& server, Journal& journal)
        : mJournal(journal)
    {
        server.WorkQueueEmptySignal.connect(this, &QueueEmptyListener::OnQueueEmpty);
    }

    ~QueueEmptyListener() override { disconnect_all(); }

    void OnQueueEmpty()
    {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mThreads.push_back(std::this_thread::get_id());
        }
        mJournal.Add("empty");
    }

    std::vector<std::thread::id> Threads()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mThreads;
    }

private:
    Journal& mJournal;
    std::mutex mMutex;
    std::vector<std::thread::id> mThreads;
};

typedef std::vector<std::string> Entries;

// The probes, journal and listener of a test outlive its server, whose destructor joins the
// worker that calls them.
class ServerThreadTest : public ::testing::Test {
protected:
    Journal journal;
    Probe a{journal, "a"};
    Probe b{journal, "b"};
    Probe c{journal, "c"};
    const std::thread::id testThread = std::this_thread::get_id();
};

TEST_F(ServerThreadTest, RunsItemsEnqueuedBeforeStartInOrderOnceEachOnTheWorker)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    server.EnqueueWork(a.Item());
    server.EnqueueWork(b.Item());
    server.EnqueueWork(c.Item());
    server.Start();

    ASSERT_TRUE(journal.WaitFor("empty"));
    EXPECT_EQ((Entries{"a:run", "b:run", "c:run", "empty"}), journal.Entries());
    const auto worker = a.CallersOf(WorkMessage::Run);
    ASSERT_EQ(1u, worker.size());
    EXPECT_NE(testThread, worker[0]);
    EXPECT_EQ(worker, b.CallersOf(WorkMessage::Run));
    EXPECT_EQ(worker, c.CallersOf(WorkMessage::Run));
    EXPECT_EQ(worker, listener.Threads());
}

TEST_F(ServerThreadTest, SignalsAnEmptyQueueAfterEveryItemThatLeavesItEmptyAlsoWhilePaused)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    server.Start();

    server.EnqueueWork(a.Item());
    ASSERT_TRUE(journal.WaitFor("empty", 1));
    server.EnqueueWork(b.Item());
    ASSERT_TRUE(journal.WaitFor("empty", 2));

    // c pauses itself when told to; the queue is empty when it returns.
    c.Blocking();
    server.EnqueueWork(c.Item());
    ASSERT_TRUE(c.WaitUntilStarted());
    server.Pause();
    ASSERT_TRUE(journal.WaitFor("empty", 3));
    EXPECT_EQ((Entries{"a:run", "empty", "b:run", "empty", "c:run", "c:pause", "c:returned", "empty"}),
              journal.Entries());
}

TEST_F(ServerThreadTest, ItemsMayEnqueueWorkOnTheirOwnServer)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    server.EnqueueWork([&](const WorkMessage&) {
        journal.Add("first");
        server.EnqueueWork(a.Item());
    });
    server.Start();

    ASSERT_TRUE(journal.WaitFor("empty"));
    EXPECT_EQ((Entries{"first", "a:run", "empty"}), journal.Entries());
}

TEST_F(ServerThreadTest, PauseHoldsTheQueueBackAndTellsOnlyTheItemUnderWay)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    a.Blocking();
    server.EnqueueWork(a.Item());
    server.EnqueueWork(b.Item());
    server.Start();
    ASSERT_TRUE(a.WaitUntilStarted());

    server.Pause();
    server.Pause();
    ASSERT_TRUE(journal.WaitFor("a:returned"));
    server.EnqueueWork(c.Item());

    journal.Add("resuming");
    server.Resume();
    ASSERT_TRUE(journal.WaitFor("empty"));

    EXPECT_EQ(1, journal.Count("a:pause"));
    EXPECT_EQ((std::vector<std::thread::id>{testThread}), a.CallersOf(WorkMessage::Pause));
    // Resume runs the paused item again on the caller's thread; the queue goes on in order.
    const auto aRuns = a.CallersOf(WorkMessage::Run);
    ASSERT_EQ(2u, aRuns.size());
    EXPECT_EQ(testThread, aRuns[1]);
    EXPECT_GT(journal.Position("b:run"), journal.Position("resuming"));
    EXPECT_GT(journal.Position("c:run"), journal.Position("b:run"));
    EXPECT_EQ(1, journal.Count("b:run"));
    EXPECT_EQ(1, journal.Count("c:run"));
    EXPECT_EQ(0, journal.Count("b:pause") + journal.Count("c:pause"));
}

TEST_F(ServerThreadTest, PauseBeforeAnyItemCallsNothingAndHoldsTheQueue)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    server.Pause();
    server.EnqueueWork(a.Item());
    server.Start();

    journal.Add("resuming");
    server.Resume();
    ASSERT_TRUE(journal.WaitFor("empty"));
    EXPECT_EQ((Entries{"resuming", "a:run", "empty"}), journal.Entries());
    ASSERT_EQ(1u, a.CallersOf(WorkMessage::Run).size());
    EXPECT_NE(testThread, a.CallersOf(WorkMessage::Run)[0]);
}

TEST_F(ServerThreadTest, ResumeWhileAnItemRunsCallsItAgainOnTheCaller)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    a.Blocking();
    server.EnqueueWork(a.Item());
    server.Start();
    ASSERT_TRUE(a.WaitUntilStarted());

    server.Resume();
    a.Release();
    ASSERT_TRUE(journal.WaitFor("empty"));

    const auto runs = a.CallersOf(WorkMessage::Run);
    ASSERT_EQ(2u, runs.size());
    EXPECT_NE(testThread, runs[0]);
    EXPECT_EQ(testThread, runs[1]);
    EXPECT_EQ(1, journal.Count("empty"));
}

TEST_F(ServerThreadTest, CancelCurrentCancelsTheItemUnderWayAndGoesOnWithTheNext)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    a.Blocking();
    server.EnqueueWork(a.Item());
    server.EnqueueWork(b.Item());
    server.Start();
    ASSERT_TRUE(a.WaitUntilStarted());

    server.CancelCurrent();
    ASSERT_TRUE(journal.WaitFor("empty"));
    EXPECT_EQ((Entries{"a:run", "a:cancel", "a:returned", "b:run", "empty"}), journal.Entries());
    EXPECT_EQ((std::vector<std::thread::id>{testThread}), a.CallersOf(WorkMessage::Cancel));
}

TEST_F(ServerThreadTest, CancelCurrentWhilePausedPutsTheThreadBackToRunning)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    a.Blocking();
    server.EnqueueWork(a.Item());
    server.EnqueueWork(b.Item());
    server.Start();
    ASSERT_TRUE(a.WaitUntilStarted());
    server.Pause();
    ASSERT_TRUE(journal.WaitFor("a:returned"));

    server.CancelCurrent();
    ASSERT_TRUE(journal.WaitFor("empty"));
    // The worker is let go before the paused item hears of the cancel, so b and the cancel
    // may come in either order.
    EXPECT_EQ(1, journal.Count("a:cancel"));
    EXPECT_GT(journal.Position("b:run"), journal.Position("a:returned"));
    EXPECT_EQ(1, journal.Count("empty"));
}

TEST_F(ServerThreadTest, CancelWithWaitReturnsOnlyAfterTheRunningItemReturned)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    a.Blocking().IgnoringStopRequests();
    server.EnqueueWork(a.Item());
    server.EnqueueWork(b.Item());
    server.Start();
    ASSERT_TRUE(a.WaitUntilStarted());

    {
        BackgroundCall cancel(
            [&] {
                server.Cancel(true);
                journal.Add("cancel returned");
            },
            "Cancel(true) while an item runs");
        ASSERT_TRUE(journal.WaitFor("a:cancel"));
        // a is still running; Cancel must be waiting for it.
        EXPECT_FALSE(cancel.HasReturned());
        a.Release();
    }

    ASSERT_TRUE(journal.WaitFor("empty"));
    EXPECT_LT(journal.Position("a:returned"), journal.Position("cancel returned"));
    EXPECT_EQ(0, journal.Count("b:run"));
    EXPECT_EQ(1, journal.Count("empty"));
}

TEST_F(ServerThreadTest, CancelWithWaitReturnsAtOnceWhenNothingRuns)
{
    ServerThread neverStarted;
    neverStarted.EnqueueWork(a.Item());
    CallOrAbortOnHang([&] { neverStarted.Cancel(true); }, "Cancel(true) before Start");

    ServerThread idle;
    QueueEmptyListener idleListener(idle, journal);
    idle.Start();
    idle.EnqueueWork(b.Item());
    ASSERT_TRUE(journal.WaitFor("empty"));
    CallOrAbortOnHang([&] { idle.Cancel(true); }, "Cancel(true) while idle");

    ServerThread paused;
    c.Blocking();
    paused.EnqueueWork(c.Item());
    paused.Start();
    ASSERT_TRUE(c.WaitUntilStarted());
    paused.Pause();
    ASSERT_TRUE(journal.WaitFor("c:returned"));
    CallOrAbortOnHang([&] { paused.Cancel(true); }, "Cancel(true) while paused");

    EXPECT_EQ(0, journal.Count("a:run"));
    // The paused item is still the current one and is told to cancel.
    EXPECT_EQ(1, journal.Count("c:cancel"));
}

TEST_F(ServerThreadTest, CancelWithoutWaitLeavesTheRunningItemRunning)
{
    ServerThread server;
    a.Blocking().IgnoringStopRequests();
    server.EnqueueWork(a.Item());
    server.Start();
    ASSERT_TRUE(a.WaitUntilStarted());

    CallOrAbortOnHang([&] { server.Cancel(false); }, "Cancel(false) while an item runs");
    EXPECT_EQ(1, journal.Count("a:cancel"));
    EXPECT_EQ(0, journal.Count("a:returned"));
    a.Release();
}

TEST_F(ServerThreadTest, StartsAtMostOnce)
{
    ServerThread started;
    started.Start();
    EXPECT_THROW(started.Start(), ServerThread::ServerAlreadyRunningException);
    started.Cancel(true);
    EXPECT_THROW(started.Start(), ServerThread::ServerAlreadyRunningException);

    ServerThread cancelledFirst;
    cancelledFirst.Cancel(false);
    EXPECT_THROW(cancelledFirst.Start(), ServerThread::ServerAlreadyRunningException);
}

TEST_F(ServerThreadTest, AnItemEnqueuedAfterCancelNeverRunsAndGoesWithTheServer)
{
    auto token = std::make_shared<int>(0);
    {
        ServerThread server;
        QueueEmptyListener listener(server, journal);
        server.Start();
        server.EnqueueWork(a.Item());
        ASSERT_TRUE(journal.WaitFor("empty"));
        server.Cancel(true);

        server.EnqueueWork([token, this](const WorkMessage& message) { b.Item()(message); });
        server.EnqueueWork(c.Item());
        EXPECT_EQ(2, token.use_count());
        // Re-invocations of a cancelled thread do nothing.
        server.Pause();
        server.Resume();
        server.CancelCurrent();
    }
    EXPECT_EQ(1, token.use_count());
    EXPECT_EQ(0, journal.Count("b:run") + journal.Count("c:run"));
}

TEST_F(ServerThreadTest, ItemsThatThrowOnTheWorkerOrOnReinvocationAreDiscarded)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    a.ThrowingOn(WorkMessage::Run);
    b.Blocking().ThrowingOn(WorkMessage::Pause);
    server.EnqueueWork(a.Item());
    server.EnqueueWork(ServerThread::WorkItem());
    server.EnqueueWork(b.Item());
    server.EnqueueWork(c.Item());
    server.Start();
    ASSERT_TRUE(b.WaitUntilStarted());

    EXPECT_NO_THROW(server.Pause());
    EXPECT_NO_THROW(server.Resume());
    b.Release();
    ASSERT_TRUE(journal.WaitFor("empty"));
    EXPECT_EQ(1, journal.Count("c:run"));
}

TEST_F(ServerThreadTest, AnItemThatThrowsOnCancelReachesTheCallerAndLeavesTheThreadRunning)
{
    ServerThread server;
    QueueEmptyListener listener(server, journal);
    a.Blocking().ThrowingOn(WorkMessage::Cancel);
    server.EnqueueWork(a.Item());
    server.EnqueueWork(b.Item());
    server.Start();
    ASSERT_TRUE(a.WaitUntilStarted());

    EXPECT_THROW(server.Cancel(true), std::runtime_error);
    ASSERT_TRUE(journal.WaitFor("empty"));
    // The queue was dropped before the item was told; the thread still serves new work.
    server.EnqueueWork(c.Item());
    ASSERT_TRUE(journal.WaitFor("empty", 2));
    EXPECT_EQ((Entries{"a:run", "a:cancel", "a:returned", "empty", "c:run", "empty"}), journal.Entries());
}

TEST_F(ServerThreadTest, DestroyingTheServerSurvivesAnItemThatThrowsOnCancel)
{
    {
        ServerThread server;
        a.Blocking().ThrowingOn(WorkMessage::Cancel);
        server.EnqueueWork(a.Item());
        server.EnqueueWork(b.Item());
        server.Start();
        ASSERT_TRUE(a.WaitUntilStarted());
    }
    EXPECT_EQ((Entries{"a:run", "a:cancel", "a:returned"}), journal.Entries());
}

} // namespace
