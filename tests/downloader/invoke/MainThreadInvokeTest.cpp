// The call queue to the main thread: order, one item per turn, and the synchronous wait.
#include "downloader/app/Invokable.h"
#include "downloader/app/MainThreadInvoke.h"
#include "tests/downloader/invoke/MainLoop.h"
#include "tests/support/LogRecorder.h"

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::Invokable1;
using Vantor::DigitalMedia::MusicClient::Downloader::Invokable2;
using Vantor::DigitalMedia::MusicClient::Downloader::MainThreadInvoke;

namespace {

typedef sigc::signal<void, std::string, int> NoteSignal;

boost::shared_ptr<MainThreadInvoke::IInvokable> Note(NoteSignal& signal, const std::string& who, int sequence)
{
    return boost::shared_ptr<MainThreadInvoke::IInvokable>(new Invokable2<void, std::string, int>(signal, who, sequence));
}

class MainThreadInvokeTest : public MainLoopTest {
protected:
    MainThreadInvokeTest()
    {
        signal.connect([this](std::string who, int sequence) {
            if (std::this_thread::get_id() != mainThread)
                who += " off the main thread";
            ran.emplace_back(who, sequence);
        });
    }

    const std::thread::id mainThread = std::this_thread::get_id();
    NoteSignal signal;
    std::vector<std::pair<std::string, int>> ran;
};

TEST_F(MainThreadInvokeTest, AsyncItemsRunOnTheMainThreadOnePerTurnInQueueOrder)
{
    // Queued on the main thread itself: nothing runs inside the call.
    for (int i = 0; i < 3; ++i)
        MainThreadInvoke::sInstance.InvokeAsync(Note(signal, "main", i));
    EXPECT_TRUE(ran.empty());
    // A slot connected after the items were made is reached too.
    int lateCalls = 0;
    signal.connect([&lateCalls](std::string, int) { ++lateCalls; });
    for (size_t turn = 1; turn <= 3; ++turn) {
        ASSERT_TRUE(RunOneTurn());
        ASSERT_EQ(turn, ran.size());
    }
    EXPECT_FALSE(RunOneTurn());
    EXPECT_EQ((std::vector<std::pair<std::string, int>>{{"main", 0}, {"main", 1}, {"main", 2}}), ran);
    EXPECT_EQ(3, lateCalls);

    // Two workers at once, with more items than the dispatcher's pipe could hold as
    // wake-ups: neither blocks while the main loop is not turning.
    ran.clear();
    const int perWorker = 3000;
    const auto produce = [this](const std::string& who) {
        for (int i = 0; i < perWorker; ++i)
            MainThreadInvoke::sInstance.InvokeAsync(Note(signal, who, i));
    };
    std::future<void> first = std::async(std::launch::async, produce, "first");
    std::future<void> second = std::async(std::launch::async, produce, "second");
    const bool returned = first.wait_for(kWaitLimit) == std::future_status::ready &&
                          second.wait_for(kWaitLimit) == std::future_status::ready;
    EXPECT_TRUE(returned);
    if (!returned)
        RunMainLoopUntil([&] { return ran.size() == size_t(2 * perWorker); });
    first.get();
    second.get();
    int turns = 0;
    while (RunOneTurn())
        ++turns;
    EXPECT_EQ(2 * perWorker, turns);
    ASSERT_EQ(size_t(2 * perWorker), ran.size());
    std::map<std::string, int> next;
    for (const auto& item : ran)
        EXPECT_EQ(next[item.first]++, item.second) << item.first;
    EXPECT_EQ((std::map<std::string, int>{{"first", perWorker}, {"second", perWorker}}), next);
}

TEST_F(MainThreadInvokeTest, SyncCallReturnsOnlyAfterTheMainThreadRanItsItem)
{
    sigc::signal<void, int> store;
    int stored = 0;
    std::unique_ptr<BackgroundCall> worker;
    store.connect([&](int value) {
        EXPECT_EQ(mainThread, std::this_thread::get_id());
        EXPECT_FALSE(worker->HasReturned());
        stored = value;
    });
    int seenByWorker = 0;
    worker.reset(new BackgroundCall(
        [&] {
            MainThreadInvoke::sInstance.InvokeSync(
                boost::shared_ptr<MainThreadInvoke::IInvokable>(new Invokable1<void, int>(store, 7)));
            // Written on the main thread, read here without a lock of our own: the wait
            // must order the two.
            seenByWorker = stored;
        },
        "InvokeSync"));
    ASSERT_TRUE(RunMainLoopUntil([&] { return worker->HasReturned(); }));
    worker->Join();
    EXPECT_EQ(7, seenByWorker);
}

TEST_F(MainThreadInvokeTest, AnItemThatThrowsIsLoggedAndReleasesItsSyncCaller)
{
    LogRecorder log;
    sigc::signal<void, int> failing;
    failing.connect([](int) { throw std::runtime_error("no such widget"); });
    BackgroundCall worker(
        [&] {
            MainThreadInvoke::sInstance.InvokeSync(
                boost::shared_ptr<MainThreadInvoke::IInvokable>(new Invokable1<void, int>(failing, 1)));
        },
        "InvokeSync of a throwing item");
    ASSERT_TRUE(RunMainLoopUntil([&] { return worker.HasReturned(); }));
    EXPECT_EQ((std::vector<std::string>{"MainThreadInvoke: work item failed: no such widget"}), log.Lines());
}

} // namespace
