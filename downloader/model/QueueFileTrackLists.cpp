#include "downloader/model/QueueFileTrackLists.h"

#include "downloader/model/DownloadModelDownload.h"

#include <tinyxml.h>

using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadType;

namespace {

typedef boost::shared_ptr<DownloadModel::Download> DownloadPtr;

DownloadPtr NewDownload(DownloadModel& model, DownloadModel::Origin origin, TiXmlElement* track)
{
    return DownloadPtr(new DownloadModel::Download(model, track, origin));
}

} // namespace

void ParseRegularTrackList(DownloadModel& model, DownloadModel::Origin origin, TiXmlElement* trackList,
                           std::vector<DownloadPtr>& downloads)
{
    if (!trackList) return;
    for (TiXmlElement* track = trackList->FirstChildElement("track"); track; track = track->NextSiblingElement("track"))
        downloads.push_back(NewDownload(model, origin, track));
}

void ParseDeluxeTrackList(DownloadModel& model, DownloadModel::Origin origin, TiXmlElement* trackList,
                          std::vector<DownloadPtr>& nonVideos, std::vector<DownloadPtr>& videos)
{
    if (!trackList) return;
    for (TiXmlElement* entry = trackList->FirstChildElement("track"); entry; entry = entry->NextSiblingElement()) {
        DownloadPtr download = NewDownload(model, origin, entry);
        (download->GetType() == DownloadType::Video ? videos : nonVideos).push_back(download);
    }
}
