#include "core/filesystem/FilesystemUtility.h"

#include "core/data/StringUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"

#include <boost/format.hpp>

#include <algorithm>

namespace Vantor::Filesystem {

using Data::StringUtility;

namespace {

const char kWhiteSpace[] = " \t\n\v\f\r";

// The length of the control character at `position`, 0 when none begins there: a byte below
// 0x20 or DEL, or one of U+0080 to U+009F, two bytes in UTF-8.
std::string::size_type ControlLength(const std::string& text, std::string::size_type position)
{
    const unsigned char c = static_cast<unsigned char>(text[position]);
    if (c < 0x20 || c == 0x7F)
        return 1;
    const unsigned char next = position + 1 < text.size() ? static_cast<unsigned char>(text[position + 1]) : 0;
    return c == 0xC2 && next >= 0x80 && next <= 0x9F ? 2 : 0;
}

void Trim(std::string& text)
{
    text.erase(text.find_last_not_of(kWhiteSpace) + 1);
    text.erase(0, text.find_first_not_of(kWhiteSpace));
}

// Cuts a trimmed name to at most `limit` bytes where a character ends, so that a UTF-8 name
// stays UTF-8, and takes off the blanks the cut may have left at its end.
void Shorten(std::string& name, std::string::size_type limit)
{
    name.resize(StringUtility::CharacterBoundary(name, limit));
    name.erase(name.find_last_not_of(kWhiteSpace) + 1);
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
    std::string replaced;
    replaced.reserve(text.size());
    for (std::string::size_type position = 0; position < text.size(); ++position) {
        const std::string::size_type control = ControlLength(text, position);
        if (control > 1)
            position += control - 1;
        replaced += control || invalid.find(text[position]) != std::string::npos ? replacement : text[position];
    }
    text.swap(replaced);
}

void FilesystemUtility::ReplaceNameChars(std::string& name)
{
    ReplaceInvalidPathChars(name);
    // A name beginning with a dot would be hidden, and could even be taken for a partial file
    // (whose names all begin with one) and deleted as such.
    if (!name.empty() && name[0] == '.')
        name[0] = InvalidCharReplacement();
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
        name = name.substr(0, StringUtility::CharacterBoundary(name, limit - extension.size())) + extension;
    }
    ReplaceNameChars(name);
    return name;
}

std::string FilesystemUtility::ValidateDirectory(std::string directory)
{
    std::vector<std::string> components;
    ExplodePath(directory, components);

    // Network paths keep their prefix instead of the root and get the long-path limit.
    std::string result = GetPathRoot();
    long long limit = static_cast<long long>(MaxDirectoryLength()) - 1;
    if (directory.compare(0, 2, "\\\\") == 0) {
        result = (directory.size() >= 4 && directory[2] == '?' && directory[3] == '\\') ? "\\\\?\\" : "\\\\";
        limit = 29999;
    }

    // Each name is measured as it will be written, cleaned, trimmed and cut to the limit of one
    // directory, so that only what is really too long is taken off.
    const std::string separator = DirectorySeparator();
    long long excess = static_cast<long long>(result.size()) - limit;
    for (std::string& component : components) {
        // Trimmed first: line breaks and tabs at either end go rather than become replacements.
        Trim(component);
        ReplaceNameChars(component);
        Shorten(component, MaxSubdirectoryLength() - 1);
        excess += static_cast<long long>(component.size() + separator.size());
    }
    // The deepest directories give up the rest first, each keeping at least its first character.
    for (auto component = components.rbegin(); excess > 0 && component != components.rend(); ++component) {
        const long long length = static_cast<long long>(component->size());
        const long long first = static_cast<long long>(StringUtility::CharacterEnd(*component, 0));
        Shorten(*component, static_cast<std::string::size_type>(std::max(length - excess, first)));
        excess -= length - static_cast<long long>(component->size());
    }

    for (const std::string& component : components)
        result += component + separator;
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
    const std::string directory = GetDirectory(path);
    const std::string name = GetFilename(path);
    const std::string::size_type limit = MaxFilenameLength();

    for (unsigned long long n = 1;; ++n) {
        const std::string suffix = (boost::format("(%d)") % n).str();
        const std::string extension = ExtensionToKeep(name, limit > suffix.size() ? limit - suffix.size() : 0);
        // A long name is cut, where a character ends, to make room for the number; a number too
        // long for the limit itself can only replace the whole name.
        std::string::size_type kept = name.size() - extension.size();
        if (name.size() + suffix.size() > limit)
            kept = limit > suffix.size() + extension.size() ? limit - suffix.size() - extension.size() : 0;
        const std::string candidate = directory + name.substr(0, StringUtility::CharacterBoundary(name, kept)) + suffix + extension;
        if (!FileExists(candidate.c_str()))
            return candidate;
    }
}

char FilesystemUtility::InvalidCharReplacement()
{
    return '_';
}

} // namespace Vantor::Filesystem
