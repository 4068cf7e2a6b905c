#include "tests/support/LogRecorder.h"

#include "core/diagnostic/Debug.h"

namespace VantorTest {

LogRecorder::LogRecorder()
{
    Vantor::Diagnostic::Debug::StringLoggedSignal().connect(this, &LogRecorder::OnLine);
}

LogRecorder::~LogRecorder()
{
    disconnect_all();
}

void LogRecorder::OnLine(std::string line)
{
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
    logged.notify_all();
}

std::vector<std::string> LogRecorder::Lines() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
}

std::vector<std::string> LogRecorder::LinesContaining(const std::string& text) const
{
    std::vector<std::string> found;
    for (const std::string& line : Lines())
        if (line.find(text) != std::string::npos)
            found.push_back(line);
    return found;
}

bool LogRecorder::WaitForLine(const std::string& text, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return logged.wait_for(lock, timeout, [&] {
        for (const std::string& line : lines)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    });
}

} // namespace VantorTest
