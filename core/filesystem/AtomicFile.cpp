#include "core/filesystem/AtomicFile.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/DirectoryListing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace Vantor::Filesystem {

namespace {

// What mkstemp replaces with letters and digits.
const char kUniqueEnding[] = "XXXXXX";

// One of the characters mkstemp chooses from, whatever the locale.
bool IsUniqueCharacter(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool Fail(const std::string& path, const char* step, int error)
{
    Diagnostic::Debug::LogString("[RUQ] Failed to save " + path + " (" + step + "): " + std::strerror(error));
    return false;
}

// Makes the rename itself durable; a failure here does not undo a save that has happened.
void SyncDirectory(const std::string& directory)
{
    const int descriptor = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}

} // namespace

bool AtomicFile::Replace(const std::string& path, const std::function<bool(FILE*)>& write)
{
    struct stat existing;
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && access(path.c_str(), W_OK) != 0)
        return Fail(path, "not writable", errno);

    const auto [directory, name] = TemporaryName(path);
    std::string temporary = directory + name + kUniqueEnding;

    const int descriptor = mkstemp(&temporary[0]);
    if (descriptor < 0)
        return Fail(path, "create temporary file", errno);
    FILE* file = fdopen(descriptor, "wb");
    if (!file) {
        const int error = errno;
        close(descriptor);
        unlink(temporary.c_str());
        return Fail(path, "open temporary file", error);
    }

    errno = 0;
    const char* failedStep = nullptr;
    if (!write(file))
        failedStep = "write";
    else if (std::fflush(file) != 0)
        failedStep = "flush";
    else if (exists && fchmod(descriptor, existing.st_mode & 07777) != 0)
        failedStep = "permissions";
    else if (fsync(descriptor) != 0)
        failedStep = "sync";
    int error = errno;
    if (std::fclose(file) != 0 && !failedStep) {
        failedStep = "close";
        error = errno;
    }
    if (!failedStep && std::rename(temporary.c_str(), path.c_str()) != 0) {
        failedStep = "rename";
        error = errno;
    }
    if (failedStep) {
        unlink(temporary.c_str());
        return Fail(path, failedStep, error);
    }
    SyncDirectory(directory);
    return true;
}

void AtomicFile::RemoveLeftovers(const std::string& path)
{
    const auto [directory, name] = TemporaryName(path);
    const size_t length = name.size() + sizeof kUniqueEnding - 1;
    for (const DirectoryListing::Entry& entry : DirectoryListing::Of(directory.empty() ? "." : directory)) {
        const std::string& found = entry.name;
        if (S_ISREG(entry.status.st_mode) && found.size() == length && found.compare(0, name.size(), name) == 0 &&
            std::all_of(found.begin() + name.size(), found.end(), IsUniqueCharacter))
            unlink((directory + found).c_str());
    }
}

std::pair<std::string, std::string> AtomicFile::TemporaryName(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return {directory, "." + path.substr(directory.size()) + "."};
}

} // namespace Vantor::Filesystem
