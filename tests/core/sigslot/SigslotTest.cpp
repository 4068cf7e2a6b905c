#include "core/sigslot/sigslot.h"

#include "tests/support/LineSubscriber.h"
#include "tests/support/ThreadSync.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using VantorTest::Journal;
using VantorTest::LineSubscriber;
using VantorTest::RepeatingCall;
using VantorTest::SlotFaults;

namespace {

typedef sigslot::multi_threaded_local Policy;
typedef LineSubscriber::TextSignal TextSignal;
typedef std::vector<std::string> Entries;

// Notes every call of its slots as "<name> <arguments>".
class Recorder : public sigslot::has_slots<Policy> {
public:
    Recorder(Journal& journal, std::string name)
        : mJournal(journal)
        , mName(std::move(name))
    {
    }

    ~Recorder() override { disconnect_all(); }

    void None() { mJournal.Add(mName); }
    void One(int a) { mJournal.Add(mName + " " + std::to_string(a)); }
    void Two(int a, std::string b) { mJournal.Add(mName + " " + std::to_string(a) + b); }
    void Three(int a, std::string b, char c) { mJournal.Add(mName + " " + std::to_string(a) + b + c); }
    void Spoil(std::string text)
    {
        mJournal.Add(mName + " " + text);
        text = "spoilt";
    }
    void Throw(std::string) { throw std::runtime_error("slot failed"); }

private:
    Journal& mJournal;
    const std::string mName;
};

TEST(Signal, CallsEverySlotInConnectionOrderWithEachArity)
{
    Journal journal;
    Recorder first(journal, "first"), second(journal, "second");
    sigslot::signal0<Policy> none;
    sigslot::signal1<int, Policy> one;
    sigslot::signal2<int, std::string, Policy> two;
    sigslot::signal3<int, std::string, char, Policy> three;
    none.connect(&second, &Recorder::None);
    none.connect(&first, &Recorder::None);
    one.connect(&first, &Recorder::One);
    one.connect(&second, &Recorder::One);
    two.connect(&first, &Recorder::Two);
    three.connect(&second, &Recorder::Three);

    none.emit();
    one.emit(1);
    one(2);
    two.emit(3, "x");
    three(4, "y", 'z');

    EXPECT_EQ((Entries{"second", "first", "first 1", "second 1", "first 2", "second 2", "first 3x", "second 4yz"}),
              journal.Entries());
}

TEST(Signal, EverySlotGetsItsOwnCopyOfTheArguments)
{
    Journal journal;
    Recorder first(journal, "first"), second(journal, "second");
    TextSignal signal;
    signal.connect(&first, &Recorder::Spoil);
    signal.connect(&second, &Recorder::Spoil);

    signal.emit("line");
    EXPECT_EQ((Entries{"first line", "second line"}), journal.Entries());
}

TEST(Signal, DisconnectRemovesOnlyThatSubscriber)
{
    Journal journal;
    Recorder first(journal, "first"), second(journal, "second"), third(journal, "third");
    sigslot::signal1<int, Policy> signal;
    signal.connect(&first, &Recorder::One);
    signal.connect(&second, &Recorder::One);
    signal.connect(&third, &Recorder::One);

    signal.disconnect(&second);
    signal.emit(1);
    // A subscriber that connects again comes last.
    signal.connect(&second, &Recorder::One);
    signal.emit(2);

    EXPECT_EQ((Entries{"first 1", "third 1", "first 2", "third 2", "second 2"}), journal.Entries());
}

TEST(Signal, DisconnectAllOnTheSignalLeavesItWithoutSubscribers)
{
    Journal journal;
    auto first = std::make_unique<Recorder>(journal, "first");
    Recorder second(journal, "second");
    sigslot::signal1<int, Policy> signal;
    signal.connect(first.get(), &Recorder::One);
    signal.connect(&second, &Recorder::One);
    ASSERT_TRUE(signal.connected());

    signal.disconnect_all();
    EXPECT_FALSE(signal.connected());
    signal.emit(1);
    // The subscribers know they are no longer connected: destroying one touches nothing.
    first.reset();
    signal.connect(&second, &Recorder::One);
    signal.emit(2);

    EXPECT_EQ((Entries{"second 2"}), journal.Entries());
}

TEST(Signal, DisconnectAllOnTheSubscriberLeavesEverySignal)
{
    Journal journal;
    Recorder subscriber(journal, "s"), other(journal, "o");
    sigslot::signal0<Policy> none;
    sigslot::signal1<int, Policy> one;
    none.connect(&subscriber, &Recorder::None);
    one.connect(&subscriber, &Recorder::One);
    one.connect(&other, &Recorder::One);

    subscriber.disconnect_all();
    none.emit();
    one.emit(1);

    EXPECT_FALSE(none.connected());
    EXPECT_EQ((Entries{"o 1"}), journal.Entries());
}

TEST(Signal, ADestroyedSubscriberReceivesNothing)
{
    Journal journal;
    sigslot::signal1<int, Policy> signal;
    Recorder kept(journal, "kept");
    {
        Recorder gone(journal, "gone");
        signal.connect(&gone, &Recorder::One);
        signal.connect(&kept, &Recorder::One);
        signal.emit(1);
    }
    signal.emit(2);
    EXPECT_EQ((Entries{"gone 1", "kept 1", "kept 2"}), journal.Entries());
}

TEST(Signal, ASubscriberOutlivingItsSignalIsDestroyedSafely)
{
    Journal journal;
    Recorder subscriber(journal, "s");
    auto signal = std::make_unique<sigslot::signal1<int, Policy>>();
    signal->connect(&subscriber, &Recorder::One);
    signal.reset();
    // The subscriber's destructor runs at the end of the test and must not reach the signal.
}

TEST(Signal, AThrowingSlotLeavesTheSignalUnlocked)
{
    Journal journal;
    Recorder thrower(journal, "t"), other(journal, "o");
    TextSignal signal;
    signal.connect(&thrower, &Recorder::Throw);

    EXPECT_THROW(signal.emit("line"), std::runtime_error);
    signal.disconnect(&thrower);
    signal.connect(&other, &Recorder::Spoil);
    signal.emit("again");
    EXPECT_EQ((Entries{"o again"}), journal.Entries());
}

TEST(SignalThreads, EmissionsFromSeveralThreadsReachASubscriberOneAtATime)
{
    const int kThreads = 6;
    const int kLines = 300;
    Journal journal;
    SlotFaults faults;
    TextSignal signal;
    LineSubscriber subscriber(signal, faults, &journal);

    std::vector<std::thread> emitters;
    for (int t = 0; t < kThreads; ++t) {
        emitters.emplace_back([&signal, t] {
            for (int i = 0; i < kLines; ++i)
                signal.emit(std::to_string(t) + " " + std::to_string(i));
        });
    }
    for (std::thread& emitter : emitters)
        emitter.join();

    EXPECT_EQ(0, faults.overlapping.load());
    ASSERT_EQ(kThreads * kLines, subscriber.Received());
    // Each thread's lines arrive in the order it sent them.
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : journal.Entries()) {
        const int t = std::stoi(line.substr(0, line.find(' ')));
        EXPECT_EQ(std::to_string(t) + " " + std::to_string(next[t]), line);
        ++next[t];
    }
}

TEST(SignalThreads, SubscribersComeAndGoWhileAnotherThreadEmits)
{
    SlotFaults faults;
    TextSignal signal;
    LineSubscriber steady(signal, faults);
    {
        RepeatingCall emitter([&signal] { signal.emit("line"); });
        for (int i = 0; i < 200; ++i) {
            // Each subscriber is destroyed after at least one line has reached it, with the
            // emitter still going.
            LineSubscriber passing(signal, faults);
            ASSERT_TRUE(passing.WaitForLines(1));
        }
        ASSERT_TRUE(emitter.WaitForMoreCalls(1));
    }
    EXPECT_EQ(0, faults.halfDestroyed.load());
    EXPECT_EQ(0, faults.overlapping.load());
    EXPECT_GT(steady.Received(), 0);
}

} // namespace
