#include "core/diagnostic/Debug.h"

#include "tests/support/LineSubscriber.h"
#include "tests/support/ThreadSync.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using Vantor::Diagnostic::Debug;
using VantorTest::Journal;
using VantorTest::LineSubscriber;
using VantorTest::RepeatingCall;
using VantorTest::SlotFaults;

namespace {

typedef std::vector<std::string> Entries;

// Every test leaves the process-wide log without subscribers, as it found it.
class DebugTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_FALSE(Debug::StringLoggedSignal().connected()); }

    Journal journal;
    SlotFaults faults;
};

TEST_F(DebugTest, ASubscriberConnectedLaterGetsOnlyLaterLines)
{
    Debug::LogString("nobody listens");
    LineSubscriber subscriber(Debug::StringLoggedSignal(), faults, &journal);
    Debug::LogString("first");
    Debug::LogString("");
    Debug::LogString("last");
    EXPECT_EQ((Entries{"first", "", "last"}), journal.Entries());
}

TEST_F(DebugTest, SubscribersGetEveryLineInTheOrderTheyConnected)
{
    LineSubscriber second(Debug::StringLoggedSignal(), faults, &journal, "second: ");
    LineSubscriber first(Debug::StringLoggedSignal(), faults, &journal, "first: ");
    Debug::LogString("one");
    Debug::LogString("two");
    EXPECT_EQ((Entries{"second: one", "first: one", "second: two", "first: two"}), journal.Entries());
}

TEST_F(DebugTest, TheWideOverloadLogsTheSameUtf8AsTheNarrowOne)
{
    LineSubscriber subscriber(Debug::StringLoggedSignal(), faults, &journal);
    // e acute, u umlaut, euro sign, a CJK character: one, two and three byte sequences.
    Debug::LogString(std::wstring(L"caf\u00e9 \u00fc \u20ac \u4e2d"));
    Debug::LogString(std::string("caf\xC3\xA9 \xC3\xBC \xE2\x82\xAC \xE4\xB8\xAD"));
    Debug::LogString(std::wstring());
    const Entries lines = journal.Entries();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(lines[1], lines[0]);
    EXPECT_EQ("", lines[2]);
}

TEST_F(DebugTest, ADestroyedSubscriberReceivesNothing)
{
    LineSubscriber kept(Debug::StringLoggedSignal(), faults, &journal, "kept: ");
    {
        LineSubscriber gone(Debug::StringLoggedSignal(), faults, &journal, "gone: ");
        Debug::LogString("both");
    }
    Debug::LogString("one");
    EXPECT_EQ((Entries{"kept: both", "gone: both", "kept: one"}), journal.Entries());
}

TEST_F(DebugTest, ASlotsExceptionReachesTheCallerAndTheLogGoesOn)
{
    class Failing : public sigslot::has_slots<sigslot::multi_threaded_local> {
    public:
        ~Failing() override { disconnect_all(); }
        void OnLine(std::string) { throw std::runtime_error("disk full"); }
    };
    {
        Failing failing;
        Debug::StringLoggedSignal().connect(&failing, &Failing::OnLine);
        EXPECT_THROW(Debug::LogString("lost"), std::runtime_error);
    }
    LineSubscriber subscriber(Debug::StringLoggedSignal(), faults, &journal);
    Debug::LogString("after");
    EXPECT_EQ((Entries{"after"}), journal.Entries());
}

TEST_F(DebugTest, LinesFromSeveralThreadsArriveWholeAndOneAtATime)
{
    const int kThreads = 6;
    const int kLines = 200;
    // Long lines, so that a mix of two would show.
    auto lineOf = [](int thread, int number) {
        return "thread " + std::to_string(thread) + " line " + std::to_string(number) + " " +
               std::string(300, static_cast<char>('a' + thread));
    };
    LineSubscriber subscriber(Debug::StringLoggedSignal(), faults, &journal);

    std::vector<std::thread> loggers;
    for (int t = 0; t < kThreads; ++t) {
        loggers.emplace_back([&lineOf, t] {
            for (int i = 0; i < kLines; ++i) {
                const std::string line = lineOf(t, i);
                if (i % 2)
                    Debug::LogString(line);
                else
                    Debug::LogString(std::wstring(line.begin(), line.end()));
            }
        });
    }
    for (std::thread& logger : loggers)
        logger.join();

    EXPECT_EQ(0, faults.overlapping.load());
    const Entries lines = journal.Entries();
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
    // Every line arrives once, whole, and each thread's lines in the order it logged them.
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        const int t = line.size() > 7 ? line[7] - '0' : -1;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        EXPECT_EQ(lineOf(t, next[t]), line);
        ++next[t];
    }
}

TEST_F(DebugTest, ASubscriberDestroyedWhileAnotherThreadLogsIsNeverCalledHalfDestroyed)
{
    {
        RepeatingCall logger([] { Debug::LogString("busy"); });
        for (int i = 0; i < 200; ++i) {
            LineSubscriber passing(Debug::StringLoggedSignal(), faults);
            ASSERT_TRUE(passing.WaitForLines(1));
        }
    }
    EXPECT_EQ(0, faults.halfDestroyed.load());
    EXPECT_EQ(0, faults.overlapping.load());
}

} // namespace
