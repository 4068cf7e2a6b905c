// The queue's downloads against real servers and a real file system.
#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/syscall.h>

#include <cstddef>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesKeys;
using Vantor::Net::Download;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;
namespace fs = boost::filesystem;

namespace {

class TrackDownloadTest : public DownloadFixture, public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    ~TrackDownloadTest() override { disconnect_all(); }
    // Moves the music folder, once a transfer has begun, to `movedFolder`.
    void OnStarted(const DownloadPtr) { Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, movedFolder.c_str()); }
    // On the worker, as a transfer ends whole, before its file takes its final name.
    void OnStateChanged(const DownloadPtr download, Download::State state)
    {
        if (state == Download::Downloaded && whenDownloaded)
            whenDownloaded(download->GetLocalFilename());
    }

protected:
    std::string movedFolder;
    std::function<void(const std::string& partial)> whenDownloaded;
    std::string AlbumFolder() { return MusicFolder() + "AC_DC/Live_ 1991/"; }
    // A file as an earlier run or the user left it; its path.
    std::string Left(const std::string& path, const std::string& contents = "precious")
    {
        fs::create_directories(fs::path(path).parent_path());
        WriteFile(path, contents);
        return path;
    }
    DownloadPtr Add(const Fields& fields, DownloadModel::Origin origin = DownloadModel::Origin::QueueFile)
    {
        return Add(NewDownload(fields, origin));
    }
    DownloadPtr Add(const DownloadPtr& download) { return model->AddDownload(download), download; }
    // The entries of `pcid` holding each of `events`, in order.
    static Entries Of(const std::string& pcid, Entries events)
    {
        for (std::string& event : events)
            event = pcid + " " + event;
        return events;
    }
};

// How a run ends, fresh or from what an earlier run left: final name, one report, playlist mark,
// requests. A queue file's "localFilename" names no file at all: wherever it lies, in the music
// folder too, and however it looks, it is neither written nor deleted.
TEST_F(TrackDownloadTest, EachRunEndsWithItsFileReportsAndPlaylistMark)
{
    const std::string contents = ServeFile("a.mp3", 100 * 1000), complete(5000, 'c'), ok = "dl_ok retry_00";
    fs::create_directories(home.File("linked"));
    fs::create_symlink(home.File("linked"), MusicFolder() + "Linked");
    std::vector<std::string> named = {Left(home.File("precious.txt")), Left(home.File(".vlx(1).tmp")), Left(AlbumFolder() + "mine.mp3"),
                                      Left(MusicFolder() + "../escaped.txt"), Left(home.File("elsewhere/.vlx(1).tmp")),
                                      Left(MusicFolder() + ".vlx(1).tmp"), Left(MusicFolder() + "a/b/c/.vlx(1).tmp"),
                                      Left(AlbumFolder() + ".vlx(4).tmp"), Left(MusicFolder() + "Linked/B/.vlx(1).tmp")};
    const std::vector<std::string> precious = named;
    // Named as climbing out of the music folder.
    named.push_back(MusicFolder() + "../../" + fs::path(home.Path()).filename().string() + "/elsewhere/.vlx(1).tmp");
    struct Run {
        std::string pcid, location, end, file, reports; // `file`: the contents of the file it ends with
        Fields more;
        bool saved = false; // restored from the saved queue
    };
    std::vector<Run> runs = {
        {"OK", nginx.HttpUrl("/a.mp3"), "1", contents, ok, {}},
        // An expired link is tried once.
        {"EXP", store.Url("/status/400"), "9", "", "dl_expire", {}},
        // A failure reported by an earlier run (the queue saved it) fails again, unreported.
        {"AGAIN", store.Url("/status/500"), "9", "", "",
         {{"downloadState", "9"}, {"networkErrorType", "11"}, {"retryCount", "3"}, {"finishedStateReported", "1"}, {"errorStateReported", "1"}}},
        // Too little free space pauses before any transfer.
        {"FULL", store.Url("/a.mp3"), "3", "", "", {{"fileSize", "4611686018427387904"}}},
        // A file arriving after an earlier final failure still completes its playlist, unreported.
        {"LATE", nginx.HttpUrl("/a.mp3"), "1", contents, "",
         {{"downloadState", "9"}, {"networkErrorType", "11"}, {"retryCount", "3"}, {"finishedStateReported", "1"}, {"errorStateReported", "1"}}},
        // A partial file sent whole again by a server that ignores Range; one in the album folder
        // of a former music folder is dropped; one already complete is only renamed.
        {"RANGE", store.Url("/a.mp3"), "1", contents, ok, {{"downloadState", "3"}, {"localFilename", Left(AlbumFolder() + ".vlx(1).tmp", "xx")}}, true},
        {"MOVED", nginx.HttpUrl("/a.mp3"), "1", contents, ok, {{"localFilename", Left(home.File("Former/AC_DC/Live_ 1991/.vlx(1).tmp"), "x")}}, true},
        {"DONE", store.Url("/gone.mp3"), "1", complete, ok, {{"fileSize", "5000"}, {"localFilename", Left(AlbumFolder() + ".vlx(2).tmp", complete)}}, true},
        // Saved as downloaded before the file reached its final name.
        {"UNFILED", store.Url("/gone.mp3"), "1", complete, ok,
         {{"downloadState", "1"}, {"fileSize", "5000"}, {"localFilename", Left(AlbumFolder() + ".vlx(3).tmp", complete)}}, true},
    };
    const size_t fixedRuns = runs.size();
    for (const std::string& local : named)
        runs.push_back({"P" + std::to_string(runs.size() - fixedRuns), nginx.HttpUrl("/a.mp3"), "1", contents, ok,
                        {{"downloadState", "5"}, {"localFilename", local}}});
    Entries reports;
    std::map<std::string, std::string> arrived; // each file that arrived, and its contents
    int playlist = 0;
    for (const auto& run : runs) {
        ASSERT_TRUE(model->GetPlaylistLibrary().Create(run.pcid, {run.pcid}));
        const DownloadPtr download =
            Add(NewDownload(AlbumTrack(run.pcid, run.location, run.more), run.saved ? DownloadModel::Origin::SavedQueue : DownloadModel::Origin::QueueFile));
        Expect(run.pcid + " finished " + run.end);
        const std::string local = download->GetLocalFilename(), mark = "playlist " + std::to_string(++playlist) + " " + run.pcid + ": " + run.pcid + "/";
        EXPECT_EQ(run.end == "1" ? Entries{mark + local + "/1"} : run.reports == "dl_expire" ? Entries{mark + "/2"} : Entries{},
                  events->With(mark)) << "marked in its playlist";
        EXPECT_TRUE(run.end != "1" || local.find(AlbumFolder() + "(Disc 2) 07 - Intro") == 0) << local;
        if (run.end == "1")
            arrived[local] = run.file;
        std::istringstream tags(run.reports);
        for (std::string tag; tags >> tag;)
            reports.push_back("dm_ruq_" + tag + " " + run.pcid);
    }
    // Every later file of the same name got one of its own; none replaced another.
    EXPECT_EQ(named.size() + 6, arrived.size());
    for (const auto& file : arrived)
        EXPECT_TRUE(file.second == ReadFile(file.first)) << file.first;
    EXPECT_EQ(AlbumFolder() + "(Disc 2) 07 - Intro.mp3", model->GetDownloadAt(0)->GetLocalFilename());
    EXPECT_EQ(0, events->journal.Count("EXP state 7"));
    EXPECT_EQ(1, events->journal.Count("FULL diskfull") * events->journal.Count("FULL finished 3"));
    // A second work item (a resume before the first ran) finds it done: announced, unreported, unmarked.
    model->EnqueueForDownload(model->GetDownloadAt(0));
    Expect("OK finished 1", 2);
    EXPECT_EQ(1u, events->With(" OK: ").size());
    EXPECT_EQ((Entries{"/status/400", "/status/500", "/status/500", "/status/500", "/a.mp3"}), DownloadRequests());
    EXPECT_EQ(reports, Reports());
    // The saved queue remembers the expired link: loaded again, it is listed but not run.
    DownloadModel::Download restored(*model, SavedTracks(*model).at(1).get());
    EXPECT_FALSE(fs::exists(home.File("Former/AC_DC/Live_ 1991/.vlx(1).tmp"))) << "gone with the save";
    EXPECT_TRUE(restored.Expired());
    EXPECT_EQ("1", restored.GetTrack()->GetMetadataValue("expireStateReported"));
    for (const std::string& local : named)
        Add(AlbumTrack("F", nginx.HttpUrl("/a.mp3"), {{"downloadState", "9"}, {"expired", "1"}, {"localFilename", local}}))->Cancel();
    model->ClearFinished();
    SavedTracks(*model);
    for (const std::string& file : precious)
        EXPECT_EQ("precious", ReadFile(file)) << file;
}

