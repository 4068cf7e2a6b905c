#include "downloader/model/DownloadModelTrack.h"

#include "core/data/StringUtility.h"
#include "core/data/XSPFElement.h"
#include "core/data/XSPFMetaElement.h"
#include "downloader/model/DownloadModelDownload.h"
#include "downloader/model/StoreNamespace.h"

#include <tinyxml.h>

#include <memory>
#include <stdexcept>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Data::XSPFElement;
using Vantor::Data::XSPFMetaElement;

const char* const DownloadModel::Track::MetadataKey::Location = "location";
const char* const DownloadModel::Track::MetadataKey::Creator = "creator";
const char* const DownloadModel::Track::MetadataKey::Album = "album";
const char* const DownloadModel::Track::MetadataKey::AlbumArtist = "albumPrimaryArtist";
const char* const DownloadModel::Track::MetadataKey::Title = "title";
const char* const DownloadModel::Track::MetadataKey::Image = "image";
const char* const DownloadModel::Track::MetadataKey::Duration = "duration";
const char* const DownloadModel::Track::MetadataKey::Filesize = "fileSize";
const char* const DownloadModel::Track::MetadataKey::PrimaryGenre = "primaryGenre";
const char* const DownloadModel::Track::MetadataKey::TrackNum = "trackNum";
const char* const DownloadModel::Track::MetadataKey::DiscNum = "discNum";
const char* const DownloadModel::Track::MetadataKey::PCID = "PCID";
const char* const DownloadModel::Track::MetadataKey::TrackType = "trackType";

namespace {

// A value is kept when it is UTF-8 throughout and read as Latin-1 otherwise, so that names,
// the folders made of them and the saved queue are UTF-8 whatever the store sent. A saved local
// file name keeps its bytes: it names a file on disk (under a home whose name may not be
// UTF-8), and read any other way it would name another one.
std::string ValueOf(const std::string& key, const char* text)
{
    return key == DownloadModel::Download::MetadataKey::LocalFileName ? std::string(text)
                                                                       : Vantor::Data::StringUtility::ValueToUTF8(text);
}

} // namespace

DownloadModel::Track::Track(TiXmlElement* track)
{
    if (track) Load(track);
}

DownloadModel::Track::~Track() = default;

void DownloadModel::Track::Load(TiXmlElement* track)
{
    for (TiXmlElement* child = track->FirstChildElement(); child; child = child->NextSiblingElement()) {
        const char* text = child->GetText();
        if (!text || !*text) continue;

        const std::string name = Vantor::Data::StringUtility::ValueToUTF8(child->ValueStr());
        if (name != "meta") {
            SetMetadata(name, ValueOf(name, text));
            continue;
        }

        const std::string* relText = child->Attribute(std::string("rel"));
        if (!relText) throw std::invalid_argument("track metadata: <meta> without rel");
        const std::string rel = Vantor::Data::StringUtility::ValueToUTF8(*relText);
        const std::string::size_type slash = rel.rfind('/');
        const std::string key = slash == std::string::npos ? rel : rel.substr(slash + 1);
        const std::string space = slash == std::string::npos ? rel : rel.substr(0, slash);
        // An empty key would be saved as an element without a name, which no reader accepts.
        if (key.empty()) continue;
        if (space.empty())
            SetMetadata(key, ValueOf(key, text));
        else if (space == StoreNamespace::Store() || space == StoreNamespace::Client())
            SetMetadata(key, space, ValueOf(key, text));
        // Values of anyone else's namespace are not ours to keep.
    }
}

void DownloadModel::Track::SetMetadata(const std::string& key, const std::string& value)
{
    Store(key, boost::shared_ptr<XSPFElement>(new XSPFElement(key, value)));
}

void DownloadModel::Track::SetMetadata(const std::string& key, const std::string& namespaceBase,
                                       const std::string& value)
{
    Store(key, boost::shared_ptr<XSPFElement>(new XSPFMetaElement(namespaceBase, key, value)));
}

void DownloadModel::Track::Store(const std::string& key, const boost::shared_ptr<XSPFElement>& element)
{
    boost::mutex::scoped_lock lock(mutex);
    metadata[key] = element;
}

std::string DownloadModel::Track::GetMetadataValue(const std::string& key) const
{
    boost::mutex::scoped_lock lock(mutex);
    const auto found = metadata.find(key);
    return found == metadata.end() ? std::string() : found->second->GetValue();
}

std::string DownloadModel::Track::GetURL() const
{
    return Vantor::Data::StringUtility::MakeUTF8(GetMetadataValue(MetadataKey::Location));
}

void DownloadModel::Track::Save(TiXmlElement* trackList)
{
    std::unique_ptr<TiXmlElement> track(new TiXmlElement("track"));
    {
        boost::mutex::scoped_lock lock(mutex);
        for (const auto& entry : metadata) entry.second->Save(track.get());
    }
    if (track->NoChildren()) return;
    trackList->LinkEndChild(track.release());
}

void DownloadModel::Track::AppendXml(std::string& xml) const
{
    boost::mutex::scoped_lock lock(mutex);
    if (metadata.empty()) return;
    xml += "<track>";
    for (const auto& entry : metadata) entry.second->AppendXml(xml);
    xml += "</track>";
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
