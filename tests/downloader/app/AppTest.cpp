// The desktop program's lower layers; each test runs in its own process, preferences unloaded.
#include "core/diagnostic/Debug.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/reporting/AnsweredReports.h"
#include "downloader/app/DebugLog.h"
#include "downloader/app/Invokable.h"
#include "downloader/app/QueueFileWorker.h"
#include "core/settings/PreferencesKeys.h"
#include "downloader/app/UtilityBrowser.h"
#include "downloader/app/UtilityProxyPassword.h"
#include "downloader/app/UtilityStoredProxy.h"
#include "core/settings/UtilityPreferences.h"
#include "core/reporting/SavedReports.h"
#include "downloader/app/UtilityQueue.h"
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/QueueFile.h"
#include "tests/support/gui/MainLoop.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gdk/gdk.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <climits>
#include <csignal>
#include <numeric>
#include <sstream>

using namespace VantorTest;
using namespace Vantor::DigitalMedia::MusicClient::Downloader;
using Vantor::Diagnostic::Debug;
using Vantor::Filesystem::FilesystemUtility;
namespace fs = boost::filesystem;

namespace {

// Each line of a debug log: its text after a "[<ctime>] " stamp, or "unstamped: <line>".
Entries LoggedTexts(const std::string& contents)
{
    Entries texts;
    std::istringstream stream(contents);
    for (std::string line; std::getline(stream, line);) {
        std::tm time = {};
        const bool stamped = line.size() > 26 && strptime(line.c_str(), "[%a %b %e %H:%M:%S %Y] ", &time) == line.c_str() + 27;
        texts.push_back(stamped ? line.substr(27) : "unstamped: " + line);
    }
    return texts;
}

class AppTest : public MainLoopTest {
protected:
    // Collects what `guard` receives, on this thread, the main one; once `count` messages have come.
    Entries Received(SingleInstance& guard, size_t count)
    {
        if (!guard.AnotherInstanceMessageSignal.size())
            guard.AnotherInstanceMessageSignal.connect([this](std::string message) { ExpectMainThread(); received.push_back(message); });
        RunMainLoopUntil([&] { return received.size() >= count; });
        return received;
    }

    void ExpectMainThread() { EXPECT_EQ(mainThread, std::this_thread::get_id()); }
    // A queue file of one track, downloaded already.
    static std::string Purchase(const std::string& pcid = "P1")
    {
        QueueDocument document;
        document.regular.push_back({{{"location", "http://127.0.0.1:9/t.mp3"}, {"trackType", "mp3"}, {"downloadState", "1"}}, pcid});
        return document.Xml();
    }
    std::string Settings(const std::string& name) const { return home.File(".vantormp3/" + name); }

    ScopedHome home;
    const std::thread::id mainThread = std::this_thread::get_id();
    Entries received;
};

} // namespace

// A worker thread reads the music folder and logs while the main thread saves choices and takes
// the log down: one preferences object, loaded once; every logged line whole.
TEST_F(AppTest, PreferencesAndTheDebugLogServeEveryThread)
{
    const std::string chosen = home.File("Chosen") + "/", line(300, '.');
    WriteFile(Utility::PreferencesFilename(), "<preferences><setting type=\"2\" key=\"DownloadDirectory\">" + chosen +
                                                  "</setting></preferences>");
    setenv("RUQ_DEBUG_LEVEL", "verbose", 1);
    auto log = std::make_unique<DebugLog>();
    Journal progress;
    boost::shared_ptr<Vantor::Settings::Preferences> seen;
    std::thread worker([&] {
        seen = Utility::Preferences();
        for (int i = 0; i < 2000; ++i, i == 1000 ? progress.Add("halfway") : void()) {
            ASSERT_EQ(chosen, LinuxFilesystemUtility().GetSpecialDirectory(FilesystemUtility::MusicDirectory));
            Debug::LogString(line);
        }
    });
    const auto preferences = Utility::Preferences();
    for (int i = 0; i < 2000; ++i) {
        preferences->SetString(PreferencesKeys::DownloadDirectory, chosen.c_str());
        preferences->SetString(std::to_string(i).c_str(), "new key");
    }
    EXPECT_TRUE(progress.WaitFor("halfway"));
    log.reset();
    worker.join();
    EXPECT_EQ(preferences, seen);
    const Entries texts = LoggedTexts(ReadFile(Settings("debug.txt")));
    EXPECT_LE(1000u, texts.size());
    EXPECT_EQ(texts.size(), size_t(std::count(texts.begin(), texts.end(), line)));
}

