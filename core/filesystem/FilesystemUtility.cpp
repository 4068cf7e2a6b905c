#include "core/filesystem/FilesystemUtility.h"

#include "core/filesystem/LinuxFilesystemUtility.h"

#include <boost/format.hpp>

namespace Vantor::Filesystem {

namespace {

const char kWhiteSpace[] = " \t\n\v\f\r";
const char kControlSubstitute = 0x1A;

void Trim(std::string& text)
{
    text.erase(text.find_last_not_of(kWhiteSpace) + 1);
    text.erase(0, text.find_first_not_of(kWhiteSpace));
}

} // namespace

boost::shared_ptr<FilesystemUtility> FilesystemUtility::NewInstance()
{
    return boost::shared_ptr<FilesystemUtility>(new DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility());
}

FilesystemUtility::~FilesystemUtility() {}

std::string FilesystemUtility::GetDirectory(const std::string& path)
{
    const std::string::size_type separator = path.rfind(DirectorySeparator());
    if (separator == std::string::npos)
        throw invalid_path_exception();
    return path.substr(0, separator + DirectorySeparator().size());
}

std::string FilesystemUtility::GetFilename(const std::string& path)
{
    const std::string::size_type separator = path.rfind(DirectorySeparator());
    if (separator == std::string::npos)
        throw invalid_path_exception();
    return path.substr(separator + DirectorySeparator().size());
}

void FilesystemUtility::ExplodePath(const std::string& path, std::vector<std::string>& parts)
{
    const std::string separator = DirectorySeparator();
    std::string::size_type position = 0;
    while (position < path.size()) {
        std::string::size_type next = path.find(separator, position);
        if (next == std::string::npos)
            next = path.size();
        if (next > position)
            parts.push_back(path.substr(position, next - position));
        position = next + separator.size();
    }
}

std::string FilesystemUtility::GetFileExtension(const std::string& path)
{
    const std::string::size_type dot = path.rfind('.');
    if (dot == std::string::npos)
        return std::string();
    const std::string::size_type separator = path.rfind(DirectorySeparator());
    if (separator != std::string::npos && dot < separator)
        return std::string();
    return path.substr(dot + 1);
}

void FilesystemUtility::ReplaceInvalidPathChars(std::string& text)
{
    const std::string invalid = InvalidPathChars();
    if (invalid.empty())
        return;
    const char replacement = InvalidCharReplacement();
    for (char& c : text) {
        if (c == kControlSubstitute || invalid.find(c) != std::string::npos)
            c = replacement;
    }
}

std::string FilesystemUtility::ExtensionToKeep(const std::string& name, std::string::size_type room)
{
    std::string extension = GetFileExtension(name);
    if (extension.size() > 1)
        extension.insert(0, ".");
    // An extension that leaves no room for the name is given up rather than cutting into
    // what lies before the name.
    return extension.size() <= room ? extension : std::string();
}

std::string FilesystemUtility::ValidateFilename(std::string name)
{
    const std::string::size_type limit = MaxFilenameLength();
    if (name.size() > limit) {
        const std::string extension = ExtensionToKeep(name, limit);
        name = name.substr(0, limit - extension.size()) + extension;
    }
    ReplaceInvalidPathChars(name);
    return name;
}

std::string FilesystemUtility::ValidateDirectory(std::string directory)
{
    long long limit = static_cast<long long>(MaxDirectoryLength()) - 1;
    long long excess = static_cast<long long>(directory.size()) - limit;

    std::vector<std::string> components;
    ExplodePath(directory, components);

    // Network paths keep their prefix instead of the root and get the long-path limit.
    std::string prefix;
    if (directory.compare(0, 2, "\\\\") == 0) {
        prefix = (directory.size() >= 4 && directory[2] == '?' && directory[3] == '\\') ? "\\\\?\\" : "\\\\";
        limit = 29999;
        excess = static_cast<long long>(directory.size() + prefix.size()) - limit;
    }

    const std::string::size_type componentLimit = MaxSubdirectoryLength() - 1;
    for (auto component = components.rbegin(); component != components.rend(); ++component) {
        if (component->size() > componentLimit)
            component->resize(componentLimit);
        ReplaceInvalidPathChars(*component);
        if (excess > 0) {
            const long long length = static_cast<long long>(component->size());
            if (length > excess) {
                component->resize(length - excess);
                excess = 0;
            } else if (length > 1) {
                component->resize(1);
                excess -= length - 1;
            }
        }
        Trim(*component);
    }

    std::string result = prefix.empty() ? GetPathRoot() : prefix;
    for (const std::string& component : components)
        result += component + DirectorySeparator();

    if (static_cast<long long>(result.size()) > limit)
        throw invalid_path_exception();
    return result;
}

std::string FilesystemUtility::ValidatePath(const std::string& path, bool unique)
{
    const std::string directory = ValidateDirectory(GetDirectory(path));
    const std::string name = ValidateFilename(GetFilename(path));
    std::string result = directory + name;
    if (!name.empty() && unique && FileExists(result.c_str()))
        result = GetUniqueFilename(result);
    return result;
}

std::string FilesystemUtility::GetUniqueFilename(const std::string& path)
{
    GetDirectory(path);
    const std::string name = GetFilename(path);
    const std::string::size_type limit = MaxFilenameLength();

    for (unsigned long long n = 1;; ++n) {
        const std::string suffix = (boost::format("(%d)") % n).str();
        const std::string extension = ExtensionToKeep(name, limit > suffix.size() ? limit - suffix.size() : 0);
        std::string::size_type cut = extension.size();
        if (name.size() + suffix.size() > limit)
            cut = name.size() + suffix.size() + extension.size() - limit;
        // A number too long for the limit itself can only replace the whole name.
        if (cut > name.size())
            cut = name.size();
        const std::string candidate = path.substr(0, path.size() - cut) + suffix + extension;
        if (!FileExists(candidate.c_str()))
            return candidate;
    }
}

char FilesystemUtility::InvalidCharReplacement()
{
    return '_';
}

} // namespace Vantor::Filesystem