// A partial file the saved queue names in the music folder of before the user chose another one
// goes with the first save that no longer names it, and a finished one there is kept where it is.
// Only a partial file where this program's naming put it is taken for one: not one a queue file
// from outside names, nor anything but a regular file, nor a file without the partial-file name,
// nor one directly in an artist folder, nor one reached through a link, also one put on the way
// after it was given up. No link is written through: neither one named as a partial file, nor one
// at the first free-looking partial-file name of the album folder.
TEST_F(TrackDownloadTest, APartialFileOfAFormerMusicFolderGoesOnlyWhenTheSavedQueueNamedIt)
{
    const std::string contents = ServeFile("a.mp3", 5000), precious = Left(home.File("precious.txt"));
    const std::string link = home.File("Link/A/B/.vlx(1).tmp"), inside = AlbumFolder() + ".vlx(5).tmp";
    const std::string dangling = AlbumFolder() + ".vlx(1).tmp", nowhere = home.File("nowhere.txt");
    const std::string album = "/AC_DC/Live_ 1991/", finished = home.File("Finished" + album + "(Disc 2) 07 - Intro.mp3");
    for (const auto& [from, to] : {std::pair{link, precious}, {inside, precious}, {dangling, nowhere},
                                   {home.File("Linked/AC_DC/Live_ 1991"), home.File("outside")}}) {
        fs::create_directories(fs::path(from).parent_path());
        fs::create_symlink(to, from);
    }
    const std::string outside = Left(home.File("outside/.vlx(1).tmp"), "old");
    fs::create_hard_link(Left(finished, contents), home.File("Finished" + album + ".vlx(1).tmp"));
    const struct {
        std::string pcid, partial;
        DownloadModel::Origin origin;
        bool gone;
        std::string state = "3";
    } cases[] = {
        {"SAVED", Left(home.File("Former" + album + ".vlx(1).tmp"), "old"), DownloadModel::Origin::SavedQueue, true},
        {"OUTSIDE", Left(home.File("Other/A/B/.vlx(1).tmp"), "old"), DownloadModel::Origin::QueueFile, false},
        {"LINK", link, DownloadModel::Origin::SavedQueue, false},
        {"INSIDE", inside, DownloadModel::Origin::QueueFile, false},
        {"NAMED", Left(home.File("Former" + album + "song.mp3"), "old"), DownloadModel::Origin::SavedQueue, false},
        {"ARTIST", Left(MusicFolder() + "AC_DC/.vlx(1).tmp", "old"), DownloadModel::Origin::SavedQueue, false},
        {"LINKED", home.File("Linked" + album + ".vlx(1).tmp"), DownloadModel::Origin::SavedQueue, false},
        // Killed after it took its final name, before a save said so.
        {"FINISHED", home.File("Finished" + album + ".vlx(1).tmp"), DownloadModel::Origin::SavedQueue, true, "1"},
    };
    for (const auto& c : cases) {
        const Fields fields = AlbumTrack(c.pcid, nginx.HttpUrl("/a.mp3"), {{"downloadState", c.state}, {"localFilename", c.partial}});
        Add(DownloadPtr(new DownloadModel::Download(*model, TrackElement(fields).get(), c.origin)));
        Expect(c.pcid + " finished 1");
        SavedTracks(*model);
        EXPECT_EQ(!c.gone, fs::exists(fs::symlink_status(c.partial))) << c.pcid;
    }
    EXPECT_EQ(finished, model->GetDownloadAt(7)->GetLocalFilename());
    for (unsigned i = 0; i < model->CountDownloads(); ++i)
        EXPECT_EQ(contents, ReadFile(model->GetDownloadAt(i)->GetLocalFilename()));
    // Given up, and then its album folder replaced by a link before a save let it go.
    const std::string given = Left(home.File("Given" + album + ".vlx(1).tmp"), "old");
    Add(NewDownload(AlbumTrack("GIVEN", "", {{"downloadState", "9"}, {"expired", "1"}, {"localFilename", given}}), DownloadModel::Origin::SavedQueue))
        ->Cancel();
    model->ClearFinished();
    fs::remove_all(home.File("Given/AC_DC/Live_ 1991"));
    fs::create_symlink(home.File("outside"), home.File("Given/AC_DC/Live_ 1991"));
    SavedTracks(*model);
    EXPECT_EQ("old", ReadFile(outside));
    EXPECT_EQ("precious", ReadFile(precious));
    EXPECT_TRUE(fs::is_symlink(dangling) && !fs::exists(nowhere));
}