// A save cut short (file-size limit, as a full disk) keeps the old file, fails silently, no temporary;
// a partial file given up meanwhile stays, as the old file names it.
TEST_F(AppTest, FailedSavesKeepTheOldFilesByteForByte)
{
    DownloadModel model(FilesystemUtility::NewInstance());
    const auto add = [&model](int number, const std::string& partial = "") {
        const auto track = TrackElement({{"PCID", "P" + std::to_string(number)}, {"downloadState", partial.empty() ? "1" : "8"},
                                         {"expired", "1"}, {"localFilename", partial}});
        model.AddDownload(DownloadPtr(new DownloadModel::Download(model, track.get(), DownloadModel::Origin::SavedQueue)));
    };
    const std::string partial = LinuxFilesystemUtility().GetMusicDirectory() + "Unknown albumPrimaryArtist/Unknown album/.vlx(1).tmp";
    fs::create_directories(fs::path(partial).parent_path());
    WriteFile(partial, "x");
    add(0, partial);
    ASSERT_TRUE(Utility::SavePreferences() && Utility::SaveDownloadQueue(model));
    model.ClearErroneous();
    const auto files = [] { return ReadFile(Utility::PreferencesFilename()) + ReadFile(Utility::DownloadQueueFilename()); };
    const auto entries = [this] { return std::distance(fs::directory_iterator(Settings("")), {}); };
    const std::string before = files();
    const long entriesBefore = entries();
    Utility::Preferences()->SetString("Big", std::string(200 * 1024, 'v').c_str());
    for (int i = 1; i < 300; ++i)
        add(i);
    int announced = 0;
    Utility::PreferencesSavedSignal().connect([&announced] { ++announced; });
    rlimit unlimited;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &unlimited));
    const rlimit limited = {16 * 1024, unlimited.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
    const bool saved = Utility::SavePreferences() || Utility::SaveDownloadQueue(model);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved || announced);
    EXPECT_TRUE(files() == before);
    EXPECT_EQ(entriesBefore, entries());
    EXPECT_TRUE(fs::exists(partial));
}

// The stored proxy reaches the transfer engine only while it is on, of a type the engine knows and
// with a port: anything else (a hand-edited file) is a direct connection, and logged.
TEST(StoredProxy, ReachesTheEngineOnlyWithAKnownTypeAndAPort)
{
    LogRecorder log;
    Entries logged;
    const struct {
        int enabled, type, port;
        const char* used; // type host:port user:password, or "direct"
        const char* logged;
    } cases[] = {{1, 0, 3128, "0 proxy.local:3128 ann:secret", ""}, {1, 4, 1, "4 proxy.local:1 ann:secret", ""},
                 {1, 5, 65535, "5 proxy.local:65535 ann:secret", ""}, {0, 5, 1080, "direct", ""}, {1, -1, 1080, "direct", ""},
                 {1, 8, 1080, "direct", "ProxyServerType 8"}, {1, 1, 1080, "direct", "ProxyServerType 1"},
                 {1, INT_MIN, 1080, "direct", "ProxyServerType -2147483648"}, {1, 0, 0, "direct", "ProxyServerPort 0"},
                 {1, 4, 65536, "direct", "ProxyServerPort 65536"}, {1, 5, -1080, "direct", "ProxyServerPort -1080"}};
    for (const auto& c : cases) {
        Vantor::Settings::Preferences stored;
        stored.SetBool(PreferencesKeys::ProxyServerEnabled, c.enabled);
        stored.SetInt(PreferencesKeys::ProxyServerType, c.type);
        stored.SetInt(PreferencesKeys::ProxyServerPort, c.port);
        stored.SetString(PreferencesKeys::ProxyServerAddress, "proxy.local");
        stored.SetString(PreferencesKeys::ProxyServerUsername, "ann");
        stored.SetString(PreferencesKeys::ProxyServerPassword, Utility::ProtectProxyPassword("secret").c_str());
        const Vantor::Net::Download::ProxyHost proxy = Utility::StoredProxyHost(stored);
        EXPECT_EQ(c.used, proxy.host.empty() ? "direct" : std::to_string(proxy.type) + " " + proxy.host + ":" + std::to_string(proxy.port)
                                                             + " " + proxy.user + ":" + proxy.password);
        if (*c.logged)
            logged.push_back("Preferences: ignoring " + std::string(c.logged) + ", which the transfer engine can't take");
        EXPECT_EQ(logged, log.Lines()) << c.type << " " << c.port;
    }
}

