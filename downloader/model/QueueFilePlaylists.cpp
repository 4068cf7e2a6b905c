#include "downloader/model/QueueFilePlaylists.h"

#include "core/data/StringUtility.h"
#include "downloader/model/PlaylistLibrary.h"
#include "downloader/model/StoreNamespace.h"

#include <tinyxml.h>

#include <vector>

using Vantor::DigitalMedia::MusicClient::Downloader::PlaylistLibrary;
using Vantor::DigitalMedia::MusicClient::Downloader::StoreNamespace;

namespace {

const char* const kWhitespace = " \t\n\v\f\r";

std::string Trimmed(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(kWhitespace);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kWhitespace) - first + 1);
}

// Read as the track's values are, so that identifiers match and titles are UTF-8.
std::string TextOf(TiXmlElement* element)
{
    const char* text = element ? element->GetText() : nullptr;
    return text ? Vantor::Data::StringUtility::ValueToUTF8(text) : "";
}

} // namespace

std::string PCIDFromTrackNode(TiXmlElement* track)
{
    if (!track) return std::string();
    static const std::string pcidRel = StoreNamespace::Store() + "/PCID";
    for (TiXmlElement* meta = track->FirstChildElement("meta"); meta; meta = meta->NextSiblingElement("meta")) {
        const char* rel = meta->Attribute("rel");
        if (rel && pcidRel == rel) return TextOf(meta);
    }
    return std::string();
}

bool AddPlaylistToLibrary(PlaylistLibrary& library, std::set<std::string>& pcids, TiXmlElement* playList)
{
    if (!playList) return true;
    const std::string title = Trimmed(TextOf(playList->FirstChildElement("title")));

    std::vector<std::string> identifiers;
    if (TiXmlElement* trackList = playList->FirstChildElement("trackList")) {
        for (TiXmlElement* track = trackList->FirstChildElement("track"); track;
             track = track->NextSiblingElement("track")) {
            const std::string pcid = PCIDFromTrackNode(track);
            if (!pcid.empty() && pcids.count(pcid)) identifiers.push_back(pcid);
        }
    }

    return title.empty() || identifiers.empty() || library.Create(title, identifiers);
}

bool ParsePlayLists(PlaylistLibrary& library, std::set<std::string>& pcids, TiXmlElement* playLists)
{
    if (!playLists) return true;
    // Stops at the first failure: the next playlist would only wait out the same busy database.
    for (TiXmlElement* playList = playLists->FirstChildElement("playList"); playList;
         playList = playList->NextSiblingElement("playList"))
        if (!AddPlaylistToLibrary(library, pcids, playList)) return false;
    return true;
}
