// One track's download against real servers and a real file system: naming, resuming,
// faults, pause and cancel, restarts, and files a queue file must not touch.
#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/filesystem/FilesystemUtility.h"
#include "downloader/app/PreferencesKeys.h"
#include "downloader/app/UtilityPreferences.h"
#include "downloader/model/DownloadModelTrack.h"
#include "downloader/model/IPlaylist.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/PrivateTmpfs.h"

#include <boost/filesystem.hpp>

#include <cstdlib>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadType;
using Vantor::DigitalMedia::MusicClient::Downloader::IPlaylist;
using Vantor::DigitalMedia::MusicClient::Downloader::IPlaylistTrack;
using Vantor::Net::Download;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;
using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesKeys;
namespace fs = boost::filesystem;

namespace {

const std::chrono::seconds kWait(20);
const char kFinalName[] = "(Disc 2) 07 - Intro.mp3";

// Each finished playlist as "<title> <status of its first track> <its file>".
class PlaylistWatcher : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    ~PlaylistWatcher() override { disconnect_all(); }
    void OnFinished(boost::shared_ptr<IPlaylist> playlist)
    {
        const auto track = playlist->GetTrack(0);
        finished.Add(playlist->GetTitle() + " " + std::to_string(track->GetStatus()) + " " + track->GetFilename());
    }
    Journal finished;
};

class DownloadTest : public DownloadFixture {
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

    void WatchPlaylists(const std::string& pcid)
    {
        model->GetPlaylistLibrary().PlaylistFinishedSignal.connect(&playlists, &PlaylistWatcher::OnFinished);
        ASSERT_TRUE(model->GetPlaylistLibrary().Create("Road", {pcid}));
    }

    PlaylistWatcher playlists;
    LogRecorder log;
};

struct NamingCase {
    Fields fields;
    std::string folder;  // under the music folder
    std::string name;
};

TEST_F(DownloadTest, NamesComeFromMetadataAndNeverLeaveTheMusicFolder)
{
    const std::string url = "http://127.0.0.1:1/a.b/track.mp3?sig=x.y";
    const NamingCase cases[] = {
        {{{"albumPrimaryArtist", "AC/DC"}, {"album", "Live: 1991"}, {"title", "Intro"}, {"trackNum", "7"}, {"discNum", "2"}},
         "AC_DC/Live_ 1991/",
         "(Disc 2) 07 - Intro.mp3"},
        {{{"title", "Intro"}, {"trackNum", "123"}, {"discNum", "1"}},
         "Unknown albumPrimaryArtist/Unknown album/",
         "123 - Intro.mp3"},
        {{{"title", "<>?"}, {"trackNum", "0"}}, "Unknown albumPrimaryArtist/Unknown album/", "___.mp3"},
        {{{"albumPrimaryArtist", ".."}, {"album", "."}}, "__/_/", "Unknown title.mp3"},
        {{{"albumPrimaryArtist", " .. "}, {"album", "../.."}, {"title", "."}}, "____/.._../", "_.mp3"},
        {{{"albumPrimaryArtist", std::string(300, '.') + "a"}, {"album", ".." + std::string(300, ' ') + "x"}},
         std::string(254, '_') + "/__/",
         "Unknown title.mp3"},
    };
    for (const NamingCase& c : cases) {
        Fields fields = c.fields;
        fields.push_back({"location", url});
        const DownloadPtr download = NewDownload(fields);
        EXPECT_EQ(MusicFolder() + c.folder, download->GetOutputDirectory());
        EXPECT_EQ(MusicFolder() + c.folder + c.name, download->GetOutputFilename());
    }

    // A name that is taken gets a number.
    const DownloadPtr download = NewDownload(AlbumTrack("P1", url));
    fs::create_directories(AlbumFolder());
    WriteFile(FinalFile(), "");
    EXPECT_EQ(AlbumFolder() + "(Disc 2) 07 - Intro(1).mp3", download->GetOutputFilename());
}

TEST_F(DownloadTest, MusicFolderIsTakenAsItIs)
{
    const std::string music = home.Path() + "/My:Music*/";
    Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, music.c_str());
    EXPECT_EQ(music + "AC_DC/Live_ 1991/", NewDownload(AlbumTrack("P1", "http://127.0.0.1:1/t.mp3"))->GetOutputDirectory());
}

