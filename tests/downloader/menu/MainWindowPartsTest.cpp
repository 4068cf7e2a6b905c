// The main window's menu, toolbar and end-of-queue dialogs, driven through their widgets.
#include "downloader/ui/MainMenuController.h"
#include "downloader/ui/MainWindowController.h"
#include "downloader/ui/MessagingController.h"
#include "downloader/ui/ToolbarController.h"

#include "core/net/StoreWebHost.h"
#include "core/settings/UtilityPreferences.h"
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/BusyDatabase.h"
#include "tests/support/QueueFile.h"
#include "tests/support/StandInPrograms.h"
#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/MessageDialogAnswerer.h"

#include <boost/algorithm/string/replace.hpp>
#include <boost/filesystem.hpp>
#include <gtkmm.h>

#include <fstream>

using namespace VantorTest;
using namespace Vantor::DigitalMedia::MusicClient::Downloader;
using Vantor::Net::Download;
namespace fs = boost::filesystem;

namespace {

enum Outcome { Completed, LinkExpired, FolderBlocked, Stalls };
const char* const kLocations[] = {"/a.mp3", "/status/400", "/a.mp3", "/stall/100000"};

// A shown main window over the checkout's share folder, recording "browser" and "xdg-open", and
// the test's proxy made after the toolbar's, so a queue end reaches the test last.
class MainWindowParts : public DownloadFixture {
protected:
    MainWindowParts()
    {
        Glib::thread_init();
        share.Translate("de_DE", {{"sonvel_url_report_service", store.Url("/report/")},
                                  {"sonvel_dlg_download_failed_desc1", "Fehler <1> & mehr"}});
        setenv("BROWSER", "browser", 1);
        programs.Add("browser");
        programs.Add("xdg-open");
        ServeFile("a.mp3", 4000);
        fs::create_directories(MusicFolder());
        proxy.DownloadStartedSignal.connect([this](DownloadPtr download) { lastStarted = download; });
        proxy.DownloadQueueFinishedSignal.connect([this] { ++queueEnds; });
        toolbar.PausedSignal.connect([this] { ++paused; });
        toolbar.ResumedSignal.connect([this] { ++resumed; });
        messaging.RetryFailedSignal.connect([this] { ++retries; });
        mainWindow->show();
    }

    template <class Widget = Gtk::Button>
    static Widget* Get(const std::string& root, const std::string& name) { return ShareFolder::Get<Widget>(root, name); }
    static Gtk::Widget* Tool(const std::string& name) { return Get<Gtk::Widget>("MainWindow", name + "Button"); }
    static void Click(const std::string& name) { g_signal_emit_by_name(Tool(name)->gobj(), "clicked"); }

    // The sensitive ones of Pause, Resume and Clear as "PRC", '-' for each insensitive one.
    static std::string Sensitive()
    {
        return {Tool("Pause")->get_sensitive() ? 'P' : '-', Tool("Resume")->get_sensitive() ? 'R' : '-',
                Tool("Clear")->get_sensitive() ? 'C' : '-'};
    }

    // A download that completes, finds its link expired, fails on a file in the way of its folder, or stalls.
    DownloadPtr Add(Outcome outcome, Fields fields = {})
    {
        if (outcome == FolderBlocked)
            WriteFile(MusicFolder() + "Blocked", "");
        fields.insert(fields.end(), {{"PCID", "P" + std::to_string(++added)},
                                     {"location", store.Url(kLocations[outcome])},
                                     {"albumPrimaryArtist", outcome == FolderBlocked ? "Blocked" : "Air"}});
        const DownloadPtr download = NewDownload(fields);
        model->AddDownload(download);
        return download;
    }

    // Turns the main loop until the toolbar shows `sensitive` and, when `idle`, the worker is idle too.
    void Until(const std::string& sensitive, bool idle = true)
    {
        EXPECT_TRUE(RunMainLoopUntil([&] {
            const Entries entries = events->journal.Entries();
            const long ends = std::count(entries.begin(), entries.end(), "queue-finished");
            return Sensitive() == sensitive && (!idle || (ends && ends == queueEnds && entries.back() == "queue-finished"));
        })) << Sensitive();
    }

