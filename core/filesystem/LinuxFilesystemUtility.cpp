#include "core/filesystem/LinuxFilesystemUtility.h"

#include "core/data/StringUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/filesystem/RegularFile.h"
#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const char kSettingsFolder[] = ".vantormp3/";
const char kTempFolder[] = "temp/";
const char kMusicFolder[] = "Music/";
const char kProgramMusicFolder[] = "Vantor MP3/";
// GetUniqueFilename puts the number between the two: ".vlx(1).tmp".
const char kTemporaryStem[] = ".vlx";
const char kTemporaryExtension[] = ".tmp";
const mode_t kDirectoryMode = 0750;

// Renames `from` to `to` unless something is at `to`.
bool RenameUnlessTaken(const char* from, const char* to)
{
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system that can't refuse in the rename itself: only a name where nothing is, not
    // even a link, is taken.
    struct stat status;
    return lstat(to, &status) != 0 && errno == ENOENT && rename(from, to) == 0;
}

} // namespace

unsigned int LinuxFilesystemUtility::MaxDirectoryLength()
{
    return 4096 - MaxFilenameLength();
}

unsigned int LinuxFilesystemUtility::MaxSubdirectoryLength()
{
    return 255;
}

std::string LinuxFilesystemUtility::DirectorySeparator()
{
    return "/";
}

std::string LinuxFilesystemUtility::GetSpecialDirectory(SpecialDirectory which)
{
    switch (which) {
    case SettingsDirectory:
        return GetSettingsDirectory();
    case MusicDirectory:
        return GetMusicDirectory();
    case TempDirectory:
        return GetTempDirectory();
    }
    throw std::exception();
}

bool LinuxFilesystemUtility::CreateDirectory(const char* path)
{
    return RecursiveCreateDir(path);
}

bool LinuxFilesystemUtility::DirectoryExists(const char* path)
{
    return access(path, F_OK) == 0;
}

unsigned int LinuxFilesystemUtility::MaxFilenameLength()
{
    return 255;
}

std::string LinuxFilesystemUtility::GetTemporaryFilename(const char* directory)
{
    return GetUniqueFilename(std::string(directory) + kTemporaryStem + kTemporaryExtension);
}

