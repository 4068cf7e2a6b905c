// The call queue to the main thread: order, one item per turn, and the synchronous wait.
#include "downloader/app/Invokable.h"
#include "tests/support/gui/MainLoop.h"
#include "tests/support/LogRecorder.h"

#include <future>
#include <map>
#include <stdexcept>
#include <thread>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::Invokable1;
using Vantor::DigitalMedia::MusicClient::Downloader::Invokable2;
using Vantor::DigitalMedia::MusicClient::Downloader::MainThreadInvoke;

namespace {

typedef boost::shared_ptr<MainThreadInvoke::IInvokable> Item;

class MainThreadInvokeTest : public MainLoopTest {
protected:
    const std::thread::id mainThread = std::this_thread::get_id();
};

TEST_F(MainThreadInvokeTest, AsyncItemsRunOnTheMainThreadOnePerTurnInEachProducersOrder)
{
    sigc::signal<void, std::string, int> note;
    std::map<std::string, int> next;
    note.connect([&](std::string producer, int sequence) {
        EXPECT_EQ(mainThread, std::this_thread::get_id());
        EXPECT_EQ(next[producer]++, sequence) << producer;
    });
    // More items than the dispatcher's pipe could hold as wake-ups: no producer blocks
    // while the main loop is not turning.
    const int perProducer = 3000;
    const auto produce = [&note](const std::string& producer) {
        for (int i = 0; i < perProducer; ++i)
            MainThreadInvoke::sInstance.InvokeAsync(Item(new Invokable2<void, std::string, int>(note, producer, i)));
    };
    std::future<void> first = std::async(std::launch::async, produce, "first");
    std::future<void> second = std::async(std::launch::async, produce, "second");
    const bool returned = first.wait_for(kWaitLimit) == std::future_status::ready &&
                          second.wait_for(kWaitLimit) == std::future_status::ready;
    EXPECT_TRUE(returned);
    if (!returned)
        RunMainLoopUntil([&] { return next["first"] + next["second"] == 2 * perProducer; });
    first.get();
    second.get();

    int turns = 0;
    while (RunOneTurn())
        ++turns;
    EXPECT_EQ(2 * perProducer, turns);
    EXPECT_EQ((std::map<std::string, int>{{"first", perProducer}, {"second", perProducer}}), next);
}

TEST_F(MainThreadInvokeTest, SyncCallReturnsOnlyAfterTheMainThreadRanItsItemEvenWhenItThrows)
{
    LogRecorder log;
    sigc::signal<void, int> store;
    int stored = 0;
    std::unique_ptr<BackgroundCall> worker;
    store.connect([&](int value) {
        EXPECT_EQ(mainThread, std::this_thread::get_id());
        EXPECT_FALSE(worker->HasReturned());
        stored = value;
        if (value < 0)
            throw std::runtime_error("no such widget");
    });
    int seenByWorker = 0;
    worker.reset(new BackgroundCall(
        [&] {
            MainThreadInvoke::sInstance.InvokeSync(Item(new Invokable1<void, int>(store, 7)));
            // Written on the main thread, read here without a lock of our own: the wait
            // orders the two.
            seenByWorker = stored;
            MainThreadInvoke::sInstance.InvokeSync(Item(new Invokable1<void, int>(store, -1)));
        },
        "InvokeSync"));
    ASSERT_TRUE(RunMainLoopUntil([&] { return worker->HasReturned(); }));
    worker->Join();
    EXPECT_EQ(7, seenByWorker);
    EXPECT_EQ((std::vector<std::string>{"MainThreadInvoke: work item failed: no such widget"}), log.Lines());
}

} // namespace
