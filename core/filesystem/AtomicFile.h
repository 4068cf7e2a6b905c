#ifndef CORE_FILESYSTEM_ATOMICFILE_H
#define CORE_FILESYSTEM_ATOMICFILE_H

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

namespace Vantor::Filesystem {

// Replaces a file as a whole or not at all, so that a full disk or a crash half-way through
// never leaves a cut or empty file where a good one was.
class AtomicFile {
public:
    // `write` fills a hidden temporary file beside `path` (it must neither flush nor close it)
    // and says whether it succeeded; the file is then flushed, synced and renamed over `path`.
    // On any failure the temporary file is removed, `path` is untouched, the failure is
    // logged and the result is false. An existing `path` that may not be written is left
    // alone (false) and its permission bits are carried over to the new file.
    static bool Replace(const std::string& path, const std::function<bool(FILE*)>& write);
    // Removes what saves of `path` that never ended (the process killed half-way) left beside
    // it: regular files of exactly the name Replace gives its temporary files, nothing else.
    // Only while no save of `path` runs.
    static void RemoveLeftovers(const std::string& path);

    AtomicFile() = delete;

private:
    // Where `path`'s name begins, and the hidden name of its temporary files without the six
    // characters mkstemp puts at the end: "<directory>/" and ".<name>.".
    static std::pair<std::string, std::string> TemporaryName(const std::string& path);
};

} // namespace Vantor::Filesystem

#endif
