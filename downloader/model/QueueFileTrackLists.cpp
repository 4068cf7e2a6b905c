#include "downloader/model/QueueFileTrackLists.h"

#include "downloader/model/DownloadModelDownload.h"

#include <tinyxml.h>

using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadType;

namespace {

typedef boost::shared_ptr<DownloadModel::Download> DownloadPtr;

DownloadPtr NewDownload(DownloadModel& model, TiXmlElement* track)
{
    return DownloadPtr(new DownloadModel::Download(model, track));
}

} // namespace

void ParseRegularTrackList(DownloadModel& model, TiXmlElement* trackList, std::vector<DownloadPtr>& downloads)
{
    if (!trackList) return;
    for (TiXmlElement* track = trackList->FirstChildElement("track"); track; track = track->NextSiblingElement("track"))
        downloads.push_back(NewDownload(model, track));
}

void ParseDeluxeTrackList(DownloadModel& model, TiXmlElement* trackList, std::vector<DownloadPtr>& nonVideos,
                          std::vector<DownloadPtr>& videos)
{
    if (!trackList) return;
    for (TiXmlElement* entry = trackList->FirstChildElement("track"); entry; entry = entry->NextSiblingElement()) {
        DownloadPtr download = NewDownload(model, entry);
        (download->GetType() == DownloadType::Video ? videos : nonVideos).push_back(download);
    }
}
