#ifndef DOWNLOADER_MODEL_QUEUEFILETRACKLISTS_H
#define DOWNLOADER_MODEL_QUEUEFILETRACKLISTS_H

#include "downloader/model/DownloadModel.h"

#include <boost/shared_ptr.hpp>

#include <vector>

class TiXmlElement;

// The two lists of files in a queue file: the regular <playlist><trackList> and the deluxe
// (bonus) <playlist><extension><deluxe><trackList>. Each entry becomes a new download of the
// model, built from its element and the file's origin; a <track> that can't be read throws out
// of these.

// One download per <track> child, appended in document order; nothing for a null list.
void ParseRegularTrackList(Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel& model,
                           Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel::Origin origin, TiXmlElement* trackList,
                           std::vector<boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel::Download>>& downloads);

// One download for the first <track> child and for every element after it, whatever its
// name: videos go to `videos`, everything else to `nonVideos`, each in document order;
// nothing for a null list.
void ParseDeluxeTrackList(Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel& model,
                          Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel::Origin origin, TiXmlElement* trackList,
                          std::vector<boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel::Download>>& nonVideos,
                          std::vector<boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel::Download>>& videos);

#endif