// No file of the user's is written through or taken for a track, whatever name of the track's it
// has: a partial file with another name starts over under a new partial name, the other names left
// alone, and its other name in the album folder is its final name only when it holds the whole
// track; a link that leads nowhere takes its name; a link put in place of the partial file before
// it takes its final name fails the track, with no success told.
TEST_F(TrackDownloadTest, NoFileOfTheUsersIsWrittenThroughOrTakenForTheTrack)
{
    const std::string contents = ServeFile("a.mp3", 40000), part = contents.substr(0, 15000);
    const std::string small = Left(home.File("small.txt"), std::string(10000, 's')), big = Left(home.File("big.txt"), std::string(300000, 'b'));
    const struct {
        std::string pcid, partial; // `partial`: the saved partial file is that file's hard link, or holds that
        std::string second;        // another name of the partial file in the album folder
        std::string swapped;       // "symbolic" or "hard": a link to `small` or `big` put in place of the partial file
        std::string end, suffix = ""; // `suffix`: of the final name it arrives at
    } cases[] = {
        {"SMALL", small, "", "", "1"},
        {"BIG", big, "", "", "1"},
        {"PART", part, "mine.mp3", "", "1"},
        {"WHOLE", contents, "(Disc 2) 07 - WHOLE.mp3", "", "1"},
        {"DANGLING", "", "", "", "1", "(1)"},
        {"SYMBOLIC", "", "", "symbolic", "8"},
        {"HARD", "", "", "hard", "8"},
    };
    fs::create_directories(AlbumFolder());
    fs::create_symlink(home.File("nowhere.mp3"), AlbumFolder() + "(Disc 2) 07 - DANGLING.mp3");
    model->DownloadStateChangedSignal.connect<TrackDownloadTest>(this, &TrackDownloadTest::OnStateChanged);
    Entries reports;
    for (const auto& c : cases) {
        const std::string partial = AlbumFolder() + ".vlx(" + std::to_string(100 + (&c - cases)) + ").tmp";
        Fields fields = {{"title", c.pcid}, {"fileSize", std::to_string(contents.size())}, {"downloadState", "3"}};
        if (c.partial == small || c.partial == big)
            fs::create_hard_link(c.partial, partial);
        else if (!c.partial.empty())
            Left(partial, c.partial);
        if (!c.partial.empty())
            fields.emplace_back("localFilename", partial);
        if (!c.second.empty())
            fs::create_hard_link(partial, AlbumFolder() + c.second);
        whenDownloaded = [&c, &small, &big](const std::string& local) {
            if (c.swapped.empty())
                return;
            fs::remove(local);
            c.swapped == "symbolic" ? fs::create_symlink(small, local) : fs::create_hard_link(big, local);
        };
        const DownloadPtr download = Add(AlbumTrack(c.pcid, store.Url("/a.mp3?" + c.pcid), fields), DownloadModel::Origin::SavedQueue);
        Expect(c.pcid + " finished " + c.end);
        const std::string final = AlbumFolder() + "(Disc 2) 07 - " + c.pcid + c.suffix + ".mp3";
        EXPECT_EQ(c.end == "1", ReadFile(final) == contents) << c.pcid;
        EXPECT_EQ(c.end == "1", download->GetLocalFilename() == final) << c.pcid;
        if (c.end == "1")
            reports.insert(reports.end(), {"dm_ruq_dl_ok " + c.pcid, "dm_ruq_retry_00 " + c.pcid});
    }
    whenDownloaded = nullptr;
    SavedTracks(*model);
    EXPECT_EQ(std::string(10000, 's'), ReadFile(small));
    EXPECT_EQ(std::string(300000, 'b'), ReadFile(big));
    EXPECT_EQ(part, ReadFile(AlbumFolder() + "mine.mp3"));
    EXPECT_TRUE(fs::is_symlink(AlbumFolder() + "(Disc 2) 07 - DANGLING.mp3") && !fs::exists(home.File("nowhere.mp3")));
    for (const char* failed : {"SYMBOLIC", "HARD"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(AlbumFolder() + "(Disc 2) 07 - " + failed + ".mp3"))) << failed;
    const Entries requests = DownloadRequests();
    EXPECT_EQ(0, std::count(requests.begin(), requests.end(), "/a.mp3?WHOLE")) << "taken as it was";
    EXPECT_EQ(reports, Reports());
}

// A finished file waits for a save that holds it finished under its partial name, but the next
// transfer does not wait with it: one save that lands lets every file finished before it take its
// final name, and only then are their ends, and the queue's, announced.
TEST_F(TrackDownloadTest, AFinishedFileWaitsForItsSaveWithoutHoldingUpTheNextTransfer)
{
    const std::string contents = ServeFile("a.mp3", 5000);
    std::atomic<int> asked{0};
    model->SetSaver([&asked] { ++asked; });
    const DownloadPtr first = Add(AlbumTrack("A", nginx.HttpUrl("/a.mp3"), {{"title", "A"}}));
    const DownloadPtr second = Add(AlbumTrack("B", nginx.HttpUrl("/a.mp3"), {{"title", "B"}}));
    // Each asks for the save once its transfer has ended.
    ASSERT_TRUE(PollUntil([&asked] { return asked == 2; }));
    EXPECT_TRUE(events->With(" finished ").empty() && events->With("queue-finished").empty());
    const std::string partial = first->GetLocalFilename();
    EXPECT_TRUE(fs::path(partial).filename() == ".vlx(1).tmp" && contents == ReadFile(partial)) << partial;
    // The save holds both finished, under their partial names.
    for (const auto& track : SavedTracks(*model)) {
        const auto saved = DownloadModel::LoadTrack(track.get());
        EXPECT_EQ("1", saved->GetMetadataValue("downloadState"));
        EXPECT_TRUE(fs::path(saved->GetMetadataValue("localFilename")).filename().string().find(".vlx(") == 0);
    }
    EXPECT_EQ((Entries{"A finished 1", "B finished 1", "queue-finished"}), events->With("finished"));
    for (const DownloadPtr& download : {first, second})
        EXPECT_EQ(contents, ReadFile(download->GetLocalFilename()));
    EXPECT_EQ(AlbumFolder() + "(Disc 2) 07 - B.mp3", second->GetLocalFilename());
}

