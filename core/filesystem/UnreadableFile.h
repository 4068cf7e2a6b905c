#ifndef CORE_FILESYSTEM_UNREADABLEFILE_H
#define CORE_FILESYSTEM_UNREADABLEFILE_H

#include <string>

namespace Vantor::Filesystem {

// A file of the program's own that it can't read any more (cut short, garbled). Read as empty
// it would be replaced by the next save and what it held lost without a word: it is moved
// aside instead, where the user or support can still get at it.
class UnreadableFile {
public:
    // Renames `path` to the first free one of "<path>.unreadable", "<path>.unreadable.2",
    // "<path>.unreadable.3" and on; a copy kept before is never replaced, also not by another
    // process doing the same at once. Returns the new name; empty, logged, when the file could
    // not be moved.
    static std::string KeepAside(const std::string& path);

    UnreadableFile() = delete;
};

} // namespace Vantor::Filesystem

#endif