TEST_F(DownloadTest, TypeAndStateComeBackFromTheTrack)
{
    const struct {
        Fields fields;
        DownloadType type;
        std::string trackType;
        Download::State state;
    } cases[] = {
        {{{"trackType", "MP4"}, {"downloadState", "2"}}, DownloadType::Video, "mp4", Download::Waiting},
        {{{"location", "http://h/a/track.MP3?sig=a.b"}, {"downloadState", "6"}}, DownloadType::Audio, "mp3", Download::Canceled},
        {{{"location", "http://h/track?x=1.mp3"}, {"downloadState", "42"}}, DownloadType::Undetermined, "", Download::Waiting},
    };
    for (const auto& c : cases) {
        const DownloadPtr download = NewDownload(c.fields);
        EXPECT_EQ(c.type, download->GetType());
        EXPECT_EQ(c.trackType, download->GetTrackType());
        EXPECT_EQ(c.state, download->GetState());
    }
}

TEST_F(DownloadTest, FileArrivesUnderItsFinalNameReportedAndMarkedOnce)
{
    const std::string contents = ServeFile("a.mp3", 300 * 1000);
    WatchPlaylists("P1");
    const DownloadPtr download =
        NewDownload(AlbumTrack("P1", nginx.HttpUrl("/a.mp3"), {{"fileSize", std::to_string(contents.size())}}));
    model->AddDownload(download);
    Expect("P1 finished 1");

    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_EQ(std::vector<std::string>{kFinalName}, FilesIn(AlbumFolder()));
    EXPECT_EQ(FinalFile(), download->GetLocalFilename());
    EXPECT_TRUE(playlists.finished.WaitFor("Road 1 " + FinalFile()));

    // A second work item (a resume before the first ran) finds it done: one more
    // notification, no report, no mark.
    model->EnqueueForDownload(download);
    Expect("P1 finished 1", 2);
    EXPECT_EQ(std::vector<std::string>{kFinalName}, FilesIn(AlbumFolder()));
    EXPECT_EQ(1, playlists.finished.Count("Road 1 " + FinalFile()));
    EXPECT_EQ((std::vector<std::string>{"dm_ruq_dl_ok P1", "dm_ruq_retry_00 P1"}), Reports());
}

// nginx continues a partial file; the store stand-in sends the whole file again; a partial
// file left in another album folder (the album's metadata changed) is dropped.
TEST_F(DownloadTest, PartialFileIsFinishedOrDropped)
{
    const std::string contents = ServeFile("a.mp3", 100 * 1000);
    Partial(AlbumFolder(), contents.substr(0, 40 * 1000));
    const DownloadPtr resumed = NewDownload(
        AlbumTrack("P1", nginx.HttpUrl("/a.mp3"), {{"downloadState", "3"}, {"localFilename", AlbumFolder() + ".vlx(1).tmp"}}));
    model->AddDownload(resumed);
    Expect("P1 finished 1");
    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_EQ(60 * 1000, resumed->bytesReceived);

    const std::string other = MusicFolder() + "Other/Album/";
    Partial(other, std::string(40 * 1000, 'x'));
    model->AddDownload(NewDownload({{"PCID", "P2"}, {"albumPrimaryArtist", "Other"}, {"album", "Album"}, {"title", "T"},
                                    {"location", store.Url("/a.mp3")}, {"downloadState", "3"},
                                    {"localFilename", other + ".vlx(1).tmp"}}));
    Expect("P2 finished 1");
    EXPECT_EQ(contents, ReadFile(other + "T.mp3"));

    const std::string old = Partial(MusicFolder() + "Old/Album/", std::string(20 * 1000, 'x'));
    model->AddDownload(NewDownload({{"PCID", "P3"}, {"albumPrimaryArtist", "New"}, {"album", "Album"}, {"title", "T"},
                                    {"location", nginx.HttpUrl("/a.mp3")}, {"downloadState", "3"},
                                    {"localFilename", old}}));
    Expect("P3 finished 1");
    EXPECT_FALSE(fs::exists(old));
    EXPECT_EQ(contents, ReadFile(MusicFolder() + "New/Album/T.mp3"));
}

