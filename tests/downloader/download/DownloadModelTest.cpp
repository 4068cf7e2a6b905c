// The queue: what adding starts, the order of its announcements, removing by state, saving.
#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/data/CryptoUtility.h"
#include "downloader/model/DownloadModelTrack.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <stdexcept>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::IPlaylist;
using Vantor::Net::Download;

namespace {

class ModelTest : public DownloadFixture {
protected:
    // The entries of one download, in order.
    std::vector<std::string> EventsOf(const std::string& pcid)
    {
        std::vector<std::string> entries;
        for (const std::string& entry : events->journal.Entries())
            if (entry.compare(0, pcid.size() + 1, pcid + " ") == 0 && entry.find("progress") == std::string::npos)
                entries.push_back(entry.substr(pcid.size() + 1));
        return entries;
    }

    std::string AlbumFolder() { return MusicFolder() + "AC_DC/Live_ 1991/"; }
};

class PlaylistWatcher : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    ~PlaylistWatcher() override { disconnect_all(); }
    void OnFinished(boost::shared_ptr<IPlaylist> playlist) { finished.Add(playlist->GetTitle()); }
    Journal finished;
};

TEST_F(ModelTest, AddingRunsWhatCanRunAndAnnouncesTheResetFirst)
{
    ServeFile("a.mp3", 5000);
    model->AddDownload(NewDownload({{"PCID", "done"}, {"downloadState", "1"}}));
    model->AddDownload(NewDownload({{"PCID", "expired"}, {"downloadState", "9"}, {"networkErrorType", "10"}}));
    model->AddDownload(NewDownload({{"PCID", "marked"}, {"downloadState", "8"}, {"expired", "1"}}));
    model->AddDownload(NewDownload(AlbumTrack("paused", nginx.HttpUrl("/a.mp3"), {{"downloadState", "3"}})));
    Expect("paused finished 1");
    Expect("queue-finished");

    EXPECT_EQ((std::vector<std::string>{"added"}), EventsOf("done"));
    EXPECT_EQ((std::vector<std::string>{"added"}), EventsOf("expired"));
    EXPECT_EQ((std::vector<std::string>{"added"}), EventsOf("marked"));
    // The worker may start it before it is announced, but never before its reset.
    std::vector<std::string> paused = EventsOf("paused");
    const auto added = std::find(paused.begin(), paused.end(), "added");
    ASSERT_NE(paused.end(), added);
    EXPECT_NE(paused.begin(), added);
    paused.erase(added);
    EXPECT_EQ((std::vector<std::string>{"state 0", "state 2", "started", "state 1", "finished 1"}), paused);
    EXPECT_FALSE(model->HasActiveDownloads());
    ASSERT_EQ(4u, model->CountDownloads());
    EXPECT_EQ("paused", model->GetDownloadAt(3)->GetPCID());
    EXPECT_THROW(model->GetDownloadAt(4), std::out_of_range);

    // Saved and read back, each keeps its state; only the one that ran has a file.
    std::vector<Download::State> states;
    std::vector<std::string> files;
    for (const auto& track : SavedTracks(*model)) {
        DownloadModel::Download restored(*model, track.get());
        states.push_back(restored.GetState());
        files.push_back(restored.GetLocalFilename());
    }
    EXPECT_EQ((std::vector<Download::State>{Download::Downloaded, Download::NetworkError, Download::LocalFileError,
                                            Download::Downloaded}),
              states);
    EXPECT_EQ((std::vector<std::string>{"", "", "", AlbumFolder() + "(Disc 2) 07 - Intro.mp3"}), files);
}

TEST_F(ModelTest, ClearingRemovesByStateAndDeletesOnlyPartialFiles)
{
    boost::filesystem::create_directories(AlbumFolder());
    WriteFile(AlbumFolder() + "song.mp3", "song");
    WriteFile(AlbumFolder() + ".vlx(1).tmp", "partial 1");
    WriteFile(AlbumFolder() + ".vlx(2).tmp", "partial 2");
    const Fields expired = {{"downloadState", "9"}, {"expired", "1"}};
    const auto withFile = [&](const char* pcid, const std::string& file, Fields fields) {
        fields.push_back({"PCID", pcid});
        fields.push_back({"localFilename", file});
        return NewDownload(fields);
    };
    model->AddDownload(withFile("done", AlbumFolder() + "song.mp3", {{"downloadState", "1"}}));
    const DownloadPtr canceled = withFile("canceled", AlbumFolder() + ".vlx(1).tmp", expired);
    model->AddDownload(canceled);
    model->AddDownload(withFile("failed", AlbumFolder() + ".vlx(2).tmp", expired));
    model->AddDownload(NewDownload({{"PCID", "import"}, {"downloadState", "10"}}));
    canceled->Cancel();
    ASSERT_EQ(Download::Canceled, canceled->GetState());
    Expect("import finished 11");

    PlaylistWatcher watcher;
    model->GetPlaylistLibrary().PlaylistFinishedSignal.connect(&watcher, &PlaylistWatcher::OnFinished);
    ASSERT_TRUE(model->GetPlaylistLibrary().Create("Mix", {"done"}));

    model->ClearFinished();
    EXPECT_EQ("song", ReadFile(AlbumFolder() + "song.mp3"));
    EXPECT_FALSE(boost::filesystem::exists(AlbumFolder() + ".vlx(1).tmp"));
    ASSERT_EQ(2u, model->CountDownloads());
    EXPECT_EQ("failed", model->GetDownloadAt(0)->GetPCID());

    model->ClearErroneous();
    EXPECT_FALSE(boost::filesystem::exists(AlbumFolder() + ".vlx(2).tmp"));
    ASSERT_EQ(1u, model->CountDownloads());
    EXPECT_EQ(Download::RetryingImport, model->GetDownloadAt(0)->GetState());
    const std::vector<std::string> removed = {"done removed", "canceled removed", "failed removed"};
    std::vector<std::string> entries = events->journal.Entries();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const std::string& e) { return e.find("removed") == std::string::npos; }),
                  entries.end());
    EXPECT_EQ(removed, entries);

    // The playlists go with the last download.
    model->RemoveDownloadsHavingStates({Download::RetryingImport});
    EXPECT_EQ(0u, model->CountDownloads());
    model->GetPlaylistLibrary().SetTrackDownloaded("done", AlbumFolder() + "song.mp3");
    EXPECT_EQ(0, watcher.finished.Count("Mix"));
}

TEST_F(ModelTest, SavedEmptyQueueIsAnEncryptedEmptyTrackList)
{
    OpenFile file(std::tmpfile());
    model->Save(file.get());
    std::fflush(file.get());
    const std::string saved = ContentsOf(file.get());
    EXPECT_EQ(std::string::npos, saved.find("playlist"));
    std::string text;
    Vantor::Data::CryptoUtility::DecryptVLXFile(file.get(), text);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\" ?><playlist><trackList /></playlist>", text);
}

} // namespace

// A download whose cancel stops the transfer and then throws.
class ThrowingOnCancel : public DownloadModel::Download {
public:
    using DownloadModel::Download::Download;
    void Cancel() override
    {
        DownloadModel::Download::Cancel();
        throw std::runtime_error("cancel failed");
    }
};

TEST_F(ModelTest, DestroyingTheModelSurvivesADownloadThatThrowsOnCancel)
{
    const auto track = TrackElement(AlbumTrack("stalled", store.Url("/stall/100000")));
    model->AddDownload(DownloadPtr(new ThrowingOnCancel(*model, track.get())));
    Expect("stalled started");
    events.reset();
    model.reset();
}
