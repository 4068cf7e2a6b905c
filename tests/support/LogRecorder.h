#ifndef TESTS_SUPPORT_LOGRECORDER_H
#define TESTS_SUPPORT_LOGRECORDER_H

#include "core/diagnostic/Debug.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace VantorTest {

// Keeps every line of the process-wide log while it lives; lines may come from any thread.
class LogRecorder : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    LogRecorder() { Vantor::Diagnostic::Debug::StringLoggedSignal().connect(this, &LogRecorder::OnLine); }
    ~LogRecorder() { disconnect_all(); }

    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }

    int Count(const std::string& line) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }

private:
    void OnLine(std::string line)
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    }

    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

} // namespace VantorTest

#endif
