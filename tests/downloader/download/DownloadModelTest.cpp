// The queue: what adding starts, the order of its announcements, removing by state, saving.
#include "tests/downloader/download/DownloadTestSupport.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <stdexcept>

using namespace VantorTest;
using Vantor::Net::Download;

namespace {

typedef DownloadFixture ModelTest;

TEST_F(ModelTest, AddingRunsWhatCanRunAndAnnouncesTheResetFirst)
{
    ServeFile("a.mp3", 5000);
    model->AddDownload(NewDownload({{"PCID", "done"}, {"downloadState", "1"}}));
    model->AddDownload(NewDownload({{"PCID", "expired"}, {"downloadState", "9"}, {"networkErrorType", "10"}}));
    model->AddDownload(NewDownload({{"PCID", "marked"}, {"downloadState", "8"}, {"expired", "1"}}));
    model->AddDownload(NewDownload(AlbumTrack("paused", nginx.HttpUrl("/a.mp3"), {{"downloadState", "3"}})));
    Expect("paused finished 1");
    Expect("queue-finished");

    for (const std::string pcid : {"done", "expired", "marked"})
        EXPECT_EQ(Entries{pcid + " added"}, events->With(pcid + " "));
    // The worker may start it before it is announced, but never before its reset.
    Entries paused = events->With("paused ");
    const auto added = std::find(paused.begin(), paused.end(), "paused added");
    ASSERT_NE(paused.end(), added);
    EXPECT_NE(paused.begin(), added);
    paused.erase(added);
    EXPECT_EQ((Entries{"paused state 0", "paused state 2", "paused started", "paused state 1", "paused finished 1"}), paused);
    EXPECT_FALSE(model->HasActiveDownloads());
    EXPECT_THROW(model->GetDownloadAt(4), std::out_of_range);

    // Saved and read back, each keeps its state; only the one that ran has a file.
    Entries restored;
    for (const auto& track : SavedTracks(*model)) {
        DownloadModel::Download download(*model, track.get());
        restored.push_back(download.GetPCID() + " " + std::to_string(download.GetState()) + " " + download.GetLocalFilename());
    }
    const std::string file = MusicFolder() + "AC_DC/Live_ 1991/(Disc 2) 07 - Intro.mp3";
    EXPECT_EQ((Entries{"done 1 ", "expired 9 ", "marked 8 ", "paused 1 " + file}), restored);
}

TEST_F(ModelTest, ClearingRemovesByStateAndDeletesPartialFiles)
{
    const std::string folder = MusicFolder() + "AC_DC/Live_ 1991/";
    boost::filesystem::create_directories(folder);
    // An expired download that failed, with a partial file.
    const auto failed = [&](const char* pcid, const std::string& name) {
        WriteFile(folder + name, "partial");
        return NewDownload({{"PCID", pcid}, {"downloadState", "9"}, {"expired", "1"}, {"localFilename", folder + name}});
    };
    model->AddDownload(NewDownload({{"PCID", "done"}, {"downloadState", "1"}}));
    const DownloadPtr canceled = failed("canceled", ".vlx(1).tmp");
    model->AddDownload(canceled);
    model->AddDownload(failed("failed", ".vlx(2).tmp"));
    model->AddDownload(NewDownload({{"PCID", "import"}, {"downloadState", "10"}}));
    canceled->Cancel();
    Expect("import finished 11");
    ASSERT_TRUE(model->GetPlaylistLibrary().Create("Mix", {"done"}));

    model->ClearFinished();
    EXPECT_FALSE(boost::filesystem::exists(folder + ".vlx(1).tmp"));
    EXPECT_EQ((Entries{"done removed", "canceled removed"}), events->With(" removed"));

    model->ClearErroneous();
    EXPECT_FALSE(boost::filesystem::exists(folder + ".vlx(2).tmp"));
    EXPECT_EQ((Entries{"done removed", "canceled removed", "failed removed"}), events->With(" removed"));
    ASSERT_EQ(1u, model->CountDownloads());
    EXPECT_EQ(Download::RetryingImport, model->GetDownloadAt(0)->GetState());

    // The playlists go with the last download.
    model->RemoveDownloadsHavingStates({Download::RetryingImport});
    EXPECT_EQ(0u, model->CountDownloads());
    model->GetPlaylistLibrary().SetTrackDownloaded("done", folder + "done.mp3");
    EXPECT_TRUE(events->With("playlist ").empty());
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
    NewModel();
}
