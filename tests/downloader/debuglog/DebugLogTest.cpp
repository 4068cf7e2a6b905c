#include "downloader/app/DebugLog.h"

#include "core/diagnostic/Debug.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

using Vantor::DigitalMedia::MusicClient::Downloader::DebugLog;
using Vantor::Diagnostic::Debug;

namespace {

// Sets RUQ_DEBUG_LEVEL (or unsets it for a null value) for the object's lifetime.
class ScopedLevel {
public:
    explicit ScopedLevel(const char* value)
    {
        if (value)
            setenv("RUQ_DEBUG_LEVEL", value, 1);
        else
            unsetenv("RUQ_DEBUG_LEVEL");
    }
    ~ScopedLevel() { unsetenv("RUQ_DEBUG_LEVEL"); }
};

// A temporary HOME whose settings directory exists, as it does once the program runs.
class SettingsHome : public VantorTest::ScopedHome {
public:
    SettingsHome() { boost::filesystem::create_directories(File(".vantormp3")); }
    std::string LogPath() const { return File(".vantormp3/debug.txt"); }
};

// The logged text of a "[<ctime>] <text>" line; fails the test when the line has another form.
std::string TextOf(const std::string& line)
{
    // ctime's form without its line feed: "Wed Jun 30 21:49:08 1993", 24 characters.
    const size_t stampLength = 24;
    std::tm stamp = {};
    const bool framed = line.size() >= stampLength + 3 && line[0] == '[' &&
                        line.compare(stampLength + 1, 2, "] ") == 0;
    const char* end = framed ? strptime(line.c_str() + 1, "%a %b %e %H:%M:%S %Y", &stamp) : nullptr;
    EXPECT_TRUE(end == line.c_str() + 1 + stampLength) << line;
    return end == line.c_str() + 1 + stampLength ? line.substr(stampLength + 3) : std::string();
}

std::vector<std::string> LinesOf(const std::string& contents)
{
    std::vector<std::string> lines;
    std::istringstream stream(contents);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

// Only "verbose" writes; the file is appended to below 2 MiB and started afresh from there.
TEST(DebugLog, WritesOnlyWhenVerboseAppendingBelowTwoMebibytes)
{
    const long missing = -1;
    struct Case {
        const char* level;
        long existingSize;
        long keptSize; // of the old contents; `missing` when no file may be there
    };
    const Case cases[] = {{nullptr, missing, missing}, {"", missing, missing},      {"VERBOSE", missing, missing},
                          {"verbose", missing, 0},     {"verbose", 2097151, 2097151}, {"verbose", 2097152, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.level ? c.level : "(unset)") + " " + std::to_string(c.existingSize));
        SettingsHome home;
        ScopedLevel level(c.level);
        const std::string existing(c.existingSize == missing ? 0 : c.existingSize, 'o');
        if (c.existingSize != missing)
            VantorTest::WriteFile(home.LogPath(), existing);
        {
            DebugLog log;
            Debug::LogString("first line");
            Debug::LogString(std::string("two\nlines \xC3\xA4"));
        }
        Debug::LogString("after the log has gone");
        if (c.keptSize == missing) {
            EXPECT_FALSE(boost::filesystem::exists(home.LogPath()));
            continue;
        }
        const std::string contents = VantorTest::ReadFile(home.LogPath());
        ASSERT_EQ(0, contents.compare(0, c.keptSize, existing, 0, c.keptSize));
        const std::vector<std::string> lines = LinesOf(contents.substr(c.keptSize));
        ASSERT_EQ(3u, lines.size());
        EXPECT_EQ("first line", TextOf(lines[0]));
        EXPECT_EQ("two", TextOf(lines[1]));
        EXPECT_EQ("lines \xC3\xA4", lines[2]);
    }
}

// Threads go on logging while the log is built and taken down: every line that reaches the
// file is whole, and each thread's lines are there in its own order.
TEST(DebugLog, LinesFromSeveralThreadsStayWholeWhileTheLogComesAndGoes)
{
    SettingsHome home;
    ScopedLevel level("verbose");
    auto log = std::make_unique<DebugLog>();

    const int threads = 4;
    const int linesBefore = 100;
    const int lines = 300;
    const std::string padding(300, '.');
    std::mutex mutex;
    std::condition_variable progressed;
    int halfway = 0;
    std::vector<std::thread> loggers;
    for (int t = 0; t < threads; ++t) {
        loggers.emplace_back([&, t] {
            for (int i = 0; i < lines; ++i) {
                Debug::LogString("thread " + std::to_string(t) + " line " + std::to_string(i) + " " + padding);
                if (i == linesBefore - 1) {
                    std::lock_guard<std::mutex> lock(mutex);
                    ++halfway;
                    progressed.notify_all();
                }
            }
        });
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        EXPECT_TRUE(progressed.wait_for(lock, VantorTest::kWaitLimit, [&] { return halfway == threads; }));
    }
    log.reset();
    for (std::thread& logger : loggers)
        logger.join();

    std::vector<int> next(threads, 0);
    for (const std::string& line : LinesOf(VantorTest::ReadFile(home.LogPath()))) {
        int t = -1;
        int i = -1;
        char rest[400] = "";
        ASSERT_EQ(3, std::sscanf(TextOf(line).c_str(), "thread %d line %d %399s", &t, &i, rest)) << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        EXPECT_EQ(next[t], i) << line;
        EXPECT_EQ(padding, rest);
        next[t] = i + 1;
    }
    for (int t = 0; t < threads; ++t)
        EXPECT_GE(next[t], linesBefore);
}