    // Clicks Clear, answering a question with `answer`; once the queue files are done, the queue
    // file holds the queue.
    std::vector<MessageDialogAnswerer::Seen> ClickClear(int answer)
    {
        fs::remove(Utility::DownloadQueueFilename());
        MessageDialogAnswerer answerer(answer);
        Click("Clear");
        queueFiles.Finish();
        OpenFile now(std::tmpfile());
        model->Save(now.get());
        EXPECT_EQ(ContentsOf(now.get()), ReadFile(Utility::DownloadQueueFilename()));
        return answerer.seen;
    }

    // Closes the dialogs and runs the queue once (a stalling transfer holds the worker meanwhile).
    void ExpectRun(const std::function<void()>& queue, const std::string& shown)
    {
        Get("CompletedDialog", "CloseButton")->clicked();
        Get("DownloadFailedDialog", "CloseButton")->clicked();
        const int ends = queueEnds;
        const DownloadPtr gate = NewDownload({{"PCID", "gate"}, {"location", store.Url("/stall/200/g.mp3")}});
        model->AddDownload(gate);
        ASSERT_TRUE(RunMainLoopUntil([&] { return lastStarted == gate; }));
        queue();
        gate->Pause();
        ASSERT_TRUE(RunMainLoopUntil([&] { return queueEnds > ends; }));
        EXPECT_EQ(shown, Shown());
    }

    // "<root>: <first line>" of each dialog shown, and whether the failed one offers Retry.
    static std::string Shown()
    {
        std::string shown;
        for (const char* root : {"CompletedDialog", "DownloadFailedDialog"})
            if (Get<Gtk::Window>(root, root)->is_visible())
                shown += std::string(root) + ": " + Get<Gtk::Label>(root, "LabelLine1")->get_text();
        const Gtk::Button* retry = Get("DownloadFailedDialog", "RetryDownloadButton");
        return shown + (retry->is_visible() && retry->get_toplevel()->is_visible() ? " +Retry" : "");
    }

    ShareFolder share;
    StandInPrograms programs;
    Gtk::Window* mainWindow = GetMainWindow();
    QueueFileWorker queueFiles{model};
    MainMenuController menu{model, queueFiles};
    ToolbarController toolbar{model, queueFiles};
    DownloadModelSignalProxy proxy{model};
    MessagingController messaging{mainWindow, proxy};
    DownloadPtr lastStarted;
    int queueEnds = 0, paused = 0, resumed = 0, retries = 0, added = 0;
};

void Activate(const char* item) { ShareFolder::Get<Gtk::MenuItem>("MainWindow", item)->activate(); }

} // namespace

TEST(IsFileVLX, TakesFiveOrMoreCharactersEndingInVlxInAnyCase)
{
    for (const auto& [name, accepted] : std::initializer_list<std::pair<const char*, bool>>{
             {"a.vlx", true}, {"X.VLX", true}, {"/home/u/My Album.VlX", true}, {"\xC3\xBC.vlx", true}, {".vlx", false},
             {"a.vlx.bak", false}, {"a.vlx2", false}, {"", false}, {"avlx", false}, {"a.vl", false}, {"/a.xvl", false}}) {
        Gtk::FileFilter::Info info;
        info.filename = name;
        EXPECT_EQ(IsFileVLX(info), accepted) << name;
    }
}

