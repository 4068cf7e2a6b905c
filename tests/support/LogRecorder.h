#ifndef TESTS_SUPPORT_LOGRECORDER_H
#define TESTS_SUPPORT_LOGRECORDER_H

#include "tests/support/LogSubscriber.h"
#include "tests/support/ThreadSync.h"

#include <algorithm>
#include <string>
#include <vector>

namespace VantorTest {

// Keeps every line of the program's log from its construction on, from any thread.
class LogRecorder {
public:
    std::vector<std::string> Lines() const { return journal.Entries(); }

    // Lines that contain `text`.
    std::vector<std::string> LinesContaining(const std::string& text) const
    {
        std::vector<std::string> found;
        for (const std::string& line : Lines())
            if (line.find(text) != std::string::npos)
                found.push_back(line);
        return found;
    }

    // Waits until a line containing `text` was logged; false when the wait limit ran out.
    bool WaitForLine(const std::string& text) const
    {
        return journal.WaitUntil([&](const std::vector<std::string>& lines) {
            return std::any_of(lines.begin(), lines.end(),
                               [&](const std::string& line) { return line.find(text) != std::string::npos; });
        });
    }

private:
    mutable Journal journal;
    LogSubscriber subscriber{journal};
};

} // namespace VantorTest

#endif
