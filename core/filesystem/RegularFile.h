#ifndef CORE_FILESYSTEM_REGULARFILE_H
#define CORE_FILESYSTEM_REGULARFILE_H

#include "core/filesystem/FilesystemUtility.h"

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace Vantor::Filesystem {

// Opens a path only when it is a regular file, and never waits for it: a FIFO opened the usual
// way blocks until someone opens its other end, and the program with it. The program's own
// files in its settings folder are opened with O_NOFOLLOW as well: a link there (another user's
// trap in a shared home, or a mistake) is refused, so nothing outside the folder is read,
// created, appended to or emptied through it.
class RegularFile {
public:
    // open(2) with `flags` (and `mode` when it creates), close-on-exec; the descriptor, blocking
    // as usual once open. -1 with errno when the open fails (ELOOP: a link, with O_NOFOLLOW) or
    // what is there is not a regular file (EINVAL).
    static int Open(const std::string& path, int flags, mode_t mode = 0600);
    // The same as a stream in `streamMode` (fdopen's); null with errno when it fails.
    static FILE* OpenStream(const std::string& path, int flags, const char* streamMode, mode_t mode = 0600);
    // Whether the open `descriptor` is a regular file with no name but the one it was opened by
    // (through another, writing it would change a file someone else named); `identity` then
    // tells which file it is.
    static bool HasOneName(int descriptor, FilesystemUtility::FileIdentity& identity);

    RegularFile() = delete;
};

} // namespace Vantor::Filesystem

#endif
