#include "core/filesystem/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Vantor::Filesystem {

int RegularFile::Open(const std::string& path, int flags, mode_t mode)
{
    const int descriptor = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (descriptor == -1)
        return -1;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        errno = EINVAL;
        return -1;
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return descriptor;
}

bool RegularFile::HasOneName(int descriptor, FilesystemUtility::FileIdentity& identity)
{
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1)
        return false;
    identity = {status.st_dev, status.st_ino};
    return true;
}

FILE* RegularFile::OpenStream(const std::string& path, int flags, const char* streamMode, mode_t mode)
{
    const int descriptor = Open(path, flags, mode);
    FILE* file = descriptor == -1 ? nullptr : fdopen(descriptor, streamMode);
    if (!file && descriptor != -1) {
        const int error = errno;
        close(descriptor);
        errno = error;
    }
    return file;
}

} // namespace Vantor::Filesystem
