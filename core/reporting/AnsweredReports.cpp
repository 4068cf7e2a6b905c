#include "core/reporting/AnsweredReports.h"

#include "core/diagnostic/Debug.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace Vantor::Reporting {

void AnsweredReports::Open(const std::string& file)
{
    boost::mutex::scoped_lock lock(mutex);
    path = file;
    std::ifstream in(path);
    for (std::string id; std::getline(in, id);)
        if (!id.empty())
            earlier.insert(id);
    noted = earlier;
}

bool AnsweredReports::AnsweredBefore(const std::string& id) const
{
    boost::mutex::scoped_lock lock(mutex);
    return !id.empty() && earlier.count(id) != 0;
}

void AnsweredReports::Note(const std::string& id)
{
    boost::mutex::scoped_lock lock(mutex);
    if (path.empty() || id.empty())
        return;
    const std::string line = id + "\n";
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    const bool written = descriptor >= 0 && write(descriptor, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
                         fsync(descriptor) == 0;
    if (descriptor >= 0)
        close(descriptor);
    if (!written)
        Diagnostic::Debug::LogString("ReportService: couldn't note an answered report in " + path);
    noted.insert(id);
}

void AnsweredReports::SaveLanded(const std::set<std::string>& held)
{
    boost::mutex::scoped_lock lock(mutex);
    if (path.empty() || noted.empty() ||
        std::any_of(noted.begin(), noted.end(), [&held](const std::string& id) { return held.count(id) != 0; }))
        return;
    if (truncate(path.c_str(), 0) != 0 && errno != ENOENT)
        Diagnostic::Debug::LogString("ReportService: couldn't empty " + path);
    noted.clear();
}

} // namespace Vantor::Reporting
