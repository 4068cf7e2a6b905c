#ifndef TESTS_SUPPORT_LOGRECORDER_H
#define TESTS_SUPPORT_LOGRECORDER_H

#include "core/sigslot/sigslot.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace VantorTest {

// Keeps every line of the program's log from its construction on, from any thread.
class LogRecorder : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    LogRecorder();
    ~LogRecorder() override;

    std::vector<std::string> Lines() const;
    // Lines that contain `text`.
    std::vector<std::string> LinesContaining(const std::string& text) const;
    // Waits until a line containing `text` was logged; false when `timeout` passed first.
    bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout) const;

    void OnLine(std::string line);

private:
    mutable std::mutex mutex;
    mutable std::condition_variable logged;
    std::vector<std::string> lines;
};

} // namespace VantorTest

#endif
