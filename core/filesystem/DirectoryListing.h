#ifndef CORE_FILESYSTEM_DIRECTORYLISTING_H
#define CORE_FILESYSTEM_DIRECTORYLISTING_H

#include <sys/stat.h>

#include <string>
#include <vector>

namespace Vantor::Filesystem {

// The entries of one directory with what lstat says of each: a symbolic link is seen as the
// link, never followed, so that nothing acting on the list reaches outside the directory.
class DirectoryListing {
public:
    struct Entry {
        std::string name;
        struct stat status;
    };

    // "." and ".." left out; empty when the directory can't be read. Entries that vanish
    // while it is read are left out too.
    static std::vector<Entry> Of(const std::string& directory);

    DirectoryListing() = delete;
};

} // namespace Vantor::Filesystem

#endif
