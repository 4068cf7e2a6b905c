// One track's download against real servers and a real file system: naming, resuming,
// faults, pause and cancel, restarts, and files a queue file must not touch.
#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/filesystem/FilesystemUtility.h"
#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/model/DownloadModelTrack.h"
#include "tests/support/PrivateTmpfs.h"

#include <boost/filesystem.hpp>

#include <cstdlib>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesKeys;
using Vantor::Net::Download;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;
namespace fs = boost::filesystem;

namespace {

const char kFinalName[] = "(Disc 2) 07 - Intro.mp3";
const std::vector<std::string> kFirstTryReports = {"dm_ruq_dl_ok P1", "dm_ruq_retry_00 P1"};

class TrackDownloadTest : public DownloadFixture {
protected:
    std::string AlbumFolder() { return MusicFolder() + "AC_DC/Live_ 1991/"; }
    std::string FinalFile() { return AlbumFolder() + kFinalName; }

    // A partial file as an earlier run leaves it.
    std::string Partial(const std::string& folder, const std::string& contents)
    {
        fs::create_directories(folder);
        WriteFile(folder + ".vlx(1).tmp", contents);
        return folder + ".vlx(1).tmp";
    }

    // The files of a folder, sorted.
    static std::vector<std::string> FilesIn(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(TrackDownloadTest, NamesComeFromMetadataAndNeverLeaveTheMusicFolder)
{
    const struct {
        Fields fields;
        std::string folder;  // under the music folder
        std::string name;
    } cases[] = {
        {{{"title", "Intro"}, {"trackNum", "123"}, {"discNum", "1"}}, "Unknown albumPrimaryArtist/Unknown album/", "123 - Intro.mp3"},
        {{{"title", "<>?"}, {"trackNum", "0"}}, "Unknown albumPrimaryArtist/Unknown album/", "___.mp3"},
        {{{"albumPrimaryArtist", ".."}, {"album", "."}}, "__/_/", "Unknown title.mp3"},
        {{{"albumPrimaryArtist", " .. "}, {"album", "../.."}, {"title", "."}}, "____/.._../", "_.mp3"},
        {{{"albumPrimaryArtist", std::string(300, '.') + "a"}, {"album", ".." + std::string(300, ' ') + "x"}},
         std::string(254, '_') + "/__/", "Unknown title.mp3"},
    };
    for (const auto& c : cases) {
        Fields fields = c.fields;
        fields.push_back({"location", "http://127.0.0.1:1/a.b/track.mp3?sig=x.y"});
        const DownloadPtr download = NewDownload(fields);
        EXPECT_EQ(MusicFolder() + c.folder, download->GetOutputDirectory());
        EXPECT_EQ(MusicFolder() + c.folder + c.name, download->GetOutputFilename());
    }

    // A name that is taken gets a number.
    fs::create_directories(AlbumFolder());
    WriteFile(FinalFile(), "");
    EXPECT_EQ(AlbumFolder() + "(Disc 2) 07 - Intro(1).mp3", NewDownload(AlbumTrack("P1", "http://h/t.mp3"))->GetOutputFilename());

    // The music folder itself is taken as it is.
    const std::string music = home.Path() + "/My:Music*/";
    Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, music.c_str());
    EXPECT_EQ(music + "AC_DC/Live_ 1991/", NewDownload(AlbumTrack("P1", "http://h/t.mp3"))->GetOutputDirectory());
}

TEST_F(TrackDownloadTest, FileArrivesUnderItsFinalNameReportedAndMarkedOnce)
{
    const std::string contents = ServeFile("a.mp3", 300 * 1000);
    ASSERT_TRUE(model->GetPlaylistLibrary().Create("Road", {"P1"}));
    const DownloadPtr download = NewDownload(AlbumTrack("P1", nginx.HttpUrl("/a.mp3")));
    model->AddDownload(download);
    Expect("playlist Road 1 " + FinalFile());
    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_EQ(std::vector<std::string>{kFinalName}, FilesIn(AlbumFolder()));

    // A second work item (a resume before the first ran) finds it done: one more
    // notification, no report, no mark.
    model->EnqueueForDownload(download);
    Expect("P1 finished 1", 2);
    EXPECT_EQ(std::vector<std::string>{kFinalName}, FilesIn(AlbumFolder()));
    EXPECT_EQ(1u, events->With("playlist ").size());
    EXPECT_EQ(kFirstTryReports, Reports());
}

// A partial file the store stand-in sends whole again (it ignores Range), and one left in
// another album folder (the album's metadata changed), which is dropped.
TEST_F(TrackDownloadTest, PartialFileIsFinishedOrDropped)
{
    const std::string contents = ServeFile("a.mp3", 100 * 1000);
    const struct {
        std::string pcid, artist, partialFolder, location;
    } cases[] = {{"P1", "Other", "Other", store.Url("/a.mp3")}, {"P2", "New", "Old", nginx.HttpUrl("/a.mp3")}};
    for (const auto& c : cases) {
        const std::string left = Partial(MusicFolder() + c.partialFolder + "/Album/", std::string(40 * 1000, 'x'));
        model->AddDownload(NewDownload({{"PCID", c.pcid}, {"albumPrimaryArtist", c.artist}, {"album", "Album"},
                                        {"title", "T"}, {"location", c.location}, {"downloadState", "3"},
                                        {"localFilename", left}}));
        Expect(c.pcid + " finished 1");
        EXPECT_EQ(contents, ReadFile(MusicFolder() + c.artist + "/Album/T.mp3"));
    }
    EXPECT_FALSE(fs::exists(MusicFolder() + "Old/Album/.vlx(1).tmp"));
}

TEST_F(TrackDownloadTest, ExpiredLinkIsTriedOnceReportedOnceAndMarked)
{
    ASSERT_TRUE(model->GetPlaylistLibrary().Create("Road", {"P1"}));
    model->AddDownload(NewDownload(AlbumTrack("P1", store.Url("/status/400"))));
    Expect("P1 finished 9");
    Expect("playlist Road 2 ");
    EXPECT_EQ(0, events->journal.Count("P1 state 7"));
    EXPECT_EQ(std::vector<std::string>{"/status/400"}, DownloadRequests());
    EXPECT_EQ(std::vector<std::string>{"dm_ruq_dl_expire P1"}, Reports());

    // The saved queue remembers it: loaded again, it is listed but not run.
    DownloadModel::Download restored(*model, SavedTracks(*model).at(0).get());
    EXPECT_TRUE(restored.Expired());
    EXPECT_EQ("1", restored.GetTrack()->GetMetadataValue("expireStateReported"));
}

TEST_F(TrackDownloadTest, NotEnoughFreeSpacePausesBeforeAnyTransfer)
{
    model->AddDownload(NewDownload(AlbumTrack("P1", store.Url("/a.mp3"), {{"fileSize", "4611686018427387904"}})));
    Expect("queue-finished");
    EXPECT_EQ(1, events->journal.Count("P1 diskfull"));
    EXPECT_EQ(1, events->journal.Count("P1 finished 3"));
    EXPECT_TRUE(DownloadRequests().empty());
}

// A disk that fills up during the transfer: a small file system of its own on the music
// folder, in a child process; passed over where this system allows no mounting.
TEST_F(TrackDownloadTest, DiskFillingUpDuringTheTransferPauses)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ServeFile("big.mp3", 300 * 1000);
    EXPECT_EXIT(
        {
            events.reset();
            model.reset();
            if (!MountPrivateTmpfs(MusicFolder(), 64 * 1024)) {
                std::fputs("skip", stderr);
                std::_Exit(0);
            }
            NewModel();
            model->AddDownload(NewDownload(AlbumTrack("P1", nginx.HttpUrl("/big.mp3"), {{"fileSize", "1000"}})));
            const bool paused = events->journal.WaitFor("P1 finished 3");
            const bool once = events->journal.Count("P1 diskfull") == 1 && events->journal.Count("P1 finished 3") == 1;
            std::fputs(paused && once && !fs::exists(FinalFile()) ? "ok" : "not paused", stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^(ok|skip)$");
}

TEST_F(TrackDownloadTest, PauseKeepsThePartialFileForResumeAndCancelDeletesIt)
{
    const std::string contents = ServeFile("a.mp3", 1000 * 1000);
    const DownloadPtr paused = NewDownload(AlbumTrack("P1", nginx.HttpUrl("/slow/a.mp3")));
    model->AddDownload(paused);
    Expect("P1 progress");
    paused->Pause();
    Expect("P1 finished 3");
    const auto kept = fs::file_size(paused->GetLocalFilename());
    EXPECT_GT(kept, 0u);
    paused->Resume();
    Expect("P1 finished 1");
    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_EQ(static_cast<long long>(contents.size() - kept), paused->bytesReceived);

    const DownloadPtr canceled = NewDownload({{"PCID", "P2"}, {"title", "T"}, {"location", nginx.HttpUrl("/slow/a.mp3")}});
    model->AddDownload(canceled);
    Expect("P2 progress");
    canceled->Cancel();
    Expect("P2 finished 5");
    EXPECT_TRUE(FilesIn(MusicFolder() + "Unknown albumPrimaryArtist/Unknown album/").empty());
    EXPECT_EQ(1, events->journal.Count("P1 finished 3"));
    EXPECT_EQ(kFirstTryReports, Reports());
}

// The next run finishes a partial file left by a model closed mid-transfer, and only renames
// one that is already complete.
TEST_F(TrackDownloadTest, NextRunFinishesAPartialFileAndOnlyRenamesACompleteOne)
{
    const std::string contents = ServeFile("a.mp3", 1000 * 1000);
    model->AddDownload(NewDownload(AlbumTrack("P1", nginx.HttpUrl("/slow/a.mp3"))));
    Expect("P1 progress");
    const auto saved = SavedTracks(*model);
    NewModel();
    const std::string partial = AlbumFolder() + ".vlx(1).tmp";
    const auto kept = fs::file_size(partial);
    EXPECT_GT(kept, 0u);

    const DownloadPtr restored(new DownloadModel::Download(*model, saved.at(0).get()));
    EXPECT_EQ(Download::Waiting, restored->GetState());
    EXPECT_EQ(partial, restored->GetLocalFilename());
    model->AddDownload(restored);
    Expect("P1 finished 1");
    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_EQ(static_cast<long long>(contents.size() - kept), restored->bytesReceived);

    const std::string complete(5000, 'c');
    model->AddDownload(NewDownload(AlbumTrack("P2", store.Url("/gone/track.mp3?sig=1"),
                                              {{"fileSize", "5000"}, {"localFilename", Partial(AlbumFolder(), complete)}})));
    Expect("P2 finished 1");
    EXPECT_EQ(complete, ReadFile(AlbumFolder() + "(Disc 2) 07 - Intro(1).mp3"));
    EXPECT_EQ((std::vector<std::string>{"(Disc 2) 07 - Intro(1).mp3", kFinalName}), FilesIn(AlbumFolder()));
    EXPECT_TRUE(DownloadRequests().empty());
    EXPECT_EQ((std::vector<std::string>{"dm_ruq_dl_ok P1", "dm_ruq_retry_00 P1", "dm_ruq_dl_ok P2", "dm_ruq_retry_00 P2"}),
              Reports());
}

TEST_F(TrackDownloadTest, FileArrivingAfterAnEarlierFinalFailureStillCompletesItsPlaylist)
{
    ServeFile("a.mp3", 5000);
    ASSERT_TRUE(model->GetPlaylistLibrary().Create("Road", {"P1"}));
    model->AddDownload(NewDownload(AlbumTrack("P1", nginx.HttpUrl("/a.mp3"),
                                              {{"downloadState", "9"}, {"networkErrorType", "11"}, {"retryCount", "3"},
                                               {"finishedStateReported", "1"}, {"errorStateReported", "1"}})));
    Expect("playlist Road 1 " + FinalFile());
    EXPECT_TRUE(Reports().empty());
}

// A queue file's "localFilename" names no file of the user's: outside the music folder it
// is forgotten, inside it only a temporary file of ours is written or deleted.
TEST_F(TrackDownloadTest, LocalFilenameFromAQueueFileNeverTouchesOtherFiles)
{
    const std::string contents = ServeFile("a.mp3", 5000);
    fs::create_directories(AlbumFolder());
    const std::vector<std::string> precious = {home.File("precious.txt"), home.File(".vlx(1).tmp"),
                                               AlbumFolder() + "mine.mp3", MusicFolder() + "../escaped.txt"};
    for (size_t i = 0; i < precious.size(); ++i) {
        WriteFile(precious[i], "precious");
        const std::string pcid = "P" + std::to_string(i);
        model->AddDownload(NewDownload(AlbumTrack(pcid, nginx.HttpUrl("/a.mp3"), {{"downloadState", "5"}, {"localFilename", precious[i]}})));
        Expect(pcid + " finished 1");
    }
    const DownloadPtr failed = NewDownload(
        AlbumTrack("F", nginx.HttpUrl("/a.mp3"), {{"downloadState", "9"}, {"expired", "1"}, {"localFilename", precious[2]}}));
    model->AddDownload(failed);
    failed->Cancel();
    model->ClearFinished();

    for (const std::string& file : precious)
        EXPECT_EQ("precious", ReadFile(file)) << file;
    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_EQ(0u, model->CountDownloads());
}

// A slot that moves the music folder to one too long for any album folder once the
// transfer has begun, so that the final name can't be made.
class MusicFolderMover : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    explicit MusicFolderMover(std::string folder) : folder(std::move(folder)) {}
    ~MusicFolderMover() override { disconnect_all(); }
    void OnStarted(const DownloadPtr) { Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, folder.c_str()); }

private:
    std::string folder;
};

TEST_F(TrackDownloadTest, PathThatCantBeMadeEndsInLocalFileError)
{
    ServeFile("a.mp3", 5000);
    std::string tooLong = home.Path();
    while (tooLong.size() < 3900)
        tooLong += "/" + std::string(200, 'm');
    MusicFolderMover mover(tooLong);
    model->DownloadStartedSignal.connect(&mover, &MusicFolderMover::OnStarted);

    const DownloadPtr renamed = NewDownload(AlbumTrack("P1", nginx.HttpUrl("/a.mp3")));
    model->AddDownload(renamed);
    Expect("P1 finished 8");
    EXPECT_EQ(5000u, fs::file_size(renamed->GetLocalFilename()));

    // The next download can't even make its folder.
    model->AddDownload(NewDownload(AlbumTrack("P2", nginx.HttpUrl("/a.mp3"))));
    Expect("P2 finished 8");
    EXPECT_EQ(2u, log.LinesContaining("Unable to make a valid output path for: ").size());
    EXPECT_TRUE(Reports().empty());
}

} // namespace