// The file a command names is the file imported, and the one deleted once the saved queue holds
// it: relative names are made absolute where they were given, addresses decoded. A relative name
// from elsewhere, a name of no file or of no regular file, touches nothing; nor is the saved queue
// deleted under another name. Imports run in the background in the order asked, each told on the
// main thread: the saved queue, imported last, holds the files imported before it.
TEST_F(AppTest, TheFileNamedIsTheFileImportedAndTheOnlyOneDeleted)
{
    const ScopedCurrentDirectory current(home.Path());
    fs::create_directories("sub");
    ASSERT_EQ(0, mkfifo("fifo.vlx", 0600));
    const auto model = boost::make_shared<DownloadModel>(FilesystemUtility::NewInstance());
    ASSERT_TRUE(Utility::SaveDownloadQueue(*model));
    int announced = 0;
    Utility::VLXEnqueuedSignal().connect([this, &announced] { ExpectMainThread(); ++announced; });
    const struct {
        std::string file, argument; // `argument` names `file`, or not; "=" marks a command from elsewhere
        bool imported;
    } cases[] = {{"sub/a.vlx", "sub/a.vlx", true},
                 {"b c%.vlx", "file://" + home.File("b%20c%25.vlx"), true},
                 {"d\xFF.vlx", "d\xFF.vlx", true},
                 {"e.vlx", "=e.vlx", false},
                 {"f.vlx", "x" + home.File("f.vlx"), false},
                 {"", "fifo.vlx", false},
                 {"", "file://elsewhere" + home.File("g.vlx"), false},
                 {".vantormp3/DownloadQueue.vlx", ".vantormp3/./DownloadQueue.vlx", true}};
    {
        QueueFileWorker queueFiles(model);
        for (const auto& c : cases) {
            if (!c.file.empty() && !fs::exists(c.file))
                WriteFile(c.file, Purchase(std::to_string(&c - cases)));
            queueFiles.Import(c.argument[0] == '=' ? c.argument.substr(1) : Utility::CommandFromArgument(c.argument), nullptr);
        }
        queueFiles.Finish();
    }
    EXPECT_EQ(4, announced);
    EXPECT_EQ((Entries{"0", "1", "2", "0", "1", "2"}), QueuedPCIDs(*model));
    for (const auto& c : cases)
        EXPECT_EQ(!c.imported || c.file == cases[7].file, c.file.empty() || fs::exists(c.file)) << c.argument;
    EXPECT_TRUE(fs::exists("fifo.vlx"));
}

// Notes whether a file is there as each download starts, on the worker.
struct FileAtStarts : sigslot::has_slots<sigslot::multi_threaded_local> {
    FileAtStarts(DownloadModel& model, const std::string& file) : file(file)
    {
        model.DownloadStartedSignal.connect(this, &FileAtStarts::OnStarted);
    }
    ~FileAtStarts() override { disconnect_all(); }
    void OnStarted(const DownloadPtr started)
    {
        seen.Add(started->GetPCID() + (fs::exists(file) ? " file there" : " file gone"));
    }
    const std::string file;
    Journal seen;
};

using PurchaseImport = DownloadFixture;

// A purchase's tracks start only once the saved queue holds them and its file is gone: killed after
// one started, the program never leaves the file to be opened again, which would queue it twice.
TEST_F(PurchaseImport, ItsTracksStartOnlyOnceItsFileIsGone)
{
    const std::string purchase = home.File("purchase.vlx");
    QueueDocument document;
    for (const char* pcid : {"P1", "P2"})
        document.regular.push_back({{{"location", store.Url("/stall/100000")}, {"trackType", "mp3"}}, pcid});
    WriteFile(purchase, document.Xml());
    FileAtStarts starts(*model, purchase);
    // The import stops at its second track, the first one queued. Free to go, that one starts at
    // once: a second is ample.
    EmissionHold hold(model->DownloadAddedSignal, 2);
    QueueFileWorker queueFiles(model);
    queueFiles.Import(purchase, nullptr);
    ASSERT_TRUE(hold.WaitHeld());
    PollUntil([&] { return !starts.seen.Entries().empty(); }, std::chrono::seconds(1));
    hold.Release();
    queueFiles.Finish();
    EXPECT_TRUE(starts.seen.WaitUntil([](const Entries& seen) { return !seen.empty(); }));
    EXPECT_EQ(Entries{"P1 file gone"}, starts.seen.Entries());
}

