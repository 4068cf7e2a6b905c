#include "core/diagnostic/Debug.h"

#include "tests/support/LogSubscriber.h"
#include "tests/support/ThreadSync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using Vantor::Diagnostic::Debug;
using VantorTest::Journal;
using VantorTest::LogSubscriber;
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

TEST_F(DebugTest, SubscribersGetLaterLinesInConnectionOrderUntilDestroyed)
{
    Debug::LogString("nobody listens");
    LogSubscriber kept(journal, "kept: ");
    {
        LogSubscriber gone(journal, "gone: ");
        Debug::LogString("both");
        Debug::LogString("");
    }
    Debug::LogString("one");
    EXPECT_EQ((Entries{"kept: both", "gone: both", "kept: ", "gone: ", "kept: one"}), journal.Entries());
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
    LogSubscriber subscriber(journal, "", &faults);

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
    std::atomic<bool> stop(false);
    std::thread logger([&stop] {
        while (!stop)
            Debug::LogString("busy");
    });
    for (int i = 0; i < 200; ++i) {
        Journal lines;
        LogSubscriber passing(lines, "", &faults);
        EXPECT_TRUE(lines.WaitFor("busy"));
    }
    stop = true;
    logger.join();
    EXPECT_EQ(0, faults.halfDestroyed.load());
    EXPECT_EQ(0, faults.overlapping.load());
}

} // namespace