TEST_F(DownloadTest, ExpiredLinkIsTriedOnceReportedOnceAndMarked)
{
    WatchPlaylists("P1");
    const DownloadPtr download = NewDownload(AlbumTrack("P1", store.Url("/status/400")));
    model->AddDownload(download);
    Expect("P1 finished 9");
    EXPECT_TRUE(download->Expired());
    EXPECT_EQ(0, events->journal.Count("P1 state 7"));
    EXPECT_EQ(std::vector<std::string>{"/status/400"}, DownloadRequests());
    EXPECT_TRUE(playlists.finished.WaitFor("Road 2 "));
    EXPECT_EQ(std::vector<std::string>{"dm_ruq_dl_expire P1"}, Reports());

    // The saved queue remembers it: loaded again, it is listed but not run.
    DownloadModel::Download restored(*model, SavedTracks(*model).at(0).get());
    EXPECT_TRUE(restored.Expired());
    EXPECT_EQ("1", restored.GetTrack()->GetMetadataValue("expireStateReported"));
}

TEST_F(DownloadTest, NotEnoughFreeSpacePausesBeforeAnyTransfer)
{
    model->AddDownload(NewDownload(AlbumTrack("P1", store.Url("/a.mp3"), {{"fileSize", "4611686018427387904"}})));
    Expect("P1 finished 3");
    Expect("queue-finished");
    EXPECT_EQ(1, events->journal.Count("P1 diskfull"));
    EXPECT_EQ(1, events->journal.Count("P1 finished 3"));
    EXPECT_TRUE(DownloadRequests().empty());
    EXPECT_TRUE(FilesIn(AlbumFolder()).empty());
}

// A disk that fills up during the transfer: a small file system of its own on the music
// folder, in a child process; passed over where this system allows no mounting.
TEST_F(DownloadTest, DiskFillingUpDuringTheTransferPauses)
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
            model.reset(new DownloadModel(Vantor::Filesystem::FilesystemUtility::NewInstance()));
            events.reset(new ModelJournal(*model));
            model->AddDownload(NewDownload(AlbumTrack("P1", nginx.HttpUrl("/big.mp3"), {{"fileSize", "1000"}})));
            const bool paused = events->journal.WaitFor("P1 finished 3");
            const bool once = events->journal.Count("P1 diskfull") == 1 && events->journal.Count("P1 finished 3") == 1;
            std::fputs(paused && once && !fs::exists(FinalFile()) ? "ok" : "not paused", stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^(ok|skip)$");
}

TEST_F(DownloadTest, PauseKeepsThePartialFileForResumeAndCancelDeletesIt)
{
    const std::string contents = ServeFile("a.mp3", 1000 * 1000);
    const DownloadPtr paused = NewDownload(AlbumTrack("P1", nginx.HttpUrl("/slow/a.mp3")));
    model->AddDownload(paused);
    Expect("P1 progress");
    paused->Pause();
    Expect("P1 finished 3");
    const std::string partial = paused->GetLocalFilename();
    const auto kept = fs::file_size(partial);
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, contents.size());
    paused->Resume();
    Expect("P1 finished 1");
    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_EQ(static_cast<long long>(contents.size() - kept), paused->bytesReceived);

    const DownloadPtr canceled = NewDownload({{"PCID", "P2"}, {"title", "T"}, {"location", nginx.HttpUrl("/slow/a.mp3")}});
    model->AddDownload(canceled);
    Expect("P2 progress");
    canceled->Cancel();
    Expect("P2 finished 5");
    EXPECT_EQ("", canceled->GetLocalFilename());
    EXPECT_TRUE(FilesIn(MusicFolder() + "Unknown albumPrimaryArtist/Unknown album/").empty());
    EXPECT_EQ(1, events->journal.Count("P1 finished 3"));
    EXPECT_EQ(1, events->journal.Count("P2 finished 5"));
    EXPECT_EQ((std::vector<std::string>{"dm_ruq_dl_ok P1", "dm_ruq_retry_00 P1"}), Reports());
}

TEST_F(DownloadTest, ModelClosedMidTransferLeavesAPartialFileTheNextRunFinishes)
{
    const std::string contents = ServeFile("a.mp3", 1000 * 1000);
    model->AddDownload(NewDownload(AlbumTrack("P1", nginx.HttpUrl("/slow/a.mp3"))));
    Expect("P1 progress");
    const auto saved = SavedTracks(*model);
    events.reset();
    model.reset();
    const std::string partial = AlbumFolder() + ".vlx(1).tmp";
    ASSERT_TRUE(fs::exists(partial));
    const auto kept = fs::file_size(partial);
    EXPECT_GT(kept, 0u);

    model.reset(new DownloadModel(Vantor::Filesystem::FilesystemUtility::NewInstance()));
    events.reset(new ModelJournal(*model));
    const DownloadPtr restored(new DownloadModel::Download(*model, saved.at(0).get()));
    EXPECT_EQ(Download::Waiting, restored->GetState());
    EXPECT_EQ(partial, restored->GetLocalFilename());
    model->AddDownload(restored);
    Expect("P1 finished 1");
    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_EQ(static_cast<long long>(contents.size() - kept), restored->bytesReceived);
}