// A kill after a track took its final name and before the next save: the saved queue still has it
// finished under its temporary name, which the album's next track must not have taken. The next run
// takes the file found at its final name as it is, and the next track downloads into a file of its own.
TEST_F(TrackDownloadTest, AKillBetweenAFinishAndTheNextSaveCostsNoFile)
{
    const std::string first = ServeFile("1.mp3", 300 * 1000), second = ServeFile("2.mp3", 200 * 1000);
    const std::string saved = home.File("queue.vlx");
    // The child's model is its only thread.
    events.reset();
    model.reset();
    const pid_t child = fork();
    if (child == 0) {
        NewModel();
        // The save a finished file waits for, made at once.
        model->SetSaver([&] {
            OpenFile file(std::fopen(saved.c_str(), "wb"));
            const DownloadModel::SaveMark mark = model->Save(file.get());
            file.reset();
            model->SaveLanded(mark);
        });
        Add(AlbumTrack("A", store.Url("/slow/1.mp3"), {{"title", "One"}}));
        Add(AlbumTrack("B", store.Url("/slow/2.mp3"), {{"title", "Two"}}));
        events->journal.WaitFor("A finished 1") && events->journal.WaitFor("B progress");
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    NewModel();
    OpenFile file(std::fopen(saved.c_str(), "rb"));
    ASSERT_TRUE(file && model->AddTracks(file.get(), DownloadModel::Origin::SavedQueue) == DownloadModel::ImportResult::Added);
    Expect("A finished 1");
    Expect("B finished 1");
    EXPECT_EQ(AlbumFolder() + "(Disc 2) 07 - One.mp3", model->GetDownloadAt(0)->GetLocalFilename());
    EXPECT_EQ(AlbumFolder() + "(Disc 2) 07 - Two.mp3", model->GetDownloadAt(1)->GetLocalFilename());
    EXPECT_TRUE(first == ReadFile(model->GetDownloadAt(0)->GetLocalFilename()));
    EXPECT_TRUE(second == ReadFile(model->GetDownloadAt(1)->GetLocalFilename()));
    const Entries requests = DownloadRequests();
    EXPECT_EQ(1, std::count(requests.begin(), requests.end(), "/slow/1.mp3")) << "A was not fetched again";
    // Saved, and B's first partial file swept up as the program does at start: the two files alone.
    SavedTracks(*model);
    model->RemoveOrphanedPartialFiles();
    EXPECT_EQ(2, std::distance(fs::directory_iterator(AlbumFolder()), fs::directory_iterator()));
}

// From here on the kernel answers each of these system calls with its error, as a file system
// that lacks what they do would; false where such a filter is not allowed.
bool AnswerCalls(const std::vector<std::pair<long, int>>& calls)
{
    std::vector<sock_filter> filter = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (const auto& [call, error] : calls) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 1));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(error)));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program = {static_cast<unsigned short>(filter.size()), filter.data()};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Where links can't be made, whatever the file system answers, the finished file is renamed into
