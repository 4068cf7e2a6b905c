#ifndef CORE_FILESYSTEM_FILESYSTEMUTILITY_H
#define CORE_FILESYSTEM_FILESYSTEMUTILITY_H

#include "core/filesystem/invalid_path_exception.h"

#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace Vantor::Filesystem {

// The program's one view of the file system. The path rules (splitting, extensions, unique
// names, cleaning and shortening names that come from track metadata) are written here once;
// the platform supplies its limits, characters and the operations that touch the disk.
// Instances hold no state and are interchangeable.
class FilesystemUtility {
public:
    enum SpecialDirectory : int { SettingsDirectory = 1, MusicDirectory = 2, TempDirectory = 3 };

    // What tells one file from another whatever names it has.
    struct FileIdentity {
        unsigned long long device = 0;
        unsigned long long inode = 0;
        bool operator==(const FileIdentity& other) const { return device == other.device && inode == other.inode; }
    };

    // A new instance of the platform's implementation.
    static boost::shared_ptr<FilesystemUtility> NewInstance();

    virtual ~FilesystemUtility();

    virtual unsigned int MaxDirectoryLength() = 0;
    virtual unsigned int MaxSubdirectoryLength() = 0;
    virtual std::string DirectorySeparator() = 0;
    // Ends with the separator. Throws std::exception for an unknown value.
    virtual std::string GetSpecialDirectory(SpecialDirectory which) = 0;
    // Creates every missing directory of `path`.
    virtual bool CreateDirectory(const char* path) = 0;
    virtual bool DirectoryExists(const char* path) = 0;
    // Everything up to and including the last separator; throws invalid_path_exception
    // when there is none.
    virtual std::string GetDirectory(const std::string& path);
    virtual unsigned int MaxFilenameLength() = 0;
    // A free name for a partial download in `directory` (which ends with the separator).
    virtual std::string GetTemporaryFilename(const char* directory) = 0;
    // Whether a file name (without its directory) is of the form GetTemporaryFilename gives.
    virtual bool IsTemporaryFilename(const std::string& name) = 0;
    // Something is at `path`, a link too, even one that leads nowhere: the name is taken.
    virtual bool FileExists(const char* path) = 0;
    // Creates the target's directory first when it is missing.
    virtual bool RenameFile(const char* from, const char* to) = 0;
    // Gives the file at `from` the free name `to` as well (creating the target's directory
    // first), only while `from` leads, not through a link, to the regular file `expected` and that
    // file has no other name: the file found there is the one linked, so nothing swapped in at
    // `from` meanwhile gets the name. `from` stays taken, by a second link to the file or, on a
    // file system without them, by an empty file made there once the file has moved to `to`. An
    // existing `to` is never replaced.
    virtual bool LinkFile(const char* from, const char* to, const FileIdentity& expected) = 0;
    virtual bool DeleteFile(const char* path) = 0;
    // Deletes the regular file at `path`, reached through the last `folders` folders above it
    // without following a link: false, with nothing deleted, when one of them or the file itself
    // is a link, so that no link put on the way leads the deletion elsewhere.
    virtual bool DeleteFileWithoutLinks(const char* path, unsigned folders) = 0;
    // Everything after the last separator; throws invalid_path_exception when there is none.
    virtual std::string GetFilename(const std::string& path);
    virtual std::string GetPathRoot() = 0;
    // Space available to unprivileged users; all bits set when it can't be determined.
    virtual unsigned long long GetFreeSpaceInBytes(const char* path) = 0;
    // Appends the non-empty components of `path` to `parts`.
    virtual void ExplodePath(const std::string& path, std::vector<std::string>& parts);
    // The text after the last dot of the file name, without the dot; empty when there is none.
    virtual std::string GetFileExtension(const std::string& path);
    // The directory and the name made valid; with `unique`, a free name when the file exists.
    virtual std::string ValidatePath(const std::string& path, bool unique);
    // A rooted directory, ending with the separator, that fits the limits: components trimmed,
    // their invalid characters and a leading dot replaced, and shortened (the deepest first, each
    // keeping at least one character). Throws invalid_path_exception when it can't be made short
    // enough.
    virtual std::string ValidateDirectory(std::string directory);
    // A name cut to the limit (keeping its extension) with invalid characters and a leading dot
    // replaced.
    virtual std::string ValidateFilename(std::string name);
    // The first of name(1).ext, name(2).ext, ... that does not exist; never `path` itself.
    virtual std::string GetUniqueFilename(const std::string& path);
    virtual std::string InvalidPathChars() = 0;
    virtual char InvalidCharReplacement();

    // Replaces each invalid character, and each control character (line breaks, tabs, ESC, DEL,
    // and U+0080 to U+009F in UTF-8), in place: one replacement for each.
    void ReplaceInvalidPathChars(std::string& text);

private:
    // ReplaceInvalidPathChars, and a leading dot replaced as well.
    void ReplaceNameChars(std::string& name);
    // The extension as it is put back after a cut name: with its dot when it is longer than
    // one character. Empty when it would not fit into `room` characters.
    std::string ExtensionToKeep(const std::string& name, std::string::size_type room);
};

} // namespace Vantor::Filesystem

#endif