// A queue file opened through the import, the saved queue's own file included, is never taken for
// the saved queue: the reports it holds are not sent, and the partial file it names is not deleted.
TEST_F(AppTest, AnImportedQueueFileIsNeverTakenForTheSavedQueue)
{
    TempDirectory translations;
    WriteTranslationFile(translations.File("de.xml"), "de_DE", {{"sonvel_url_report_service", "http://127.0.0.1:9/"}});
    Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
    const std::string partial = LinuxFilesystemUtility().GetMusicDirectory() + "Band/Album/.vlx(1).tmp";
    fs::create_directories(fs::path(partial).parent_path());
    WriteFile(partial, "precious");
    QueueDocument document;
    document.regular.push_back({{{"location", "http://127.0.0.1:9/t.mp3"}, {"trackType", "mp3"}, {"albumPrimaryArtist", "Band"},
                                 {"album", "Album"}, {"downloadState", "9"}, {"expired", "1"}, {"expireStateReported", "1"},
                                 {"localFilename", partial}}, "P1"});
    std::string xml = document.Xml(), pending;
    Vantor::Reporting::SavedReports::AppendXml({{"dm_ruq_dl_ok", "P1", {}, "1"}}, pending);
    WriteFile(Utility::DownloadQueueFilename(), xml.insert(xml.rfind("</playlist>"), pending));
    DownloadModel model(FilesystemUtility::NewInstance());
    ASSERT_EQ(Utility::ImportOutcome::Saved, Utility::ImportVLXFile(Utility::DownloadQueueFilename().c_str(), model));
    model.GetDownloadAt(0)->Cancel();
    model.ClearFinished();
    ASSERT_TRUE(Utility::SaveDownloadQueue(model));
    EXPECT_EQ("precious", ReadFile(partial));
    std::string saved;
    Vantor::Data::CryptoUtility::DecryptVLXFile(OpenFile(std::fopen(Utility::DownloadQueueFilename().c_str(), "rb")).get(), saved);
    EXPECT_EQ(std::string::npos, saved.find("dm_ruq_dl_ok")) << saved;
}

// With the settings folder read-only the queue can't be saved (in the background, where imports
// run): the imported purchase's file is then the only record of it, and it stays; the log says why.
TEST_F(AppTest, APurchaseFileStaysWhileNoSavedQueueHoldsIt)
{
    const std::string purchase = home.File("drop/purchase.vlx");
    fs::create_directories(home.File("drop"));
    WriteFile(purchase, Purchase());
    { DownloadModel made(FilesystemUtility::NewInstance()); } // and with it the playlist database
    // Root writes through file modes: the import runs as nobody, in a folder that nobody may change.
    ASSERT_EQ(0, chmod(home.File("drop").c_str(), 0777) + chmod(Settings("").c_str(), 0555) + chmod(home.Path().c_str(), 0755));
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                std::_Exit(2);
            LogRecorder log;
            const auto model = boost::make_shared<DownloadModel>(FilesystemUtility::NewInstance());
            QueueFileWorker queueFiles(model);
            queueFiles.Import(purchase, nullptr);
            queueFiles.Finish();
            std::fprintf(stderr, "%u %d %zu\n", model->CountDownloads(), int(fs::exists(purchase)),
                         log.LinesContaining("Keeping " + purchase + ": the download queue").size());
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^1 1 1\n$");
}