bool LinuxFilesystemUtility::IsTemporaryFilename(const std::string& name)
{
    const std::string prefix = std::string(kTemporaryStem) + "(";
    const std::string suffix = std::string(")") + kTemporaryExtension;
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    return Data::StringUtility::IsNumeric(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

bool LinuxFilesystemUtility::FileExists(const char* path)
{
    // A link that leads nowhere still takes its name: access() would follow it and find nothing,
    // and a new file would then be made at its target, or fail to get the name.
    struct stat status;
    return lstat(path, &status) == 0;
}

bool LinuxFilesystemUtility::RenameFile(const char* from, const char* to)
{
    return MakeDirectoryOf(to) && rename(from, to) == 0;
}

bool LinuxFilesystemUtility::LinkFile(const char* from, const char* to, const FileIdentity& expected)
{
    if (!MakeDirectoryOf(to))
        return false;
    // Opened without following a link, looked at, and then this very file is linked through the
    // descriptor: whatever is put at `from` once it was looked at can't take its place.
    const int descriptor = Filesystem::RegularFile::Open(from, O_RDONLY | O_NOFOLLOW);
    if (descriptor < 0)
        return false;
    FileIdentity found;
    bool linked = Filesystem::RegularFile::HasOneName(descriptor, found) && found == expected;
    if (linked) {
        const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
        linked = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to, AT_SYMLINK_FOLLOW) == 0;
        // Any other answer than a taken name may mean links are not possible here (file systems
        // answer ENOSYS, EOPNOTSUPP, EPERM, EXDEV, EMLINK, ...; without /proc, ENOENT): the
        // rename, which every one has, decides.
        if (!linked && errno != EEXIST)
            linked = MoveKeepingTheName(from, to);
    }
    close(descriptor);
    return linked;
}

bool LinuxFilesystemUtility::MoveKeepingTheName(const char* from, const char* to)
{
    if (!RenameUnlessTaken(from, to))
        return false;
    const int placeholder = open(from, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (placeholder < 0)
        Diagnostic::Debug::LogString("Unable to keep the name of a moved file taken: " + std::string(from));
    else
        close(placeholder);
    return true;
}

bool LinuxFilesystemUtility::MakeDirectoryOf(const char* path)
{
    const std::string directory = GetDirectory(path);
    return DirectoryExists(directory.c_str()) || CreateDirectory(directory.c_str());
}

bool LinuxFilesystemUtility::DeleteFile(const char* path)
{
    return remove(path) == 0;
}

bool LinuxFilesystemUtility::DeleteFileWithoutLinks(const char* path, unsigned folders)
{
    std::vector<std::string> components;
    ExplodePath(path, components);
    if (components.size() <= folders)
        return false;
    const size_t file = components.size() - 1, first = file - folders;
    std::string start = "/";
    for (size_t i = 0; i < first; ++i)
        start += components[i] + "/";
    int folder = open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = first; folder >= 0 && i < file; ++i) {
        const int next = openat(folder, components[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(folder);
        folder = next;
    }
    if (folder < 0)
        return false;
    // Looked at and deleted in the folder held open: a link put at the name meanwhile would be
    // deleted itself, never what it leads to.
    struct stat status;
    const bool deleted = fstatat(folder, components[file].c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(status.st_mode) && unlinkat(folder, components[file].c_str(), 0) == 0;
    close(folder);
    return deleted;
}

std::string LinuxFilesystemUtility::GetPathRoot()
{
    return "/";
}

unsigned long long LinuxFilesystemUtility::GetFreeSpaceInBytes(const char* path)
{
    struct statfs info = {};
    if (statfs(path, &info) != 0)
        return ULLONG_MAX;
    return static_cast<unsigned long long>(info.f_bsize) * static_cast<unsigned long long>(info.f_bavail);
}

std::string LinuxFilesystemUtility::InvalidPathChars()
{
    return "\\:*?\"<>|/";
}

bool LinuxFilesystemUtility::RecursiveCreateDir(const char* path)
{
    std::vector<std::string> components;
    ExplodePath(path, components);
    std::string partial = "/";
    for (const std::string& component : components) {
        partial += component + "/";
        // Another thread may make the same directory at the same moment; what exists is fine.
        if (!DirectoryExists(partial.c_str()) && mkdir(partial.c_str(), kDirectoryMode) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

std::string LinuxFilesystemUtility::GetHomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (!home) {
        Diagnostic::Debug::LogString("[RUQ] (*CRITICAL*) Failed to determine user's home directory. Aborting");
        std::exit(-1);
    }
    return std::string(home) + "/";
}

std::string LinuxFilesystemUtility::GetSettingsDirectory()
{
    return GetHomeDirectory() + kSettingsFolder;
}

std::string LinuxFilesystemUtility::GetTempDirectory()
{
    return GetSettingsDirectory() + kTempFolder;
}

std::string LinuxFilesystemUtility::GetMusicDirectory()
{
    std::string preferred = Utility::Preferences()->GetString(PreferencesKeys::DownloadDirectory, "");
    if (!preferred.empty()) {
        if (preferred.back() != '/')
            preferred += "/";
        if (!DirectoryExists(preferred.c_str()))
            CreateDirectory(preferred.c_str());
        if (DirectoryExists(preferred.c_str()))
            return preferred;
    }

    const std::string home = GetHomeDirectory();
    std::string music = home + kMusicFolder;
    music = DirectoryExists(music.c_str()) ? music + kProgramMusicFolder : home + kProgramMusicFolder;
    if (!DirectoryExists(music.c_str()))
        CreateDirectory(music.c_str());
    return music;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
