#ifndef DOWNLOADER_MODEL_QUEUEFILEPLAYLISTS_H
#define DOWNLOADER_MODEL_QUEUEFILEPLAYLISTS_H

#include <set>
#include <string>

class TiXmlElement;

namespace Vantor::DigitalMedia::MusicClient::Downloader {
class PlaylistLibrary;
}

// The playlists of a queue file: <playlist><extension><playLists><playList>, each with a
// <title> and a <trackList> of <track> references that carry only the product identifier.

// The text of the first <meta> child whose rel is the store namespace + "/PCID"; "" when
// `track` is null or has none.
std::string PCIDFromTrackNode(TiXmlElement* track);

// Records one <playList> in the library with the identifiers of its references that are in
// `pcids` (the products being added), in document order, duplicates kept. Nothing is
// recorded for a null element, a blank title or a playlist left without identifiers. False
// only when the library could not record it.
bool AddPlaylistToLibrary(Vantor::DigitalMedia::MusicClient::Downloader::PlaylistLibrary& library,
                          std::set<std::string>& pcids, TiXmlElement* playList);

// AddPlaylistToLibrary for each <playList> child of a <playLists> element, in document order;
// nothing for a null element. False, at the first playlist the library could not record.
bool ParsePlayLists(Vantor::DigitalMedia::MusicClient::Downloader::PlaylistLibrary& library,
                    std::set<std::string>& pcids, TiXmlElement* playLists);

#endif