// A link at each of the program's own files in its settings folder, to a file outside or to where
// none is: none is followed. Each is refused as a file that can't be used is, and told where such a
// file is told (the settings and the saved queue kept aside, the database unopenable, the lock left
// to the folder's); what the links lead to stays as it was, and nothing is made there.
TEST_F(AppTest, LinksInTheSettingsFolderAreRefusedAndWhatTheyLeadToStaysAsItWas)
{
    const std::pair<std::string, const char*> links[] = { // name; what is at its target (null: nothing)
        {"Settings.xml", "<preferences><setting type=\"1\" key=\"ProxyServerPort\">3128</setting></preferences>"},
        {"DownloadQueue.vlx", "<playlist><trackList><track><location>http://127.0.0.1:9/t.mp3</location></track></trackList></playlist>"},
        {"vantormp3.db", ""}, {"AnsweredReports", "0123456789abcdef\n"}, {"debug.txt", "outside\n"}, {"lock", nullptr},
        {"pipe", nullptr}};
    fs::create_directories(Settings(""));
    fs::create_directories(home.File("outside"));
    for (const auto& [name, contents] : links) {
        if (contents)
            WriteFile(home.File("outside/" + name), contents);
        fs::create_symlink(home.File("outside/" + name), Settings(name));
    }
    setenv("RUQ_DEBUG_LEVEL", "verbose", 1);
    {
        SingleInstance guard;
        EXPECT_TRUE(guard.StartAsMainInstance() && guard.Status() == SingleInstance::MainInstance);
        DebugLog log;
        Debug::LogString("logged");
        EXPECT_EQ(0, Utility::Preferences()->GetInt("ProxyServerPort", 0));
        EXPECT_EQ(Settings("Settings.xml.unreadable"), Utility::UnreadablePreferencesFile());
        DownloadModel model(FilesystemUtility::NewInstance());
        const Utility::SavedQueueReload reload = Utility::ReloadSavedQueue(model);
        EXPECT_TRUE(reload.outcome == Utility::SavedQueueReload::Unreadable && model.CountDownloads() == 0);
        EXPECT_EQ(Settings("DownloadQueue.vlx.unreadable"), reload.keptAt);
        const auto troubles = model.GetPlaylistLibrary().TakeTroubles();
        EXPECT_TRUE(troubles.size() == 1 && troubles[0].kind == PlaylistLibrary::Trouble::Unopenable);
        Vantor::Reporting::AnsweredReports answered;
        answered.Open(Settings("AnsweredReports"));
        EXPECT_FALSE(answered.AnsweredBefore("0123456789abcdef"));
        answered.Note("fedcba9876543210");
        answered.SaveLanded({});
    }
    unsetenv("RUQ_DEBUG_LEVEL");
    for (const auto& [name, contents] : links) {
        const std::string target = home.File("outside/" + name);
        EXPECT_TRUE(contents ? ReadFile(target) == contents : !fs::exists(fs::symlink_status(target))) << name;
    }
}

// Only "verbose" writes; the file is appended to below 2 MiB and started afresh from there.
TEST(DebugLog, WritesOnlyWhenVerboseAppendingBelowTwoMebibytes)
{
    const struct {
        const char* level;
        long existing, kept; // bytes of the file there before and kept of them; -1: no file
    } cases[] = {{nullptr, -1, -1}, {"VERBOSE", -1, -1}, {"verbose", -1, 0}, {"verbose", 2097151, 2097151},
                 {"verbose", 2097152, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.level ? c.level : "(unset)") + " " + std::to_string(c.existing));
        ScopedHome home;
        const std::string path = Utility::GetSettingsDirectory() + "debug.txt", existing(std::max(c.existing, 0L), 'o');
        c.level ? setenv("RUQ_DEBUG_LEVEL", c.level, 1) : unsetenv("RUQ_DEBUG_LEVEL");
        if (c.existing >= 0)
            WriteFile(path, existing);
        {
            DebugLog log;
            Debug::LogString("first line");
            Debug::LogString("two\nlines \xC3\xA4");
        }
        Debug::LogString("after the log has gone");
        const std::string contents = ReadFile(path);
        EXPECT_EQ(c.kept >= 0, fs::exists(path));
        EXPECT_TRUE(c.kept < 0 || (existing.substr(0, c.kept) == contents.substr(0, c.kept) &&
                                   LoggedTexts(contents.substr(c.kept)) == Entries{"first line", "two", "unstamped: lines \xC3\xA4"}));
    }
}

