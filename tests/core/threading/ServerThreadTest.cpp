#include "core/threading/ServerThread.h"

#include "tests/support/ThreadSync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using Vantor::Threading::ServerThread;
using Vantor::Threading::WorkMessage;
using VantorTest::BackgroundCall;
using VantorTest::Journal;

namespace {

typedef std::vector<std::string> Entries;

// What a call was and whether it came on the worker or on the test's own thread.
std::string Note(const std::string& what, std::thread::id testThread)
{
    return std::this_thread::get_id() == testThread ? what + " (caller)" : what;
}

std::string NameOf(const WorkMessage& message)
{
    return &message == &WorkMessage::Run ? "run" : &message == &WorkMessage::Pause ? "pause" : "cancel";
}

// A work item that notes each call as "<name>:<message>". A blocking probe behaves like a
// download: the worker's Run call goes on until the item is told to pause or cancel (or,
// when it holds on, until the test releases it), then notes "<name>:returned".
class Probe {
public:
    Probe(Journal& journal, std::string name)
        : mJournal(journal)
        , mName(std::move(name))
    {
    }

    // `holdOn`: keeps running through Pause and Cancel until released.
    Probe& Blocking(bool holdOn = false)
    {
        mBlocks = true;
        mHoldsOn = holdOn;
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

    bool WaitUntilStarted() { return mJournal.WaitFor(mName + ":run"); }
    void Release() { mJournal.Add(mName + ":released"); }

private:
    void Call(const WorkMessage& message)
    {
        const std::string note = Note(mName + ":" + NameOf(message), mTestThread);
        const bool firstRun = note == mName + ":run" && mJournal.Count(note) == 0;
        mJournal.Add(note);
        if (&message == mThrowsOn)
            throw std::runtime_error(mName + " failed");
        if (firstRun && mBlocks) {
            mJournal.WaitUntil([this](const Entries& entries) {
                return std::any_of(entries.begin(), entries.end(), [this](const std::string& entry) {
                    return entry == mName + ":released" ||
                           (!mHoldsOn && (entry.rfind(mName + ":pause", 0) == 0 || entry.rfind(mName + ":cancel", 0) == 0));
                });
            });
            mJournal.Add(mName + ":returned");
        }
    }

    Journal& mJournal;
    const std::string mName;
    const std::thread::id mTestThread = std::this_thread::get_id();
    bool mBlocks = false;
    bool mHoldsOn = false;
    const WorkMessage* mThrowsOn = nullptr;
};

// The probes and journal of a test outlive its server, whose destructor joins the worker
// that calls them. The fixture notes "empty" for every WorkQueueEmptySignal it listens to.
class ServerThreadTest : public ::testing::Test, public sigslot::has_slots<sigslot::multi_threaded_local> {
protected:
    ~ServerThreadTest() override { disconnect_all(); }

    void ListenForEmptyQueue(ServerThread& server)
    {
        server.WorkQueueEmptySignal.connect(this, &ServerThreadTest::OnQueueEmpty);
    }

    void OnQueueEmpty() { journal.Add(Note("empty", testThread)); }

    // Starts `server` on a (set up by the test) and then b, and waits until a runs.
    void StartWithAThenB(ServerThread& server)
    {
        server.EnqueueWork(a.Item());
        server.EnqueueWork(b.Item());
        server.Start();
        ASSERT_TRUE(a.WaitUntilStarted());
    }

    Journal journal;
    Probe a{journal, "a"};
    Probe b{journal, "b"};
    Probe c{journal, "c"};
    const std::thread::id testThread = std::this_thread::get_id();
};

TEST_F(ServerThreadTest, RunsItemsInOrderOnTheWorkerAndSignalsEachTimeTheQueueEmpties)
{
    ServerThread server;
    ListenForEmptyQueue(server);
    server.EnqueueWork(a.Item());
    server.EnqueueWork([&](const WorkMessage&) {
        journal.Add("b enqueues c");
        server.EnqueueWork(c.Item());
    });
    server.Start();
    ASSERT_TRUE(journal.WaitFor("empty"));
    server.EnqueueWork(b.Item());
    ASSERT_TRUE(journal.WaitFor("empty", 2));

    EXPECT_EQ((Entries{"a:run", "b enqueues c", "c:run", "empty", "b:run", "empty"}), journal.Entries());
}

TEST_F(ServerThreadTest, PauseHoldsTheQueueAndResumeRunsThePausedItemAgainOnTheCaller)
{
    ServerThread server;
    ListenForEmptyQueue(server);
    a.Blocking();
    StartWithAThenB(server);

    server.Pause();
    server.Pause();
    ASSERT_TRUE(journal.WaitFor("a:returned"));
    // The queue stays held while paused, also for work that comes in meanwhile.
    server.EnqueueWork(c.Item());
    journal.Add("resuming");
    server.Resume();
    ASSERT_TRUE(journal.WaitFor("empty"));

    // The caller's Run of a and the worker's way through the queue go on side by side.
    Entries entries = journal.Entries();
    const auto rerun = std::find(entries.begin(), entries.end(), "a:run (caller)");
    ASSERT_NE(entries.end(), rerun);
    entries.erase(rerun);
    EXPECT_EQ((Entries{"a:run", "a:pause (caller)", "a:returned", "resuming", "b:run", "c:run", "empty"}), entries);
}

TEST_F(ServerThreadTest, CancelCurrentCancelsTheItemUnderWayAndGoesOnWithTheNext)
{
    ServerThread server;
    ListenForEmptyQueue(server);
    a.Blocking();
    StartWithAThenB(server);

    server.CancelCurrent();
    ASSERT_TRUE(journal.WaitFor("empty"));
    EXPECT_EQ((Entries{"a:run", "a:cancel (caller)", "a:returned", "b:run", "empty"}), journal.Entries());
}

TEST_F(ServerThreadTest, CancelWithWaitReturnsOnlyAfterTheRunningItemReturned)
{
    ServerThread server;
    a.Blocking(true);
    StartWithAThenB(server);

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

    // The queue was dropped: b never runs.
    EXPECT_EQ((Entries{"a:run", "a:cancel", "a:released", "a:returned", "cancel returned"}), journal.Entries());
}

TEST_F(ServerThreadTest, CancelWithWaitReturnsAtOnceWhenNothingRuns)
{
    ServerThread neverStarted;
    neverStarted.EnqueueWork(c.Item());
    BackgroundCall([&] { neverStarted.Cancel(true); }, "Cancel(true) before Start").Join();

    ServerThread server;
    a.Blocking();
    StartWithAThenB(server);
    server.Pause();
    ASSERT_TRUE(journal.WaitFor("a:returned"));
    BackgroundCall([&] { server.Cancel(true); }, "Cancel(true) while paused").Join();

    // The paused item is still the current one and is told to cancel.
    EXPECT_EQ((Entries{"a:run", "a:pause (caller)", "a:returned", "a:cancel"}), journal.Entries());
}

TEST_F(ServerThreadTest, ItemsThatThrowOnTheWorkerOrOnReinvocationAreDiscarded)
{
    ServerThread server;
    ListenForEmptyQueue(server);
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

TEST_F(ServerThreadTest, DestroyingTheServerSurvivesAnItemThatThrowsOnCancel)
{
    {
        ServerThread server;
        a.Blocking().ThrowingOn(WorkMessage::Cancel);
        StartWithAThenB(server);
    }
    EXPECT_EQ((Entries{"a:run", "a:cancel (caller)", "a:returned"}), journal.Entries());
}

} // namespace
