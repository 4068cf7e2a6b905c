// Where a downloaded file lives: the album folder under the music folder and the file's
// name from its disc and track numbers, its title and the extension of its address. Only
// the parts that come from metadata are cleaned; the music folder is taken as it is.
#include "downloader/model/DownloadModelDownload.h"

#include "core/data/StringUtility.h"
#include "core/filesystem/FilesystemUtility.h"
#include "downloader/model/DownloadModelTrack.h"

#include <boost/algorithm/string/trim.hpp>
#include <boost/format.hpp>

#include <cstdlib>
#include <locale>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Filesystem::FilesystemUtility;
using Vantor::Filesystem::invalid_path_exception;

namespace {

typedef DownloadModel::Track::MetadataKey TrackKey;

// "." and ".." would climb out of the music folder, and a component of only blanks would
// vanish: such a name is replaced character by character, like invalid characters. (Tabs and
// line breaks are replaced before, as control characters.)
void ReplaceDotsAndBlanksOnly(FilesystemUtility& fs, std::string& component)
{
    if (component.empty() || component.find_first_not_of(". ") != std::string::npos)
        return;
    component.assign(component.size(), fs.InvalidCharReplacement());
}

// A metadata value made safe as a name or a part of one; "Unknown <key>" when it is empty.
std::string SafeName(FilesystemUtility& fs, std::string value, const char* key)
{
    fs.ReplaceInvalidPathChars(value);
    ReplaceDotsAndBlanksOnly(fs, value);
    return value.empty() ? std::string("Unknown ") + key : value;
}

long LeadingNumber(const std::string& text)
{
    return std::strtol(Vantor::Data::StringUtility::MakeUTF8(text).c_str(), nullptr, 10);
}

} // namespace

std::string DownloadModel::Download::FormatMetadataForFilename(const char* key) const
{
    return SafeName(model.GetFilesystem(), track->GetMetadataValue(key), key);
}

std::string DownloadModel::Download::GetOutputDirectory() const
{
    FilesystemUtility& fs = model.GetFilesystem();
    const std::string directory = fs.GetSpecialDirectory(FilesystemUtility::MusicDirectory) + GetAlbumFolder();
    if (directory.size() >= fs.MaxDirectoryLength())
        throw invalid_path_exception();
    return directory;
}

std::string DownloadModel::Download::GetAlbumFolder() const
{
    FilesystemUtility& fs = model.GetFilesystem();
    const std::string separator = fs.DirectorySeparator();
    const std::string root = fs.GetPathRoot();

    // White space at either end of a folder name goes first: a tab or line break there would
    // otherwise stay as a replacement.
    const auto folder = [&](const char* key) {
        return SafeName(fs, boost::algorithm::trim_copy(track->GetMetadataValue(key), std::locale::classic()), key);
    };
    // The album folder is made valid on its own, as if it stood at the root, so that the
    // rules never touch the music folder.
    const std::string album = fs.ValidateDirectory(root + folder(TrackKey::AlbumArtist) + separator + folder(TrackKey::Album) + separator);
    return album.substr(root.size());
}

std::string DownloadModel::Download::GetOutputFilename() const
{
    FilesystemUtility& fs = model.GetFilesystem();
    const std::string directory = GetOutputDirectory();

    std::string name;
    const long disc = LeadingNumber(FormatMetadataForFilename(TrackKey::DiscNum));
    const long number = LeadingNumber(FormatMetadataForFilename(TrackKey::TrackNum));
    if (disc > 1)
        name += (boost::format("(Disc %1%) ") % disc).str();
    if (number > 0)
        name += (boost::format("%1$02d - ") % number).str();

    // A file found complete before any transfer of this run takes its extension from the
    // address it is fetched from.
    const std::string url = *EffectiveUrl() ? std::string(EffectiveUrl()) : track->GetURL();
    // An address whose path has no extension (the file named in its query) gives way to the
    // type the track was found to be.
    const std::string extension = UrlExtension(url);
    name += FormatMetadataForFilename(TrackKey::Title) + "." + (extension.empty() ? trackType : extension);

    const std::string path = directory + fs.ValidateFilename(name);
    return fs.FileExists(path.c_str()) ? fs.GetUniqueFilename(path) : path;
}

std::string DownloadModel::Download::UrlExtension(const std::string& url) const
{
    return model.GetFilesystem().GetFileExtension(url.substr(0, url.find('?')));
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
