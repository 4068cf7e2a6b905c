#include "core/filesystem/DirectoryListing.h"

#include <dirent.h>
#include <fcntl.h>

#include <cstring>

namespace Vantor::Filesystem {

std::vector<DirectoryListing::Entry> DirectoryListing::Of(const std::string& directory)
{
    std::vector<Entry> entries;
    DIR* folder = opendir(directory.c_str());
    if (!folder)
        return entries;
    while (const dirent* found = readdir(folder)) {
        if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0)
            continue;
        Entry entry;
        entry.name = found->d_name;
        if (fstatat(dirfd(folder), found->d_name, &entry.status, AT_SYMLINK_NOFOLLOW) == 0)
            entries.push_back(entry);
    }
    closedir(folder);
    return entries;
}

} // namespace Vantor::Filesystem