TEST_F(DownloadTest, FileAlreadyCompleteOnDiskIsOnlyRenamed)
{
    const std::string contents(5000, 'c');
    Partial(AlbumFolder(), contents);
    model->AddDownload(NewDownload(AlbumTrack("P1", store.Url("/gone/track.mp3?sig=1"),
                                              {{"fileSize", "5000"}, {"localFilename", AlbumFolder() + ".vlx(1).tmp"}})));
    Expect("P1 finished 1");
    EXPECT_EQ(std::vector<std::string>{kFinalName}, FilesIn(AlbumFolder()));
    EXPECT_EQ(contents, ReadFile(FinalFile()));
    EXPECT_TRUE(DownloadRequests().empty());
    EXPECT_EQ((std::vector<std::string>{"dm_ruq_dl_ok P1", "dm_ruq_retry_00 P1"}), Reports());
}

TEST_F(DownloadTest, FileArrivingAfterAnEarlierFinalFailureStillCompletesItsPlaylist)
{
    const std::string contents = ServeFile("a.mp3", 5000);
    WatchPlaylists("P1");
    model->AddDownload(NewDownload(AlbumTrack("P1", nginx.HttpUrl("/a.mp3"),
                                              {{"downloadState", "9"}, {"networkErrorType", "11"}, {"retryCount", "3"},
                                               {"finishedStateReported", "1"}, {"errorStateReported", "1"}})));
    Expect("P1 finished 1");
    EXPECT_TRUE(playlists.finished.WaitFor("Road 1 " + FinalFile()));
    EXPECT_TRUE(Reports().empty());
}

// A queue file's "localFilename" names no file of the user's: outside the music folder it
// is forgotten, inside it only a temporary file of ours is written or deleted.
TEST_F(DownloadTest, LocalFilenameFromAQueueFileNeverTouchesOtherFiles)
{
    const std::string contents = ServeFile("a.mp3", 5000);
    fs::create_directories(AlbumFolder());
    const std::vector<std::string> precious = {home.File("precious.txt"), AlbumFolder() + "mine.mp3",
                                               MusicFolder() + "../escaped.txt"};
    for (const std::string& file : precious)
        WriteFile(file, "precious");

    std::vector<DownloadPtr> downloads;
    for (size_t i = 0; i < precious.size(); ++i) {
        const std::string pcid = "P" + std::to_string(i);
        downloads.push_back(NewDownload(AlbumTrack(pcid, nginx.HttpUrl("/a.mp3"), {{"downloadState", "5"}, {"localFilename", precious[i]}})));
        model->AddDownload(downloads.back());
        Expect(pcid + " finished 1");
    }
    const DownloadPtr failed = NewDownload(
        AlbumTrack("F", nginx.HttpUrl("/a.mp3"), {{"downloadState", "9"}, {"expired", "1"}, {"localFilename", precious[1]}}));
    model->AddDownload(failed);
    EXPECT_EQ(precious[1], failed->GetLocalFilename());
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
    void OnStarted(const DownloadPtr)
    {
        Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, folder.c_str());
    }

private:
    std::string folder;
};

TEST_F(DownloadTest, PathThatCantBeMadeEndsInLocalFileError)
{
    ServeFile("a.mp3", 5000);
    const std::string partial = AlbumFolder() + ".vlx(1).tmp";
    std::string tooLong = home.Path();
    while (tooLong.size() < 3900)
        tooLong += "/" + std::string(200, 'm');
    MusicFolderMover mover(tooLong);
    model->DownloadStartedSignal.connect(&mover, &MusicFolderMover::OnStarted);

    const DownloadPtr renamed = NewDownload(AlbumTrack("P1", nginx.HttpUrl("/a.mp3")));
    model->AddDownload(renamed);
    Expect("P1 finished 8");
    EXPECT_EQ(partial, renamed->GetLocalFilename());
    EXPECT_EQ(5000u, fs::file_size(partial));

    // The next download can't even make its folder.
    model->AddDownload(NewDownload(AlbumTrack("P2", nginx.HttpUrl("/a.mp3"))));
    Expect("P2 finished 8");
    EXPECT_EQ(2u, log.LinesContaining("Unable to make a valid output path for: ").size());
    EXPECT_TRUE(Reports().empty());
}

} // namespace