// (The program's own tests open the About and preferences dialogs through the menu.)
TEST_F(MainWindowParts, MenuOpensStorePagesAndVLXOnlyOnOKExitSavesAndHelpFindsTheFirstOfThreePagesElseWarns)
{
    Activate("HelpMenuContactCS");
    EXPECT_EQ(programs.TakeRecord(), "browser https://store.vantormp3.example/gp/help/contact-us/music-downloads.html");
    Activate("HelpMenuEnableDownloader");
    EXPECT_EQ(programs.TakeRecord(),
              "browser http://store.vantormp3.example/gp/sonvel/after_download_manager_install.html?RUQVersion=1.0.9");

    // A purchase whose import waits in the background for the playlist database, which another
    // reader holds until the user quits (or a question is answered).
    const std::string purchase = home.File("purchase.vlx");
    QueueDocument document;
    document.regular.push_back({{{"location", store.Url("/stall/100000/b.mp3")}, {"trackType", "mp3"}}, "Bought"});
    document.playlists.push_back({"Mix", {"Bought"}});
    WriteFile(purchase, document.Xml());
    DatabaseReader reader(home.File(".vantormp3/vantormp3.db"));
    Entries asked;
    sigc::connection answering = Glib::signal_timeout().connect([&] {
        for (Gtk::Window* window : Gtk::Window::list_toplevels())
            if (auto question = dynamic_cast<Gtk::MessageDialog*>(window); question && question->is_visible()) {
                reader.Release();
                asked.push_back(question->property_text().get_value());
                question->response(Gtk::RESPONSE_YES);
            }
        return true;
    }, 10);
    for (const int answer : {Gtk::RESPONSE_CANCEL, Gtk::RESPONSE_OK}) {
        bool chosen = false;
        std::string shown;
        // Answered from the chooser's own loop, once it has read the folder and taken up the file.
        sigc::connection answering = Glib::signal_timeout().connect([&] {
            for (Gtk::Window* window : Gtk::Window::list_toplevels())
                if (auto chooser = dynamic_cast<Gtk::FileChooserDialog*>(window); chooser && chooser->get_visible()) {
                    shown = chooser->get_title() + "|" + chooser->get_filter()->get_name();
                    chosen = chosen || chooser->set_filename(purchase);
                    if (chooser->get_filename() == purchase)
                        chooser->response(answer);
                }
            return true;
        }, 10);
        Activate("FileMenuOpenVLX");
        answering.disconnect();
        EXPECT_EQ(shown, "Please select an VLX file to load|Vantor MP3 queue files (*.vlx)");
        EXPECT_EQ(model->CountDownloads(), 0u);
        EXPECT_TRUE(fs::exists(purchase));
    }

    // Meanwhile a save asked for (Clear's) waits behind the import, and the emptied queue keeps the
    // playlist on its way. Quitting, the database let go, finishes the import and then, with
    // downloads active, asks: the file goes once the saved queue holds its track.
    Click("Clear");
    EXPECT_FALSE(fs::exists(Utility::DownloadQueueFilename()));
    Add(Stalls);
    reader.Release();
    Activate("FileMenuQuit");
    answering.disconnect();
    EXPECT_EQ(Entries{"There are still active downloads, are you sure you want to exit?"}, asked);
    EXPECT_FALSE(mainWindow->get_visible());
    EXPECT_FALSE(fs::exists(purchase));
    EXPECT_EQ((Entries{"P1", "Bought"}), QueuedPCIDs(*model));
    std::string saved;
    Vantor::Data::CryptoUtility::DecryptVLXFile(OpenFile(std::fopen(Utility::DownloadQueueFilename().c_str(), "rb")).get(), saved);
    EXPECT_NE(std::string::npos, saved.find(">Bought<")) << saved;
    EXPECT_EQ(Entries{"Mix|Bought|0|0|<null>"}, PlaylistRows(home));

    // With nothing active any more, quitting asks nothing, and saves both files.
    {
        fs::remove(Utility::DownloadQueueFilename());
        fs::remove(Utility::PreferencesFilename());
        MessageDialogAnswerer answerer(Gtk::RESPONSE_NO);
        Activate("FileMenuQuit");
        EXPECT_TRUE(answerer.seen.empty());
        EXPECT_TRUE(fs::exists(Utility::DownloadQueueFilename()));
        EXPECT_TRUE(fs::exists(Utility::PreferencesFilename()));
    }

    // Help, from a folder of its own, so the page beside the program's is the test's; installed ones
    // stay. The folder's name holds what a browser would take for the end of an address.
    TempDirectory work;
    const std::string odd = "zeile\nhttp: \xff";
    fs::create_directories(work.File(odd + "/bin"));
    ScopedCurrentDirectory bin(work.File(odd + "/bin"));
    for (const fs::path folder : {"../share/doc/vantormp3", "/usr/share/doc/vantormp3", "/usr/local/share/doc/vantormp3"}) {
        const fs::path page = folder / "help_de_DE.html";
        if (fs::exists(page))
            return; // every later case would find this installed page
        fs::path made;
        for (fs::path missing = folder; !fs::exists(missing); missing = missing.parent_path())
            made = missing;
        boost::system::error_code error;
        fs::create_directories(folder, error);
        if (!error && std::ofstream(page.string()) << "<html></html>") {
            Activate("HelpMenuShowHelp");
            const std::string uri = boost::replace_all_copy(fs::absolute(page).string(), odd, "zeile%0Ahttp:%20%FF");
            EXPECT_EQ(programs.TakeRecord(), "browser file://" + uri);
            fs::remove(page, error);
        }
        if (!made.empty())
            fs::remove_all(made, error);
    }
    MessageDialogAnswerer warned(Gtk::RESPONSE_OK);
    Activate("HelpMenuShowHelp");
    // A page whose address would be too long to open (each byte of these names takes three
    // characters) is as good as missing.
    std::string deep = work.Path();
    for (int i = 0; i < 14; ++i)
        deep += "/" + std::string(200, '\xff');
    fs::create_directories(deep + "/bin");
    fs::create_directories(deep + "/share/doc/vantormp3");
    WriteFile(deep + "/share/doc/vantormp3/help_de_DE.html", "<html></html>");
    ScopedCurrentDirectory deeper(deep + "/bin");
    Activate("HelpMenuShowHelp");
    ASSERT_EQ(warned.seen.size(), 2u);
    for (const auto& seen : warned.seen) {
        EXPECT_EQ(seen.text, "Unable to locate the help file; please reinstall the application.");
        EXPECT_FALSE(seen.markup);
        EXPECT_EQ(seen.parent, mainWindow);
    }
}

