#include "core/filesystem/UnreadableFile.h"

#include "core/diagnostic/Debug.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Vantor::Filesystem {

namespace {

const char kSuffix[] = ".unreadable";
// Far more than anyone keeps; the bound only keeps a file system that answers oddly from
// holding the program here.
const int kMostKept = 1000;

// Moves `from` to `to` unless `to` exists; 0, or the error.
int MoveUnlessTaken(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system that can't refuse in the rename itself: a second name, which is never made
    // over an existing one, then the first goes.
    if (link(from.c_str(), to.c_str()) != 0)
        return errno;
    unlink(from.c_str());
    return 0;
}

} // namespace

std::string UnreadableFile::KeepAside(const std::string& path)
{
    int error = EEXIST;
    for (int number = 1; number <= kMostKept && error == EEXIST; ++number) {
        const std::string kept = path + kSuffix + (number == 1 ? "" : "." + std::to_string(number));
        error = MoveUnlessTaken(path, kept);
        if (error == 0)
            return kept;
    }
    Diagnostic::Debug::LogString("Couldn't keep " + path + " aside: " + std::strerror(error));
    return std::string();
}

} // namespace Vantor::Filesystem
