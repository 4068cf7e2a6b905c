#ifndef CORE_FILESYSTEM_LINUXFILESYSTEMUTILITY_H
#define CORE_FILESYSTEM_LINUXFILESYSTEMUTILITY_H

#include "core/filesystem/FilesystemUtility.h"

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The file system as Linux has it, and the per-user directories under HOME: the settings
// directory ".vantormp3/", its "temp/" and the music directory the downloads go to.
class LinuxFilesystemUtility : public Filesystem::FilesystemUtility {
public:
    unsigned int MaxDirectoryLength() override;
    unsigned int MaxSubdirectoryLength() override;
    std::string DirectorySeparator() override;
    std::string GetSpecialDirectory(SpecialDirectory which) override;
    bool CreateDirectory(const char* path) override;
    // True for any existing path, a plain file included.
    bool DirectoryExists(const char* path) override;
    unsigned int MaxFilenameLength() override;
    // ".vlx(N).tmp": hidden, numbered from 1, the first number at which nothing is, not even a
    // link (GetUniqueFilename).
    std::string GetTemporaryFilename(const char* directory) override;
    bool IsTemporaryFilename(const std::string& name) override;
    bool FileExists(const char* path) override;
    bool RenameFile(const char* from, const char* to) override;
    bool LinkFile(const char* from, const char* to, const FileIdentity& expected) override;
    bool DeleteFile(const char* path) override;
    bool DeleteFileWithoutLinks(const char* path, unsigned folders) override;
    std::string GetPathRoot() override;
    unsigned long long GetFreeSpaceInBytes(const char* path) override;
    std::string InvalidPathChars() override;

    // Makes each missing directory of `path` (always taken as absolute) with mode 0750.
    bool RecursiveCreateDir(const char* path);

    // HOME with a "/" appended. Without HOME the process ends with status 255.
    std::string GetHomeDirectory();
    std::string GetSettingsDirectory();
    // The DownloadDirectory preference when it exists or can be made, else "Vantor MP3/"
    // under "Music/" (when that exists) or under the home directory.
    std::string GetMusicDirectory();
    std::string GetTempDirectory();

private:
    // Makes the directory of `path` when it is missing; false when it can't be made.
    bool MakeDirectoryOf(const char* path);
    // Where links can't be made: renames `from` to the free name `to` and makes an empty file at
    // `from`, which stays taken.
    bool MoveKeepingTheName(const char* from, const char* to);
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