TEST_F(MainWindowParts, ToolbarFollowsTheQueueAndClearRemovesFailedDownloadsOnlyOnYes)
{
    Add(Completed);
    Until("--C");
    Add(FolderBlocked);
    Add(LinkExpired);
    Until("-RC");

    // Resume tries the failed download again, not the expired one.
    Click("Resume");
    EXPECT_EQ(1, resumed);
    EXPECT_EQ("--C", Sensitive());
    Until("-RC");
    EXPECT_EQ(1, events->journal.Count("P2 state 0"));
    EXPECT_EQ(0, events->journal.Count("P3 state 0"));

    // Closing the question or answering No keeps the failed ones.
    for (const int answer : {Gtk::RESPONSE_DELETE_EVENT, Gtk::RESPONSE_NO}) {
        const auto seen = ClickClear(answer);
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ("Vantor MP3 Downloader: Your download queue contains erroneous downloads, would you like to "
                  "clear these as well?", seen[0].title + ": " + seen[0].text);
        EXPECT_EQ(nullptr, seen[0].parent);
        EXPECT_EQ((Entries{"P2", "P3"}), QueuedPCIDs(*model));
        EXPECT_EQ("-RC", Sensitive());
    }
    EXPECT_EQ(1u, ClickClear(Gtk::RESPONSE_YES).size());
    EXPECT_EQ(0u, model->CountDownloads());
    EXPECT_EQ("---", Sensitive());

    // A transfer that stalls keeps the queue busy while a second download waits behind it.
    Click("Pause");
    EXPECT_EQ(1, paused);

    const DownloadPtr stalled = Add(Stalls);
    Until("P--", false);
    // Paused before the toolbar hears of it, the second download is resumed on arrival.
    const DownloadPtr waiting = Add(Stalls);
    waiting->Pause();
    EXPECT_TRUE(RunMainLoopUntil([&] { return waiting->GetState() == Download::Waiting; }));

    Click("Pause");
    EXPECT_EQ(2, paused);
    Until("-R-");
    EXPECT_EQ(Download::Paused, stalled->GetState());
    EXPECT_EQ(Download::Paused, waiting->GetState());
    // Nothing finished, nothing asked; the paused downloads keep Resume on offer.
    EXPECT_TRUE(ClickClear(Gtk::RESPONSE_YES).empty());
    EXPECT_EQ((Entries{"P4", "P5"}), QueuedPCIDs(*model));
    EXPECT_EQ("-R-", Sensitive());

    Utility::VLXEnqueuedSignal().emit();
    EXPECT_EQ(2, resumed);
    EXPECT_EQ("---", Sensitive());
    queueFiles.Finish(); // which waits for the toolbar's resume
    EXPECT_EQ(Download::Waiting, waiting->GetState());
    Until("P--", false);
}