// Only web addresses are opened, none of the others before it. With BROWSER not starting, the
// openers are tried in turn up to the last (PATH holds only the recording stand-in); a folder
// viewer that won't start is reported to the running instance.
TEST_F(AppTest, OnlyWebAddressesReachTheOpenersTriedInTurnAndAMissingFolderViewerIsReported)
{
    const std::string url = "HTTP://127.0.0.1:9/page?a=1&b=2";
    setenv("PATH", home.Path().c_str(), 1);
    setenv("BROWSER", "no-such-browser", 1);
    WriteFile(home.File("mozilla"), "#!/bin/sh\necho \"$*\" >> " + home.File("record") + "\n");
    ASSERT_EQ(0, chmod(home.File("mozilla").c_str(), 0755));
    // The last rows: white space, controls (C0, DEL, C1), a direction mark, a byte that is not
    // UTF-8, and one character more than 8 KiB.
    const std::vector<std::string> refused = {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share/x.desktop",
                                              "-new-window file:///root/.ssh/id_rsa", " http://127.0.0.1/", "",
                                              "http://a.invalid/x\nfile:///etc/passwd", "http://127.0.0.1/a b",
                                              "http://127.0.0.1/\t", "http://127.0.0.1/\x7f", "http://127.0.0.1/\xc2\x85",
                                              "http://127.0.0.1/\xe2\x80\xae", "http://127.0.0.1/\xe9",
                                              "http://127.0.0.1/" + std::string(8176, 'a')};
    for (const std::string& address : refused)
        Utility::OpenURL(address.c_str());
    Utility::OpenURL(url.c_str());
    EXPECT_TRUE(RunMainLoopUntil([&] { return ReadFile(home.File("record")).find(url) != std::string::npos; }));
    EXPECT_EQ(url + "\n", ReadFile(home.File("record")));
    SingleInstance guard;
    ASSERT_TRUE(guard.StartAsMainInstance());
    Utility::ShowDownloadDirectory(guard);
    EXPECT_EQ(Entries{"--show-downloads-failed"}, Received(guard, 1));
    EXPECT_TRUE(fs::is_directory(LinuxFilesystemUtility().GetMusicDirectory()));
}