// place, never over anything at its final name (a link that leads nowhere takes its name too); only
// when the rename fails too is it a file error.
// Each in a child of its own, as the answers can't be taken back.
TEST_F(TrackDownloadTest, WithoutLinksTheFileIsRenamedIntoPlace)
{
    const std::string contents = ServeFile("a.mp3", 5000), taken = AlbumFolder() + "(Disc 2) 07 - TAKEN.mp3";
    fs::create_directories(AlbumFolder());
    fs::create_symlink(home.File("nowhere.mp3"), taken);
    const std::vector<std::pair<long, int>> renames = {{SYS_rename, EIO}, {SYS_renameat, EIO}, {SYS_renameat2, EIO}};
    const struct {
        std::string pcid;
        int linkError;
        std::vector<std::pair<long, int>> more;
        std::string end, suffix = ""; // `suffix`: of the name it arrives at
    } cases[] = {
        {"NOSYS", ENOSYS, {}, "1"}, {"NOTSUP", ENOTSUP, {}, "1"}, {"PERM", EPERM, {}, "1"}, {"XDEV", EXDEV, {}, "1"},
        {"MLINK", EMLINK, {}, "1"},
        // No rename that refuses to replace either.
        {"OLD", ENOSYS, {{SYS_renameat2, EINVAL}}, "1"},
        {"BOTH", ENOSYS, renames, "8"},
        {"TAKEN", EPERM, {}, "1", "(1)"},
    };
    events.reset();
    model.reset();
    for (const auto& c : cases) {
        const pid_t child = fork();
        if (child == 0) {
            std::vector<std::pair<long, int>> calls = {{SYS_link, c.linkError}, {SYS_linkat, c.linkError}};
            calls.insert(calls.end(), c.more.begin(), c.more.end());
            if (!AnswerCalls(calls))
                std::_Exit(2);
            NewModel();
            Add(AlbumTrack(c.pcid, nginx.HttpUrl("/a.mp3"), {{"title", c.pcid}}));
            std::_Exit(events->journal.WaitFor(c.pcid + " finished " + c.end) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
            GTEST_SKIP() << "no system call filters here";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.pcid;
        EXPECT_EQ(c.end == "1", ReadFile(AlbumFolder() + "(Disc 2) 07 - " + c.pcid + c.suffix + ".mp3") == contents) << c.pcid;
    }
    EXPECT_TRUE(fs::is_symlink(taken) && !fs::exists(home.File("nowhere.mp3")));
    NewModel();
}

// A cut body is resumed after one pause between tries, which can't be paused; a third failure
// ends the run with one failure report; a cancel during the pause ends it and the run at once.
TEST_F(TrackDownloadTest, FailedTriesAreRepeatedAfterAPause)
{
    const std::string contents = ServeFile("a.mp3", 200 * 1000);
    const DownloadPtr cut = Add(AlbumTrack("CUT", store.Url("/cut-once/a.mp3")));
    const DownloadPtr failing = Add(AlbumTrack("FAIL", store.Url("/status/500")));
    const DownloadPtr canceled = Add(AlbumTrack("STOP", store.Url("/status/500?stop")));
    Expect("CUT state 7");
    cut->Pause();
    EXPECT_EQ(Download::Retrying, cut->GetState());
    Expect("STOP state 7");
    const std::string partial = canceled->GetLocalFilename();
    canceled->Cancel();
    EXPECT_EQ(Download::Canceled, canceled->GetState());
    // Well before the 5 s of the pause are over.
    EXPECT_TRUE(PollUntil([&] { return events->journal.Count("STOP finished 5") == 1; }, std::chrono::seconds(2)));
    Expect("queue-finished");
    EXPECT_EQ(Of("CUT", {"state 2", "state 9", "state 7", "state 2", "state 1"}), events->With("CUT state "));
    EXPECT_EQ(Of("FAIL", {"state 2", "state 9", "state 7", "state 2", "state 9", "state 7", "state 2", "state 9"}), events->With("FAIL state "));
    EXPECT_EQ(Of("STOP", {"state 2", "state 9", "state 7", "state 5"}), events->With("STOP state "));
    EXPECT_EQ((Entries{"CUT finished 1", "FAIL finished 9", "STOP finished 5"}), events->With(" finished "));
    EXPECT_EQ(contents, ReadFile(cut->GetLocalFilename()));
    EXPECT_EQ(static_cast<long long>(contents.size() - contents.size() / 2), cut->bytesReceived);
    EXPECT_EQ("3", failing->GetTrack()->GetMetadataValue("retryCount"));
    EXPECT_EQ("1", DownloadModel::Download(*model, SavedTracks(*model).at(1).get()).GetTrack()->GetMetadataValue("errorStateReported"));
    EXPECT_FALSE(fs::exists(partial)) << "gone with the save after the cancel";
    EXPECT_EQ((Entries{"Download failed. Retry: 1 of 2", "Download failed. Retry: 2 of 2"}), log.LinesContaining("Retry:"));
    EXPECT_EQ((Entries{"/cut-once/a.mp3", "/cut-once/a.mp3", "/status/500", "/status/500", "/status/500", "/status/500?stop"}), DownloadRequests());
    EXPECT_EQ((Entries{"dm_ruq_dl_ok CUT", "dm_ruq_retry_01 CUT", "dm_ruq_dl_fail FAIL", "dm_ruq_dl_err500 FAIL"}), Reports());
}

// Reports the store did not answer go with the saved queue, also once their track is cleared; the
// program's own saved queue brings them back to be sent, a queue file from outside never does.
TEST_F(TrackDownloadTest, AReportTheStoreDidNotAnswerComesBackOnlyFromTheSavedQueue)
{
    ServeFile("a.mp3", 5000);
    WriteFile(files.File("report-answer"), "/nothing");
    Add(AlbumTrack("OK", nginx.HttpUrl("/a.mp3")));
    Expect("OK finished 1");
    const Entries reports = {"dm_ruq_dl_ok OK", "dm_ruq_retry_00 OK"};
    EXPECT_EQ(reports, Reports());
    model->ClearFinished();
    const std::string saved = home.File("saved.vlx");
    model->Save(OpenFile(std::fopen(saved.c_str(), "wb")).get());
    fs::remove(files.File("report-answer"));
    for (const DownloadModel::Origin origin : {DownloadModel::Origin::QueueFile, DownloadModel::Origin::SavedQueue})
        EXPECT_EQ(DownloadModel::ImportResult::Added, model->AddTracks(OpenFile(std::fopen(saved.c_str(), "rb")).get(), origin));
    EXPECT_EQ((Entries{reports[0], reports[1], reports[0], reports[1]}), Reports());
}

// Only the whole file from its first byte is finished: what the local part and the answer make
// together, whatever the track's "fileSize" says (here a little off); a whole file shorter than the
// local part replaces it. Any other answer is a failed try (retried after a pause, here canceled in
// it) that never takes the final name nor leaves more than a file: a part whose body ends before or
// after its range, or that names two, a coded body, a page however its type is written are no
// track, an endless body is cut off and emptied, a redirect's that never ends too. A redirect's range
// or type says nothing of the file.
TEST_F(TrackDownloadTest, OnlyAnAnswerThatCompletesTheFileFinishesIt)
{
    const std::string contents = ServeFile("a.mp3", 5000), head = contents.substr(0, 1000);
    const struct {
        std::string pcid, path, partial;
        int type; // the failed try's network error type; -1: finished
        long long kept = -1; // the partial file's size after the failed try; -1: not looked at
    } answers[] = {
        {"CUT", "/cut/5000", "", Download::TransferInterrupted},
        {"LATER", "/range-from/2000/a.mp3", head, Download::RangeError},
        {"SHORT", "/range-from/1000/a.mp3?last=2999", head, Download::RangeError},
        {"UNASKED", "/range-from/1000/a.mp3", "", Download::RangeError},
        {"NOWHERE", "/redirect", "", Download::HttpError},
        {"LOOP", "/loop", "", Download::UnknownError},
        {"UNPLACED", "/status/206", "", Download::RangeError},
        {"UNSIZED", "/range-from/0/a.mp3?last=999&total=*", "", Download::RangeError},
        {"RANGED", "/redirect?range=bytes%200-10/11&to=/status/206", "", Download::RangeError},
        {"EMPTY", "/status/200?body=", "", Download::NothingReceived},
        {"PAGE", "/status/200?type=Text/HTML;%20charset=utf-8", "", Download::HttpError},
        {"XHTML", "/status/200?type=application/xhtml%2Bxml", "", Download::HttpError},
        {"QUOTED", "/status/200?type=%20%22TEXT/Html%22%20;%20charset=utf-8", "", Download::HttpError},
        {"CODED", "/status/200?coding=gzip", "", Download::BadContentEncoding},
        // A field folded onto a second line is one value; a blank before a colon is no header.
        {"FOLDED", "/status/200?header=Content-Encoding:%0D%0A%20gzip", "", Download::BadContentEncoding},
        {"FOLDEDPAGE", "/status/200?header=Content-Type:%0D%0A%09text/html", "", Download::HttpError},
        {"SPACED", "/status/200?header=Content-Encoding%20:%20gzip", "", Download::UnknownError},
        {"SPACEDPAGE", "/status/200?header=Content-Type%20:text/html", "", Download::UnknownError},
        {"HALF", "/range-from/0/a.mp3?send=2500", "", Download::TransferInterrupted},
        {"CLOSED", "/range-from/1000/a.mp3?send=1500&unannounced", head, Download::TransferInterrupted},
        {"TWICE", "/range-from/1000/a.mp3?range=bytes%200-4999/5000", head, Download::RangeError},
        {"LONG", "/range-from/1000/a.mp3?last=3999&total=4000&send=4000", head, Download::RangeError},
        {"ENDLESS", "/endless", "", Download::TransferInterrupted},
        {"ENDLESSREDIRECT", "/endless-redirect?to=/a.mp3", "", Download::HttpError},
        // A partial file longer than the file, refused as a range or sent over whole and broken
        // off: nothing of the old data stays.
        {"OVERLONG", "/status/416?range=bytes%20*/5000", contents + "stale", Download::RangeError, 0},
        {"BROKEN", "/cut/5000", std::string(3000, 'x'), Download::TransferInterrupted, 2500},
        // A refusal of a range never asked for, or of one whose file the track's size says is longer.
        {"UNRANGED", "/status/416?range=bytes%20*/0", "", Download::HttpError, 0},
        {"UNFINISHED", "/status/416?range=bytes%20*/1000", head, Download::HttpError, 1000},
        {"WHOLE", "/a.mp3", "", -1},
        {"NOLENGTH", "/nolength/a.mp3", "", -1},
        {"RESUMED", "/range-from/1000/a.mp3", head, -1},
        {"EARLIER", "/range-from/500/a.mp3", head, -1},
        {"VIAPAGE", "/redirect?type=text/html&to=/a.mp3", "", -1},
        {"LONGER", "/a.mp3", contents + "stale", -1},
    };
    for (const auto& answer : answers) {
        // The save after each end frees the temporary name for the next.
        SavedTracks(*model);
        const std::string temporary = AlbumFolder() + ".vlx(1).tmp";
        Fields fields = {{"fileSize", "4900"}};
        if (!answer.partial.empty())
            fields.emplace_back("localFilename", Left(temporary, answer.partial));
        const DownloadPtr download = Add(NewDownload(AlbumTrack(answer.pcid, store.Url(answer.path), fields), DownloadModel::Origin::SavedQueue));
        if (answer.type < 0) {
            Expect(answer.pcid + " finished 1");
            continue;
        }
        Expect(answer.pcid + " state 7");
        EXPECT_EQ(temporary, download->GetLocalFilename()) << answer.pcid;
        EXPECT_LE(fs::file_size(temporary), contents.size()) << answer.pcid;
        download->Cancel();
        Expect(answer.pcid + " finished 5");
        if (answer.kept >= 0) {
            EXPECT_EQ(answer.kept, static_cast<long long>(fs::file_size(temporary))) << answer.pcid;
        }
        EXPECT_EQ(answer.type, download->networkErrorType) << answer.pcid;
        EXPECT_EQ(0, events->journal.Count(answer.pcid + " state 1")) << answer.pcid;
    }
    EXPECT_EQ(302, model->GetDownloadAt(4)->httpResponseCode);
    SavedTracks(*model);
    size_t files = 0;
    for (const fs::directory_entry& file : fs::directory_iterator(AlbumFolder())) {
        EXPECT_EQ(contents, ReadFile(file.path().string())) << file.path();
        ++files;
    }
    EXPECT_EQ(6u, files);
}

// Through an HTTP proxy only the server's own answer counts, not the proxy's word that its tunnel
// stands: an https resume continues its partial file, and a tunnel to no https server leaves it be.
TEST_F(TrackDownloadTest, AnHttpsResumeThroughAProxyContinuesItsPartialFile)
{
    const std::string contents = ServeFile("a.mp3", 5000), mine(1000, 'm'), temporary = AlbumFolder() + ".vlx(1).tmp";
    ProxyServer proxy(ProxyServer::Http);
    Download::SetCertificateAuthorityFile(nginx.CertificateFile().c_str());
    Download::SetProxyHost(Download::ProxyHost(Download::ProxyHost::HTTP, "127.0.0.1", proxy.Port(), "", ""));
    const auto saved = DownloadModel::Origin::SavedQueue;
    const DownloadPtr resumed = Add(AlbumTrack("RESUMED", nginx.HttpsUrl("/a.mp3"), {{"localFilename", Left(temporary, mine)}}), saved);
    Expect("RESUMED finished 1");
    EXPECT_TRUE(mine + contents.substr(mine.size()) == ReadFile(resumed->GetLocalFilename()));
    EXPECT_EQ(206, resumed->httpResponseCode);
    SavedTracks(*model);
    const DownloadPtr nowhere =
        Add(AlbumTrack("NOWHERE", "https" + store.Url("/a.mp3").substr(4), {{"localFilename", Left(temporary, mine)}}), saved);
    Expect("NOWHERE state 7");
    nowhere->Cancel();
    Expect("NOWHERE finished 5");
    EXPECT_EQ(mine, ReadFile(temporary));
    Download::SetProxyHost(Download::ProxyHost());
}

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

// The real file system, whose look at the free space waits while `held`: a run held there has
// taken its download but not begun the transfer.
class HoldingFilesystem : public Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility {
public:
    std::atomic<bool> held{true};
    std::atomic<int> looks{0};
    unsigned long long GetFreeSpaceInBytes(const char* path) override
    {
        ++looks;
        while (held)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return LinuxFilesystemUtility::GetFreeSpaceInBytes(path);
    }
};

// A pause or cancel while a run prepares its file ends the run, which announces it once.
TEST_F(TrackDownloadTest, APauseOrCancelBeforeTheTransferEndsTheRunAnnouncedOnce)
{
    ServeFile("a.mp3", 1000);
    const boost::shared_ptr<HoldingFilesystem> filesystem(new HoldingFilesystem);
    NewModel(filesystem);
    const std::vector<std::pair<std::string, void (Download::*)()>> stops = {{"finished 3", &Download::Pause}, {"finished 5", &Download::Cancel}};
    for (size_t i = 0; i < stops.size(); ++i) {
        filesystem->held = true;
        const DownloadPtr download = Add(AlbumTrack(std::to_string(i), nginx.HttpUrl("/a.mp3")));
        ASSERT_TRUE(PollUntil([&] { return filesystem->looks == static_cast<int>(i + 1); }, std::chrono::seconds(5)));
        (download.get()->*stops[i].second)();
        filesystem->held = false;
        Expect("queue-finished", static_cast<int>(i + 1));
        EXPECT_EQ((Entries{std::to_string(i) + " " + stops[i].first}), events->With(std::to_string(i) + " finished "));
    }
}

// Pause keeps the partial file, resume finishes it, cancel gives it up (gone with the next save); a
// model destroyed mid-transfer (even with a download that throws on cancel), or while a finished
// file waits for a save to name it (and clearing passes over it), keeps it for the next run's saved
// queue, which is saved again and again while it is finished.
TEST_F(TrackDownloadTest, PartialFilesArePausedResumedCanceledAndOutliveTheModel)
{
    const std::string contents = ServeFile("a.mp3", 1000 * 1000);
    model->SetSaver([] {});
    const DownloadPtr unsaved = Add(AlbumTrack("P0", nginx.HttpUrl("/a.mp3")));
    Expect("P0 state 1");
    model->ClearFinished();
    EXPECT_EQ(1u, model->CountDownloads()) << "not finished while it waits";
    NewModel();
    EXPECT_EQ(contents, ReadFile(unsaved->GetLocalFilename()));
    EXPECT_FALSE(fs::exists(AlbumFolder() + "(Disc 2) 07 - Intro.mp3"));
    const auto start = [&](const DownloadPtr& download) {
        Expect(Add(download)->GetPCID() + " progress");
        return download;
    };
    const auto finish = [&](const DownloadPtr& download) {
        const auto kept = fs::file_size(download->GetLocalFilename());
        EXPECT_GT(kept, 0u);
        download->GetState() == Download::Paused ? download->Resume() : model->AddDownload(download);
        Expect(download->GetPCID() + " finished 1");
        EXPECT_EQ(contents, ReadFile(download->GetLocalFilename()));
        EXPECT_EQ(static_cast<long long>(contents.size() - kept), download->bytesReceived);
    };
    const DownloadPtr paused = start(NewDownload(AlbumTrack("P1", nginx.HttpUrl("/slow/a.mp3"))));
    paused->Pause();
    Expect("P1 finished 3");
    finish(paused);
    EXPECT_EQ(1, events->journal.Count("P1 finished 3"));
    const DownloadPtr canceled = start(NewDownload(AlbumTrack("P2", nginx.HttpUrl("/slow/a.mp3"))));
    const std::string partial = canceled->GetLocalFilename();
    canceled->Cancel();
    Expect("P2 finished 5");
    SavedTracks(*model);
    EXPECT_FALSE(fs::exists(partial));
    start(DownloadPtr(new ThrowingOnCancel(*model, TrackElement(AlbumTrack("P3", nginx.HttpUrl("/slow/a.mp3"))).get())));
    const auto saved = SavedTracks(*model);
    NewModel();
    EXPECT_EQ(1u, log.LinesContaining("a download failed to cancel").size());
    const DownloadPtr restored(new DownloadModel::Download(*model, saved.at(2).get(), DownloadModel::Origin::SavedQueue));
    EXPECT_EQ(Download::Waiting, restored->GetState());
    {
        RepeatingCall saving([&] { SavedTracks(*model); });
        finish(restored);
    }
    EXPECT_EQ((Entries{"dm_ruq_dl_ok P1", "dm_ruq_retry_00 P1", "dm_ruq_dl_ok P3", "dm_ruq_retry_00 P3"}), Reports());
}

// The real file system, telling of more free space than there is: a transfer runs into a full disk.
class RoomyFilesystem : public Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility {
public:
    unsigned long long GetFreeSpaceInBytes(const char* path) override
    {
        return LinuxFilesystemUtility::GetFreeSpaceInBytes(path) + (1ULL << 30);
    }
};

// A small file system on the music folder, in a child; passed over where mounting is not allowed. A
// transfer stops short of the room the start kept free (here none), or runs into a disk full after
// all; either way the track pauses. A part short of its size is kept for the resume; a body that
// reached its size was running past it, and nothing of it is kept.
TEST_F(TrackDownloadTest, DiskFillingUpDuringTheTransferPausesKeepingWhatLiesWithinTheTrack)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ServeFile("big.mp3", 300 * 1000);
    const struct {
        std::string pcid, size;
        bool roomy;
        long long kept; // -1: some
    } cases[] = {{"WATCHED", "1000", false, 0}, {"FULL", "1000", true, 0}, {"WITHIN", "200000", true, -1}};
    EXPECT_EXIT(
        {
            std::string outcome;
            for (const auto& c : cases) {
                events.reset();
                model.reset();
                if (!MountPrivateTmpfs(MusicFolder(), 64 * 1024)) {
                    std::fputs("skip", stderr);
                    std::_Exit(0);
                }
                NewModel(c.roomy ? boost::shared_ptr<RoomyFilesystem>(new RoomyFilesystem)
                                 : Vantor::Filesystem::FilesystemUtility::NewInstance());
                const DownloadPtr download = Add(AlbumTrack(c.pcid, nginx.HttpUrl("/big.mp3"), {{"fileSize", c.size}}));
                const bool paused = events->journal.WaitFor(c.pcid + " finished 3")
                    && events->journal.Count(c.pcid + " diskfull") == 1 && events->journal.Count(c.pcid + " finished 3") == 1;
                const long long kept = static_cast<long long>(fs::file_size(download->GetLocalFilename()));
                const bool keptRight = kept == c.kept || (c.kept < 0 && kept > 0);
                outcome += c.pcid + (paused && keptRight ? " ok " : " kept " + std::to_string(kept) + " ");
            }
            std::fputs(outcome.c_str(), stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^(WATCHED ok FULL ok WITHIN ok |skip)$");
}

// The real file system, but one of `capacity` bytes that holds only the music folder.
class SmallFilesystem : public Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility {
public:
    SmallFilesystem(const std::string& folder, unsigned long long capacity) : folder(folder), capacity(capacity) {}
    unsigned long long GetFreeSpaceInBytes(const char*) override
    {
        unsigned long long used = 0;
        for (const fs::directory_entry& file : fs::recursive_directory_iterator(folder))
            used += fs::is_regular_file(file.status()) ? fs::file_size(file.path()) : 0;
        return used < capacity ? capacity - used : 0;
    }

private:
    const std::string folder;
    const unsigned long long capacity;
};

// A track without a size may leave no less free space than its start asked for (100 MiB): an
// endless body stops short of it as on a full disk, and what it wrote is emptied. A track with a
// size is bounded by its size.
TEST_F(TrackDownloadTest, ATrackWithoutASizeStopsBeforeTheDiskFills)
{
    const std::string contents = ServeFile("big.mp3", 3 << 20);
    NewModel(boost::shared_ptr<SmallFilesystem>(new SmallFilesystem(MusicFolder(), (100ULL << 20) + (2 << 20))));
    const DownloadPtr endless = Add(AlbumTrack("ENDLESS", store.Url("/endless")));
    Expect("ENDLESS finished 3");
    EXPECT_EQ(1, events->journal.Count("ENDLESS diskfull"));
    EXPECT_EQ(0u, fs::file_size(endless->GetLocalFilename()));
    const DownloadPtr sized = Add(AlbumTrack("SIZED", nginx.HttpUrl("/big.mp3"), {{"fileSize", std::to_string(contents.size())}}));
    Expect("SIZED finished 1");
    EXPECT_TRUE(contents == ReadFile(sized->GetLocalFilename()));
    EXPECT_EQ((Entries{"dm_ruq_dl_ok SIZED", "dm_ruq_retry_00 SIZED"}), Reports());
}

// The real file system, where a file appears at each partial-file name as soon as it is found free.
class TakenFilesystem : public Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility {
public:
    std::string GetTemporaryFilename(const char* directory) override
    {
        const std::string name = LinuxFilesystemUtility::GetTemporaryFilename(directory);
        WriteFile(name, "precious");
        return name;
    }
};

// Only the parts of a path from metadata are cleaned; one that can't be made is a local file error,
// and so is a partial-file name that something took after it was found free: that file is left alone.
TEST_F(TrackDownloadTest, PathThatCantBeMadeEndsInLocalFileError)
{
    ServeFile("a.mp3", 5000);
    NewModel(boost::shared_ptr<TakenFilesystem>(new TakenFilesystem));
    Add(AlbumTrack("P", nginx.HttpUrl("/a.mp3")));
    Expect("P finished 8");
    EXPECT_EQ("precious", ReadFile(AlbumFolder() + ".vlx(1).tmp"));
    NewModel();
    Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, (home.Path() + "/My:Music*/").c_str());
    EXPECT_EQ(home.Path() + "/My:Music*/AC_DC/Live_ 1991/", NewDownload(AlbumTrack("P0", ""))->GetOutputDirectory());
    // Once the transfer has begun, the music folder becomes one too long for any album folder.
    for (movedFolder = home.Path(); movedFolder.size() < 3900;)
        movedFolder += "/" + std::string(200, 'm');
    model->DownloadStartedSignal.connect<TrackDownloadTest>(this, &TrackDownloadTest::OnStarted);
    const DownloadPtr renamed = Add(AlbumTrack("P1", nginx.HttpUrl("/a.mp3")));
    Expect("P1 finished 8");
    EXPECT_EQ(5000u, fs::file_size(renamed->GetLocalFilename()));
    // The next download can't even make its folder.
    Add(AlbumTrack("P2", nginx.HttpUrl("/a.mp3")));
    Expect("P2 finished 8");
    EXPECT_EQ(2u, log.LinesContaining("Unable to make a valid output path for: ").size());
    EXPECT_TRUE(Reports().empty());
}

// What adding starts and announces, saving keeps, clearing removes (our partial files, playlists).
TEST_F(TrackDownloadTest, QueueRunsWhatCanRunSavesEveryStateAndClearsByState)
{
    ServeFile("a.mp3", 5000);
    Add({{"PCID", "done"}, {"downloadState", "1"}});
    const auto saved = DownloadModel::Origin::SavedQueue;
    const DownloadPtr canceled =
        Add(AlbumTrack("canceled", "", {{"downloadState", "9"}, {"expired", "1"}, {"localFilename", Left(AlbumFolder() + ".vlx(1).tmp")}}), saved);
    Add(AlbumTrack("failed", "", {{"downloadState", "9"}, {"expired", "1"}, {"localFilename", Left(AlbumFolder() + ".vlx(2).tmp")}}), saved);
    Add({{"PCID", "marked"}, {"downloadState", "8"}, {"expired", "1"}});
    Add({{"PCID", "import"}, {"downloadState", "10"}});
    Add(AlbumTrack("paused", nginx.HttpUrl("/a.mp3"), {{"downloadState", "3"}}));
    Expect("paused finished 1");
    Expect("import finished 11");
    Expect("queue-finished");
    for (const std::string pcid : {"done", "canceled", "failed", "marked"})
        EXPECT_EQ(Entries{pcid + " added"}, events->With(pcid + " "));
    // The worker may start it before it is announced, but never before its reset.
    Entries paused = events->With("paused ");
    const auto added = std::find(paused.begin(), paused.end(), "paused added");
    ASSERT_TRUE(added != paused.end() && added != paused.begin());
    paused.erase(added);
    EXPECT_EQ(Of("paused", {"state 0", "state 2", "started", "state 1", "finished 1"}), paused);
    EXPECT_FALSE(model->HasActiveDownloads());
    EXPECT_THROW(model->GetDownloadAt(6), std::out_of_range);
    Entries restored;
    for (const auto& track : SavedTracks(*model)) {
        DownloadModel::Download download(*model, track.get(), saved);
        restored.push_back(download.GetPCID() + " " + std::to_string(download.GetState()) + " " + download.GetLocalFilename());
    }
    EXPECT_EQ((Entries{"done 1 ", "canceled 9 " + AlbumFolder() + ".vlx(1).tmp", "failed 9 " + AlbumFolder() + ".vlx(2).tmp", "marked 8 ",
                       "import 11 ", "paused 1 " + AlbumFolder() + "(Disc 2) 07 - Intro.mp3"}),
              restored);
    canceled->Cancel();
    ASSERT_TRUE(model->GetPlaylistLibrary().Create("Mix", {"done"}));
    model->ClearFinished();
    EXPECT_TRUE(fs::exists(AlbumFolder() + "(Disc 2) 07 - Intro.mp3"));
    EXPECT_EQ((Entries{"done removed", "canceled removed", "paused removed"}), events->With(" removed"));
    model->ClearErroneous();
    EXPECT_EQ(Entries{"import"}, QueuedPCIDs(*model));
    model->RemoveDownloadsHavingStates({Download::RetryingImport});
    EXPECT_EQ(0u, model->CountDownloads());
    model->GetPlaylistLibrary().SetTrackDownloaded("done", "/m/done.mp3");
    EXPECT_TRUE(events->With("playlist ").empty());
    // Until a save no longer names them, the cleared tracks' partial files stay, also through the
    // sweep for orphans, and no other track is given their names; one a queued download names
    // again stays on.
    model->RemoveOrphanedPartialFiles();
    Add(AlbumTrack("next", nginx.HttpUrl("/a.mp3")));
    Expect("next finished 1");
    EXPECT_EQ("precious", ReadFile(AlbumFolder() + ".vlx(1).tmp"));
    EXPECT_EQ("precious", ReadFile(AlbumFolder() + ".vlx(2).tmp"));
    Add(AlbumTrack("again", "", {{"downloadState", "9"}, {"expired", "1"}, {"localFilename", AlbumFolder() + ".vlx(2).tmp"}}), saved);
    SavedTracks(*model);
    EXPECT_FALSE(fs::exists(AlbumFolder() + ".vlx(1).tmp"));
    EXPECT_EQ("precious", ReadFile(AlbumFolder() + ".vlx(2).tmp"));
}

// The worker marks playlists and writes metadata while the main thread records, clears, reads and
// saves: what is left is whole, and a mark from another thread reaches the subscriber.
TEST_F(TrackDownloadTest, WorkerAndMainThreadShareLibraryAndTracks)
{
    auto& library = model->GetPlaylistLibrary();
    const auto track = NewDownload({{"title", "Intro"}})->GetTrack();
    int written = 0;
    {
        RepeatingCall worker([&] {
            library.SetTrackDownloaded("a", "/m/a.mp3");
            library.SetTrackExpired("B");
            track->SetMetadata("retryCount", Vantor::DigitalMedia::MusicClient::Downloader::StoreNamespace::Client(), std::to_string(written % 3));
            track->SetMetadata("downloadState", std::to_string(++written));
        });
        ASSERT_TRUE(worker.WaitForMoreCalls(1));
        for (int i = 0; i < 200; ++i) {
            ASSERT_TRUE(library.Create("Album", {"A", "B"}) && library.Create("Other", {"b", "C"}) && (i % 4 != 3 || library.Clear()));
            TiXmlElement trackList("trackList");
            track->Save(&trackList);
            ASSERT_TRUE(trackList.FirstChildElement("track") && track->GetMetadataValue("title") == "Intro");
            EXPECT_FALSE(track->GetMetadataValue("downloadState").empty());
        }
        ASSERT_TRUE(worker.WaitForMoreCalls(1));
    }
    EXPECT_EQ(std::to_string(written), track->GetMetadataValue("downloadState"));
    EXPECT_TRUE(DatabaseRows(home.File(".vantormp3/vantormp3.db"), "SELECT id FROM playlist_track WHERE playlist_id NOT IN (SELECT id FROM playlist)").empty());
    for (const std::string& mark : events->With("playlist "))
        EXPECT_TRUE(mark.find(" Album: ") != mark.npos && mark.find('!') == mark.npos) << mark;
    ASSERT_TRUE(library.Clear() && library.Create("Last", {"Z"}));
    std::thread([&] { library.SetTrackDownloaded("z", "/m/z.mp3"); }).join();
    EXPECT_EQ(1u, events->With(" Last: Z//m/z.mp3/1").size());
    EXPECT_TRUE(log.Lines().empty());
}

} // namespace