// Clear's own follow-up comes once the queue files' thread is through the saves ahead of it,
// seconds later with a long queue: Resume's sensitivity then follows the queue as it is, or a
// Pause or Resume clicked meanwhile, never the queue as Clear found it.
TEST_F(MainWindowParts, ACommandAfterClearSetsTheButtonsHoweverLateClearEnds)
{
    Add(Stalls);
    Add(Stalls);
    Until("P--", false);
    // Clear, then Pause, the queue files' thread held as by a long save: every track paused.
    std::promise<void> saved;
    queueFiles.Run([saving = saved.get_future().share()] { saving.wait(); return QueueFileWorker::Announcement(); });
    Click("Clear");
    Click("Pause");
    Until("-R-");
    saved.set_value();
    queueFiles.Finish();
    EXPECT_EQ("-R-", Sensitive());
    // Clear, then Resume, its resuming held up at its first track until Clear's follow-up has
    // come (and found the other one still paused): every track downloads again.
    EmissionHold resuming(model->DownloadStateChangedSignal, 1);
    Click("Clear");
    queueFiles.Run([&] { return QueueFileWorker::Announcement([&] { resuming.Release(); }); });
    Click("Resume");
    queueFiles.Finish();
    Until("P--", false);
    EXPECT_EQ("P--", Sensitive());
}

// (The program's own tests show both wordings, Retry and the reminder box.)
TEST_F(MainWindowParts, EachEndOfTheQueueShowsWhatFailedUnlessPaused)
{
    const std::string completed = "CompletedDialog: Your music has been downloaded successfully.";
    const std::string expired = "DownloadFailedDialog: Expired Links";
    const std::string failed = "DownloadFailedDialog: Fehler <1> & mehr +Retry";
    const std::string help = "browser " + std::string(Vantor::Net::kStoreWebHost) + "/gp/help/customer/display.html/ref=";
    ExpectRun([&] { Add(Completed); }, completed);
    Get("CompletedDialog", "ShowDownloadDirectoryButton")->clicked();
    EXPECT_EQ("xdg-open " + MusicFolder(), programs.TakeRecord());
    EXPECT_EQ("", Shown());
    Get<Gtk::ToggleButton>("CompletedDialog", "ReminderCheckBox")->set_active(true); // saved at once
    EXPECT_NE(std::string::npos, ReadFile(Utility::PreferencesFilename()).find("\"ShowCompletedDialog\">0<"));
    ExpectRun([&] { Add(Completed); }, "");

    ExpectRun([&] { Add(LinkExpired); }, expired);
    Get("DownloadFailedDialog", "GetHelpButton")->clicked();
    EXPECT_EQ(programs.TakeRecord(), help + "hp_dw_exp?ie=UTF8&nodeId=200154210#expired");
    DownloadPtr blocked;
    ExpectRun([&] { blocked = Add(FolderBlocked); Add(Completed); }, failed);
    Get("DownloadFailedDialog", "GetHelpButton")->clicked();
    EXPECT_EQ(programs.TakeRecord(), help + "hp_dw_fd?ie=UTF8&nodeId=200154210#failed_download");

    ExpectRun([&] { messaging.SetQueuePaused(true); }, "");
    // Failures left alone are told again; one started again (and done) or removed is not.
    ExpectRun([] {}, failed);
    fs::remove(MusicFolder() + "Blocked");
    ExpectRun([&] { blocked->Resume(); }, expired);
    model->ClearErroneous();
    Get<Gtk::ToggleButton>("CompletedDialog", "ReminderCheckBox")->set_active(false);
    ExpectRun([] {}, completed);

    // A local failure is no expired link, even of a download whose link had expired before.
    // Retry forgets every failure, though the failed downloads stay in the queue.
    fs::remove_all(MusicFolder() + "Blocked");
    ExpectRun([&] { Add(FolderBlocked, {{"downloadState", "8"}, {"networkErrorType", "10"}}); }, failed);
    Get("DownloadFailedDialog", "RetryDownloadButton")->clicked();
    EXPECT_EQ(1, retries);
    EXPECT_EQ("", Shown());
    ExpectRun([] {}, completed);

    // A track paused for a full disk keeps the end quiet, also when a smaller one ran after it,
    // until it is no longer paused.
    DownloadPtr full;
    ExpectRun([&] { full = Add(Completed, {{"fileSize", "4611686018427387904"}}); Add(Completed); }, "");
    full->Cancel();
    ExpectRun([] {}, completed);
}
