#include "core/reporting/AnsweredReports.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/RegularFile.h"

#include <boost/iostreams/device/file_descriptor.hpp>
#include <boost/iostreams/stream.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace Vantor::Reporting {

namespace io = boost::iostreams;

void AnsweredReports::Open(const std::string& file)
{
    boost::mutex::scoped_lock lock(mutex);
    path = file;
    // Never through a link: an outside file's lines would pass for answered reports.
    const int descriptor = Filesystem::RegularFile::Open(path, O_RDONLY | O_NOFOLLOW);
    if (descriptor == -1 && errno != ENOENT)
        Diagnostic::Debug::LogString("ReportService: couldn't read " + path);
    if (descriptor != -1) {
        io::stream<io::file_descriptor_source> in(descriptor, io::close_handle);
        for (std::string id; std::getline(in, id);)
            if (!id.empty())
                earlier.insert(id);
    }
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
    const int descriptor = Filesystem::RegularFile::Open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW);
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
    // Emptied through its own descriptor: truncating the path would empty a link's target.
    const int descriptor = Filesystem::RegularFile::Open(path, O_WRONLY | O_NOFOLLOW);
    if ((descriptor == -1 && errno != ENOENT) || (descriptor != -1 && ftruncate(descriptor, 0) != 0))
        Diagnostic::Debug::LogString("ReportService: couldn't empty " + path);
    if (descriptor != -1)
        close(descriptor);
    noted.clear();
}

} // namespace Vantor::Reporting