// More items than the wake-up pipe holds: no producer blocks while the loop is idle; many items a
// turn, each producer's in order; an item that takes longer than a turn ends it, so a repaint it
// asks for (GTK's runs at its own priority) comes before the next item.
TEST_F(AppTest, AsyncItemsRunOnTheMainThreadManyPerTurnInEachProducersOrderAndLetTheWindowRepaint)
{
    sigc::signal<void, int, int> note;
    std::vector<int> next(2, 0);
    int ranWhenAsked = -1, ranBeforeRepaint = -1;
    note.connect([&](int producer, int sequence) {
        ExpectMainThread();
        EXPECT_EQ(next[producer]++, sequence) << producer;
        if (producer == 0 && sequence == 1500) {
            ranWhenAsked = next[0] + next[1];
            Glib::signal_idle().connect_once([&] { ranBeforeRepaint = next[0] + next[1]; }, GDK_PRIORITY_REDRAW);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const auto produce = [&note](int producer) {
        for (int i = 0; i < 3000; ++i)
            MainThreadInvoke::sInstance.InvokeAsync(
                boost::shared_ptr<MainThreadInvoke::IInvokable>(new Invokable2<void, int, int>(note, producer, i)));
    };
    {
        BackgroundCall first([&] { produce(0); }, "producing"), second([&] { produce(1); }, "producing");
    }
    int turns = 0;
    while (RunOneTurn())
        ++turns;
    EXPECT_EQ(ranWhenAsked, ranBeforeRepaint);
    EXPECT_GT(600, turns);
    EXPECT_EQ((std::vector<int>{3000, 3000}), next);
}

// An item that runs a main loop of its own (a modal dialog) finds the queue moving; the items run
// there are not run again when its turn goes on: every item runs once, in the order queued, and
// InvokeSync returns once its item has run, whichever turn took it.
TEST_F(AppTest, AnItemRunningAMainLoopFindsTheQueueMovingAndEveryItemRunsOnce)
{
    sigc::signal<void, int> note;
    std::vector<int> ran;
    std::atomic<int> done{0};
    note.connect([&](int sequence) {
        ExpectMainThread();
        ran.push_back(sequence);
        ++done;
        if (sequence == 10) {
            EXPECT_TRUE(RunMainLoopUntil([&] { return ran.size() >= 1000; }));
        }
    });
    BackgroundCall producing(
        [&] {
            for (int i = 0; i < 2000; ++i) {
                const boost::shared_ptr<MainThreadInvoke::IInvokable> item(new Invokable1<void, int>(note, i));
                if (i % 100 != 99) {
                    MainThreadInvoke::sInstance.InvokeAsync(item);
                    continue;
                }
                MainThreadInvoke::sInstance.InvokeSync(item);
                EXPECT_LE(i + 1, done.load());
            }
        },
        "producing");
    EXPECT_TRUE(RunMainLoopUntil([&] { return ran.size() >= 2000; }));
    producing.Join();
    RunPendingTurns();
    std::vector<int> expected(2000);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(expected, ran);
}

// A later launch hands its arguments over once the main loop has read them; a forked child (the
// folder viewer's) may send and exit without stopping the listener. A hand-over still unread when
// the guard goes (its main loop is over) is not taken: the later launch takes the lock, which no
// program the guard's process started keeps.
TEST_F(AppTest, GuardHandsMessagesToTheMainLoopAndTheLockToTheNextLaunch)
{
    auto guard = std::make_unique<SingleInstance>();
    Received(*guard, 0);
    ASSERT_TRUE(guard->StartAsMainInstance());
    SingleInstance later;
    EXPECT_TRUE(!later.StartAsMainInstance() && later.Status() == SingleInstance::OtherInstanceRunning);
    // The long one outgrows the FIFO, so it is read in pieces; one holding the end byte is not sent.
    Entries expected = {"", "/home/u/M\xC3\xBCsik.vlx", "\x80\x81\xC0\xFE", std::string(100000, 'x')};
    bool taken = false;
    {
        Entries handed = expected;
        handed.insert(handed.begin() + 1, "in\xFFtwo");
        BackgroundCall handing([&] { taken = later.HandOver(handed); }, "handing over");
        EXPECT_EQ(expected, Received(*guard, expected.size()));
    }
    EXPECT_TRUE(taken);
    // Twenty launches at once hand over messages longer than the FIFO takes in one piece while the
    // main loop is held up, and more than it holds: each arrives whole.
    const int fifo = open(Settings("pipe").c_str(), O_WRONLY);
    {
        std::vector<std::unique_ptr<SingleInstance>> launches(20);
        std::vector<std::unique_ptr<BackgroundCall>> handing;
        Entries burst;
        for (auto& launch : launches) {
            launch = std::make_unique<SingleInstance>();
            burst.push_back("file:///" + std::string(5000 + 10 * burst.size(), char('a' + burst.size())) + ".vlx");
            handing.push_back(std::make_unique<BackgroundCall>([&launch, message = burst.back()] { launch->HandOver({message}); },
                                                               "handing over at once"));
        }
        EXPECT_TRUE(PollUntil([&] { int unread = 0; return ioctl(fifo, FIONREAD, &unread) == 0 && unread > 40000; }));
        expected = Received(*guard, expected.size() + burst.size());
        Entries arrived(expected.end() - burst.size(), expected.end());
        std::sort(arrived.begin(), arrived.end());
        EXPECT_EQ(burst, arrived);
    }
    // Writes that carry two messages, or a piece of one, are cut at the end bytes.
    for (const std::string& chunk : {std::string("one\xFFtwo\xFF"), std::string("spl"), std::string("it\xFF\xFF")})
        ASSERT_EQ(ssize_t(chunk.size()), write(fifo, chunk.data(), chunk.size()));
    const pid_t child = fork();
    if (child == 0) {
        const bool sent = guard->SendMainInstanceMessage("--show-downloads-failed");
        guard.reset();
        _exit(sent ? 0 : 1);
    }
    int status = -1;
    if (!RunMainLoopUntil([&] { return status != -1 || waitpid(child, &status, WNOHANG) == child; })) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    EXPECT_TRUE(status == 0 && later.SendMainInstanceMessage("still listening"));
    expected.insert(expected.end(), {"one", "two", "split", "", "--show-downloads-failed", "still listening"});
    EXPECT_EQ(expected, Received(*guard, expected.size()));

    ChildProcess started({"sleep", "60"}, home.File("sleep.log"));
    const std::string command = "/proc/" + std::to_string(started.Pid()) + "/cmdline";
    ASSERT_TRUE(RunMainLoopUntil([&] { return ReadFile(command).find("sleep") == 0; }));
    taken = true;
    BackgroundCall handing([&] { taken = later.HandOver({"/home/u/unread.vlx"}); }, "handing over unread");
    ASSERT_TRUE(PollUntil([&] { int unread = 0; return ioctl(fifo, FIONREAD, &unread) == 0 && unread > 0; }));
    guard.reset();
    handing.Join();
    close(fifo);
    EXPECT_FALSE(taken);
    EXPECT_TRUE(later.StartAsMainInstance());
}

// Later launches take turns on the FIFO. One launch's message, longer than the FIFO holds, is held
// part-way while nothing reads; a second launch that starts then waits for its turn (a lock on the
// FIFO) rather than writing into the middle of it. Both arrive whole, in turn.
TEST_F(AppTest, ALaterLaunchWaitsForItsTurnWhileAnotherLaunchsLongMessageIsHeldPartWay)
{
    SingleInstance guard;
    ASSERT_TRUE(guard.StartAsMainInstance());
    const int fifo = open(Settings("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat pipe;
    ASSERT_TRUE(fifo != -1 && fstat(fifo, &pipe) == 0);
    const int size = fcntl(fifo, F_GETPIPE_SZ);
    // A lock waited for on the FIFO, as /proc/locks lists it: "1: -> FLOCK ADVISORY WRITE <pid> <dev>:<inode> ...".
    const auto waitedFor = [&pipe] {
        std::istringstream locks(ReadFile("/proc/locks"));
        for (std::string line; std::getline(locks, line);)
            if (line.find(" -> ") != std::string::npos && line.find(":" + std::to_string(pipe.st_ino) + " ") != std::string::npos)
                return true;
        return false;
    };
    const Entries messages = {std::string(4 * size, 'l'), "second"};
    SingleInstance first, second;
    BackgroundCall longer([&] { EXPECT_TRUE(first.HandOver({messages[0]})); }, "handing over a long message");
    EXPECT_TRUE(PollUntil([&] { int unread = 0; return ioctl(fifo, FIONREAD, &unread) == 0 && unread == size; }));
    BackgroundCall shorter([&] { EXPECT_TRUE(second.HandOver({messages[1]})); }, "handing over behind it");
    EXPECT_TRUE(PollUntil(waitedFor));
    EXPECT_TRUE(messages == Received(guard, 2)) << "mixed";
    close(fifo);
}

// Never two instances on one settings directory. Either lock decides alone where the other can't
// be used ("lock" a folder) or isn't taken (an older instance locks only "lock"); a running
// instance that can't listen keeps its locks. Only when neither lock can be used is nothing
// known. A hand-over finding no listener gives up at once.
TEST_F(AppTest, UnusableGuardFilesNeverLetASecondInstanceRun)
{
    const struct {
        const char *folder, *held; // made in the settings directory; locked elsewhere ("" the directory)
        SingleInstance::InstanceStatus first, second;
        bool taken;
    } cases[] = {{"lock", nullptr, SingleInstance::MainInstance, SingleInstance::OtherInstanceRunning, true},
                 {"lock", "", SingleInstance::OtherInstanceRunning, SingleInstance::OtherInstanceRunning, false},
                 {"", "lock", SingleInstance::OtherInstanceRunning, SingleInstance::OtherInstanceRunning, false},
                 {"pipe/inside", nullptr, SingleInstance::PipeError, SingleInstance::OtherInstanceRunning, false},
                 {nullptr, nullptr, SingleInstance::LockFileError, SingleInstance::LockFileError, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.folder ? c.folder : "no settings directory") + (c.held ? " held" : ""));
        fs::remove_all(Settings(""));
        if (c.folder)
            fs::create_directories(Settings(c.folder));
        else
            WriteFile(home.File(".vantormp3"), "");
        int held = -1;
        if (c.held) {
            if (*c.held)
                WriteFile(Settings(c.held), "");
            held = open(Settings(c.held).c_str(), O_RDONLY);
            ASSERT_TRUE(mkfifo(Settings("pipe").c_str(), 0700) == 0 && flock(held, LOCK_EX) == 0);
        }
        SingleInstance first, second;
        Entries got;
        first.AnotherInstanceMessageSignal.connect([&got](std::string message) { got.push_back(message); });
        EXPECT_EQ(c.first == SingleInstance::MainInstance || c.first == SingleInstance::PipeError, first.StartAsMainInstance());
        EXPECT_FALSE(second.StartAsMainInstance());
        EXPECT_EQ(c.first, first.Status());
        EXPECT_EQ(c.second, second.Status());
        bool taken = !c.taken;
        BackgroundCall handing([&] { taken = second.HandOver({"handed"}); }, "handing over");
        EXPECT_TRUE(RunMainLoopUntil([&] { return handing.HasReturned(); }));
        handing.Join();
        EXPECT_EQ(c.taken, taken);
        EXPECT_EQ(c.taken ? Entries{"handed"} : Entries{}, got);
        close(held);
    }
}
