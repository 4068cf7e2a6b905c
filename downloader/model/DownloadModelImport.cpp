#include "downloader/model/DownloadModel.h"

#include "core/data/ParseXmlText.h"
#include "core/diagnostic/Debug.h"
#include "core/reporting/ReportService.h"
#include "core/reporting/SavedReports.h"

#include "downloader/model/DownloadModelDownload.h"
#include "downloader/model/QueueFilePlaylists.h"
#include "downloader/model/QueueFileTrackLists.h"
#include "downloader/model/VLXToPlainText.h"

#include <tinyxml.h>

#include <exception>
#include <set>
#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

typedef std::vector<boost::shared_ptr<DownloadModel::Download>> Downloads;

// The first element `name` under `parent`, or null along a path with a missing step.
TiXmlElement* Child(TiXmlElement* parent, const char* name)
{
    return parent ? parent->FirstChildElement(name) : nullptr;
}

bool IsSelectedVideo(const DownloadModel::Download& video, VideoFormat format)
{
    const std::string& type = video.GetTrackType();
    return (format == VideoFormat::MP4 && type == "mp4") || (format == VideoFormat::WMV && type == "wmv");
}

// Whether the library took the playlists. A row it refused (another program writing holds the
// database) is no fault of the file, which was read: it is kept for a later try, as when any
// other playlist is not stored.
bool RecordPlaylists(PlaylistLibrary& library, std::set<std::string>& pcids, TiXmlElement* playLists)
{
    try {
        return ParsePlayLists(library, pcids, playLists);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

DownloadModel::ImportResult DownloadModel::AddTracks(FILE* file, Origin origin)
{
    try {
        std::string text;
        VLXToPlainText(file, text);
        if (text.empty()) return ImportResult::Unreadable;

        // Values that are not UTF-8 (a Latin-1 name as the store sent it) come out with their
        // bytes as they are, for the track to read each as a whole.
        TiXmlDocument document;
        Data::ParseXmlText(document, text);
        // A document cut short or otherwise damaged is refused whole: importing the tracks
        // before the damage would let the caller delete the file with the rest of the
        // purchase in it. (The saved queue is written whole or not at all, so it is never
        // cut short itself.)
        if (document.Error()) {
            Diagnostic::Debug::LogString("Queue file not imported: " + std::string(document.ErrorDesc()));
            return ImportResult::Unreadable;
        }
        TiXmlElement* playlist = document.FirstChildElement("playlist");
        if (!playlist) return ImportResult::Unreadable;

        // Every download is built first, so a track that can't be read leaves nothing behind.
        Downloads regular, deluxe, videos;
        ParseRegularTrackList(*this, origin, Child(playlist, "trackList"), regular);
        TiXmlElement* extension = Child(playlist, "extension");
        ParseDeluxeTrackList(*this, origin, Child(Child(extension, "deluxe"), "trackList"), deluxe, videos);

        Downloads kept;
        std::set<std::string> pcids;
        const auto keep = [&](const boost::shared_ptr<Download>& download) {
            kept.push_back(download);
            pcids.insert(download->GetPCID());
        };
        for (const Downloads* list : {&regular, &deluxe})
            for (const auto& download : *list)
                if (download->GetType() != DownloadType::Undetermined) keep(download);
        for (const auto& video : videos)
            if (IsSelectedVideo(*video, GetSelectedVideoFormat())) keep(video);

        // The playlists go in before their downloads, which may start at once. Playlists
        // that could not be stored fail the import, so that the queue file is kept. Until the
        // downloads are in, a queue cleared on another thread must not forget the playlists.
        boost::mutex::scoped_lock recording(recordingMutex);
        if (!RecordPlaylists(GetPlaylistLibrary(), pcids, Child(extension, "playLists"))) return ImportResult::PlaylistsRefused;
        for (const auto& download : kept) AddDownload(download);
        // Reports the store did not answer come back from the program's own saved queue only: a
        // queue file from outside must never have the program send anything.
        if (origin == Origin::SavedQueue)
            for (const Reporting::Report& report : Reporting::SavedReports::Read(Child(playlist, Reporting::SavedReports::ElementName)))
                Reporting::ReportService::Restore(report);
        return ImportResult::Added;
    } catch (...) {
        // Every failure of the file, the cipher's exceptions included, is told by the result.
        return ImportResult::Unreadable;
    }
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
