#ifndef TESTS_DOWNLOADER_DOWNLOAD_DOWNLOADTESTSUPPORT_H
#define TESTS_DOWNLOADER_DOWNLOAD_DOWNLOADTESTSUPPORT_H

#include "downloader/model/DownloadModel.h"
#include "downloader/model/DownloadModelDownload.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/NginxServer.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace VantorTest {

typedef Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel DownloadModel;
typedef DownloadModel::DownloadPtr DownloadPtr;
typedef std::vector<std::pair<std::string, std::string>> Fields;
typedef std::vector<std::string> Entries;

// Every event of a model as "<PCID> <event>" in a journal: "added", "state <n>", "started",
// "finished <state>", "diskfull", "removed", "progress"; "queue-finished"; and each finished
// playlist as "playlist <title> <status of its first track> <its file>".
class ModelJournal : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    explicit ModelJournal(DownloadModel& model);
    ~ModelJournal() override { disconnect_all(); }

    // The entries holding `part`, progress left out, in order.
    Entries With(const std::string& part);

    Journal journal;

private:
    void OnAdded(DownloadPtr download) { Note(download, "added"); }
    void OnRemoved(DownloadPtr download) { Note(download, "removed"); }
    void OnStarted(const DownloadPtr download) { Note(download, "started"); }
    void OnFinished(const DownloadPtr download) { Note(download, "finished " + std::to_string(download->GetState())); }
    void OnDiskFull(const DownloadPtr download) { Note(download, "diskfull"); }
    void OnStateChanged(const DownloadPtr download, Vantor::Net::Download::State state)
    {
        Note(download, "state " + std::to_string(state));
    }
    void OnProgress(const DownloadPtr download, Vantor::Net::Download::Progress, long long) { Note(download, "progress"); }
    void OnQueueFinished() { journal.Add("queue-finished"); }
    void OnPlaylistFinished(boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::IPlaylist> playlist);
    void Note(const DownloadPtr& download, const std::string& event);
};

// A temporary HOME, the store stand-in (also the report address), nginx over the same files,
// a German translation, the log's lines, and a model with a journal of its events. The model
// goes first.
class DownloadFixture : public ::testing::Test {
protected:
    DownloadFixture();

    // A new model (the old one goes first) with a new journal.
    void NewModel();
    // Writes a file of `size` varied bytes under the servers' root; returns its contents.
    std::string ServeFile(const std::string& name, size_t size);
    // A download of the track element made of `fields` (each a child element).
    DownloadPtr NewDownload(const Fields& fields);
    // The fields of track 7 of disc 2, "Intro", of AC/DC's "Live: 1991", plus `more`.
    static Fields AlbumTrack(const std::string& pcid, const std::string& location, Fields more = {});
    std::string MusicFolder() const;
    // Waits for `entry` in the model's journal, `times` times.
    void Expect(const std::string& entry, int times = 1);
    // The report tags the store received (e.g. "dm_ruq_dl_ok P1"), once every report sent
    // so far has arrived.
    std::vector<std::string> Reports();
    // Requests other than reports.
    std::vector<std::string> DownloadRequests();

    LogRecorder log;
    ScopedHome home;
    TempDirectory files;
    TempDirectory translations;
    StoreServer store;
    NginxServer nginx;
    boost::shared_ptr<DownloadModel> model;
    std::unique_ptr<ModelJournal> events;
};

// A <track> element with one child element per field.
std::unique_ptr<TiXmlElement> TrackElement(const Fields& fields);

// The <track> elements of the model's saved queue, decrypted and parsed.
std::vector<std::shared_ptr<TiXmlElement>> SavedTracks(const DownloadModel& model);

// The PCIDs of the model's downloads, in queue order.
std::vector<std::string> QueuedPCIDs(DownloadModel& model);

// "title|pcid|position|status|filename" of every playlist track in the playlist database
// of `home`, playlist by playlist.
std::vector<std::string> PlaylistRows(const TempDirectory& home);

} // namespace VantorTest

#endif
