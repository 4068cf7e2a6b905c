// The main window's list, status panel and message boxes, fed by a real queue.
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityQueue.h"
#include "downloader/app/UtilityQuitConfirmation.h"
#include "downloader/model/DownloadModelTrack.h"
#include "downloader/ui/DownloadStatusController.h"
#include "downloader/ui/MainWindowController.h"
#include "downloader/ui/SettingsFolderNotices.h"
#include "downloader/ui/TreeController.h"
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/BusyDatabase.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/StandInPrograms.h"
#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/MessageDialogAnswerer.h"

#include <boost/filesystem.hpp>
#include <gmock/gmock.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/treeview.h>

#include <algorithm>
#include <tuple>

using namespace VantorTest;
using namespace Vantor::DigitalMedia::MusicClient::Downloader;

namespace {

// The rows as a view learns them: from the list's signals alone, each at the place it is told.
class RowsAsTold {
public:
    explicit RowsAsTold(const Glib::RefPtr<Gtk::TreeModel>& model)
    {
        model->signal_row_inserted().connect([this](const Gtk::TreeModel::Path& path, const Gtk::TreeModel::iterator& row) {
            Entries* level = Level(path, 1);
            if (level && path.size() == 1)
                albums.insert(albums.begin() + path[0], Entries());
            if (level)
                level->insert(level->begin() + path.back(), Text(*row));
        });
        model->signal_row_changed().connect([this](const Gtk::TreeModel::Path& path, const Gtk::TreeModel::iterator& row) {
            if (Entries* level = Level(path, 0))
                (*level)[path.back()] = Text(*row);
        });
        model->signal_row_deleted().connect([this](const Gtk::TreeModel::Path& path) {
            Entries* level = Level(path, 0);
            if (level && path.size() == 1)
                albums.erase(albums.begin() + path[0]);
            if (level)
                level->erase(level->begin() + path.back());
        });
    }

    Entries Rows() const
    {
        Entries rows;
        for (size_t album = 0; album < titles.size(); ++album) {
            rows.push_back(titles[album]);
            for (const std::string& track : albums[album])
                rows.push_back("  " + track);
        }
        return rows;
    }

private:
    static std::string Text(const Gtk::TreeRow& row)
    {
        const TreeController::TreeModelColumns columns;
        return row.get_value(columns.title) + "|" + row.get_value(columns.status);
    }
    // The rows beside the one at `path`; none, with a failure, when the view has no row there (or,
    // with `beyond` 1, no place for one).
    Entries* Level(const Gtk::TreeModel::Path& path, int beyond)
    {
        Entries* level = &titles;
        if (path.size() == 2)
            level = path[0] < static_cast<int>(albums.size()) ? &albums[path[0]] : nullptr;
        if (level && path.back() < static_cast<int>(level->size()) + beyond)
            return level;
        ADD_FAILURE() << "told of row " << path.to_string() << ", which the view does not have";
        return nullptr;
    }

    // The album rows, and the track rows of each.
    Entries titles;
    std::vector<Entries> albums;
};

class MainWindow : public DownloadFixture, protected ShareFolder {
protected:
    // Waits for the list to show `expected`: rows as "title|status", tracks indented under albums;
    // a view told of each change in turn shows the same.
    void ExpectRows(const Entries& expected)
    {
        RunMainLoopUntil([&] { return Listed() == expected; });
        EXPECT_EQ(expected, Listed());
        EXPECT_EQ(expected, told.Rows());
    }
    // The list's rows as "title|status", tracks indented under albums.
    Entries Listed() const
    {
        Entries rows;
        const TreeController::TreeModelColumns columns;
        for (const Gtk::TreeRow& album : view->get_model()->children()) {
            rows.push_back(album.get_value(columns.title) + "|" + album.get_value(columns.status));
            for (const Gtk::TreeRow& track : album.children())
                rows.push_back("  " + track.get_value(columns.title) + "|" + track.get_value(columns.status));
        }
        return rows;
    }

    // A track of `artist`'s `album`, downloaded already unless `more` says otherwise.
    DownloadPtr Track(const std::string& title, const std::string& artist, const std::string& album, Fields more = {})
    {
        Fields fields = {{"PCID", title}, {"title", title}, {"albumPrimaryArtist", artist}, {"album", album},
                         {"downloadState", "1"}, {"trackType", "mp3"}};
        fields.insert(fields.end(), more.begin(), more.end());
        return NewDownload(fields);
    }

    // Announces `download`'s start from another thread, as the worker does, and waits until the
    // cover fetch (which holds the track) has ended; the panel keeps the track unless closed meanwhile.
    void Start(const DownloadPtr& download, bool closePanel = false)
    {
        const long holders = download->GetTrack().use_count(); // the download and this test
        std::thread([&] { model->DownloadStartedSignal.emit(download); }).join();
        ASSERT_TRUE(RunMainLoopUntil([&] { return download->GetTrack().use_count() > holders; }));
        if (closePanel) {
            // The panel stops its fetch as it goes: none runs on without it.
            panel.reset();
            EXPECT_EQ(holders, download->GetTrack().use_count());
        }
        EXPECT_TRUE(RunMainLoopUntil([&] { return download->GetTrack().use_count() == holders + !closePanel; }));
    }

    std::unique_ptr<TreeController> list{new TreeController(model)};
    std::unique_ptr<DownloadStatusController> panel{new DownloadStatusController(model)};
    Gtk::TreeView* view = Get<Gtk::TreeView>("MainWindow", "DownloadTreeView");
    RowsAsTold told{view->get_model()};
    Gtk::Label* label = Get<Gtk::Label>("MainWindow", "DownloadStatusLabel");
    Gtk::Image* image = Get<Gtk::Image>("MainWindow", "AlbumArtImage");
    const Glib::RefPtr<Gdk::Pixbuf> defaultArt = image->get_pixbuf();
};

} // namespace

TEST_F(MainWindow, ListGroupsTracksUnderTheirAlbumInArrivalOrderAndFollowsTheirStates)
{
    Get<Gtk::Window>("MainWindow", "MainWindow")->show(); // so that the cells are drawn too
    model->AddDownload(Track("Intro", "AC/DC", "Live", {{"trackNum", "7"}}));
    model->AddDownload(Track("Sexy Boy", "Air", "Moon Safari", {{"trackNum", "3"}, {"trackType", "mp4"}})); // no number
    // Another artist's album of the same name, or artist and album running together alike, are other albums.
    model->AddDownload(Track("Cover", "Other", "Moon Safari"));
    model->AddDownload(Track("x", "AB", "C"));
    model->AddDownload(Track("y", "A", "BC"));
    const DownloadPtr expired =
        Track("A2", "Air", "Moon Safari", {{"downloadState", "9"}, {"networkErrorType", "10"}, {"errorString", "Link expired"}});
    model->AddDownload(expired);
    ExpectRows({"AC/DC - Live|Fertig", "  7. Intro|Downloaded", "Air - Moon Safari|Unvollständig", "  Sexy Boy|Downloaded",
                "  A2|Link expired", "Other - Moon Safari|Fertig", "  Cover|Downloaded", "AB - C|Fertig", "  x|Downloaded",
                "  y|Downloaded"});

    // Clearing takes finished tracks and emptied albums; a kept album keeps its status until a track
    // reports; a cleared album's later track is a new album. A running track (stalled halfway) and its
    // album show percentages, counting only listed tracks; a state change moves both on.
    model->ClearFinished();
    ExpectRows({"Air - Moon Safari|Unvollständig", "  A2|Link expired"});
    // A kept track and its album are still found once the rows before them have gone.
    expired->SetState(Vantor::Net::Download::Canceled);
    ExpectRows({"Air - Moon Safari|Canceled", "  A2|Canceled"});
    model->AddDownload(Track("B2", "AC/DC", "Live"));
    const Fields stalling = {{"downloadState", "0"}, {"location", store.Url("/stall/200/track.mp3")}};
    const DownloadPtr running = Track("A3", "Air", "Moon Safari", stalling);
    model->AddDownload(running);
    ExpectRows({"Air - Moon Safari|25", "  A2|Canceled", "  A3|50", "AC/DC - Live|Fertig", "  B2|Downloaded"});
    model->AddDownload(Track("A4", "Air", "Moon Safari", stalling));
    running->Pause();
    ExpectRows({"Air - Moon Safari|16", "  A2|Canceled", "  A3|Paused", "  A4|50", "AC/DC - Live|Fertig", "  B2|Downloaded"});

    // The tree view outlives the list, which takes its columns and rows away.
    list.reset();
    EXPECT_TRUE(view->get_columns().empty() && !view->get_model());
}

// Clear on another thread takes a track that is being added, or leaves it: either way its row goes
// with it, as its addition is told before its removal.
TEST_F(MainWindow, ATrackClearedWhileItIsAddedIsListedOnlyWhileQueued)
{
    // The list hears of additions after the hold: made again behind it.
    list.reset();
    EmissionHold hold(model->DownloadAddedSignal, 1);
    list.reset(new TreeController(model));
    BackgroundCall adding([&] { model->AddDownload(Track("Done", "Air", "Moon Safari")); }, "adding");
    ASSERT_TRUE(hold.WaitHeld());
    model->ClearFinished();
    hold.Release();
    adding.Join();
    RunPendingTurns();
    const Entries listed = {"Air - Moon Safari|Fertig", "  Done|Downloaded"};
    EXPECT_EQ(QueuedPCIDs(*model).empty() ? Entries{} : listed, Listed());
}

// A cover stays until the next one arrives; one that can't be fetched or decoded changes nothing,
// nor does one of more bytes or pixels than a cover has. A fetch under way ends with the panel.
// The shop button opens the store's music page.
TEST_F(MainWindow, StatusPanelShowsTheStartedDownloadAndItsCoverUntilTheQueueEnds)
{
    StandInPrograms programs;
    programs.Add("browser");
    setenv("BROWSER", "browser", 1);
    Get<Gtk::Button>("MainWindow", "ShopButton")->clicked();
    EXPECT_EQ("browser http://store.vantormp3.example/mp3/", programs.TakeRecord());

    for (const auto& [name, width, height] : {std::tuple{"cover.png", 150, 150}, {"wide.png", 40000, 2}, {"big.png", 1300, 1300}}) {
        const Glib::RefPtr<Gdk::Pixbuf> red = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, width, height);
        red->fill(0xff0000ff);
        red->save(files.File(name), "png", std::vector<Glib::ustring>{"compression"}, std::vector<Glib::ustring>{"0"}); // big.png: 5 MB
    }
    WriteFile(files.File("page.html"), "<html><body>Not an image</body></html>");
    Start(NewDownload({{"PCID", "P1"}, {"title", "Tom & Jerry <Live>"}, {"creator", "Simon & <Garfunkel>"},
                       {"image", nginx.HttpUrl("/cover.png")}}));
    EXPECT_THAT(label->get_text(), testing::MatchesRegex(".*Tom & Jerry <Live>\n.* Simon & <Garfunkel>"));
    const Glib::RefPtr<Gdk::Pixbuf> shown = image->get_pixbuf();
    ASSERT_NE(defaultArt, shown);
    EXPECT_EQ(std::make_pair(75, 75), std::make_pair(shown->get_width(), shown->get_height()));
    EXPECT_EQ(std::string("\xff\0\0", 3), std::string(reinterpret_cast<const char*>(shown->get_pixels()), 3));
    // Held for the whole loop: a port only free a moment ago may be another test's server by then.
    const ClosedLocalPort closed;
    for (const std::string& cover : {nginx.HttpUrl("/missing.png"), store.Url("/page.html"), closed.Url("/cover.png"),
                                     nginx.HttpUrl("/wide.png"), nginx.HttpUrl("/big.png")}) {
        Start(NewDownload({{"PCID", cover}, {"image", cover}}));
        EXPECT_EQ(shown, image->get_pixbuf()) << cover;
    }
    // A track without a cover starts no fetch, which would hold the track until a later turn.
    const DownloadPtr bare = NewDownload({{"PCID", "bare"}});
    const long holders = bare->GetTrack().use_count();
    std::thread([&] { model->DownloadStartedSignal.emit(bare); }).join();
    ASSERT_TRUE(RunMainLoopUntil([&] { return bare->GetTrack().use_count() > holders; }));
    EXPECT_EQ(holders + 1, bare->GetTrack().use_count());
    EXPECT_EQ(shown, image->get_pixbuf());
    std::thread([&] { model->DownloadQueueFinishedSignal.emit(); }).join();
    EXPECT_TRUE(RunMainLoopUntil([&] { return label->get_text().empty(); }));
    EXPECT_EQ(defaultArt, image->get_pixbuf());

    EXPECT_EQ((Entries{"/page.html"}), store.Requests());
    Start(NewDownload({{"PCID", "P2"}, {"image", store.Url("/trickle/cover.png")}}), true);
}

// Tracks started one after another while their covers trickle in for ever: one fetch runs at a
// time, each is abandoned for the next track, and the last track's cover is shown.
TEST_F(MainWindow, OneCoverFetchRunsAtATimeAndOneForATrackNoLongerShownIsAbandoned)
{
    const Glib::RefPtr<Gdk::Pixbuf> red = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, 10, 10);
    red->fill(0xff0000ff);
    red->save(files.File("cover.png"), "png");
    std::vector<DownloadPtr> started;
    for (int i = 0; i < 10; ++i)
        started.push_back(NewDownload({{"PCID", "T" + std::to_string(i)}, {"image", store.Url("/trickle/" + std::to_string(i))}}));
    started.push_back(NewDownload({{"PCID", "last"}, {"image", nginx.HttpUrl("/cover.png")}}));
    const long holders = started[0]->GetTrack().use_count();
    std::thread([&] { for (const DownloadPtr& download : started) model->DownloadStartedSignal.emit(download); }).join();
    EXPECT_TRUE(RunMainLoopUntil([&] { return image->get_pixbuf() != defaultArt; }));
    EXPECT_TRUE(RunMainLoopUntil([&] {
        return std::all_of(started.begin(), started.end() - 1, [&](const DownloadPtr& d) { return d->GetTrack().use_count() == holders; });
    })) << "fetches left trickling";
    EXPECT_LE(store.Requests().size(), 1u);
}

class Start : public DownloadFixture, protected ShareFolder {};

// The window's main loop runs while the saved queue is read, here while its playlist waits for
// another reader of the database. Then its track is listed and goes on from its partial file,
// and only then is the partial file no track names swept up.
TEST_F(Start, TheWindowRunsWhileTheSavedQueueIsReadAndTheLeftoversGoAfterIt)
{
    const std::string folder = MusicFolder() + "Air/Moon Safari/";
    boost::filesystem::create_directories(folder);
    WriteFile(folder + ".vlx(1).tmp", "named");
    WriteFile(folder + ".vlx(2).tmp", "left behind");
    QueueDocument saved;
    saved.regular.push_back({{{"location", store.Url("/stall/100000/a.mp3")}, {"albumPrimaryArtist", "Air"}, {"album", "Moon Safari"},
                              {"title", "A1"}, {"trackType", "mp3"}, {"downloadState", "3"}, {"localFilename", folder + ".vlx(1).tmp"}},
                             "A1"});
    saved.playlists.push_back({"Mix", {"A1"}});
    Vantor::Data::CryptoUtility::EncryptVLXFile(OpenFile(std::fopen(Utility::DownloadQueueFilename().c_str(), "wb")).get(), saved.Xml());
    DatabaseReader reader(home.File(".vantormp3/vantormp3.db"));

    MainWindowController controller(Get<Gtk::Window>("MainWindow", "MainWindow"), model);
    RunPendingTurns();
    EXPECT_EQ(0u, model->CountDownloads());
    EXPECT_TRUE(boost::filesystem::exists(folder + ".vlx(2).tmp"));
    reader.Release();
    const Glib::RefPtr<Gtk::TreeModel> rows = Get<Gtk::TreeView>("MainWindow", "DownloadTreeView")->get_model();
    EXPECT_TRUE(RunMainLoopUntil([&] { return rows->children().size() == 1; }));
    Expect("A1 state " + std::to_string(Vantor::Net::Download::Downloading));
    EXPECT_TRUE(RunMainLoopUntil([&] { return !boost::filesystem::exists(folder + ".vlx(2).tmp"); }));
    EXPECT_TRUE(boost::filesystem::exists(folder + ".vlx(1).tmp"));
}

// A Pause clicked while the saved queue is read holds for every track of it: the end of the read
// resumes none, and none read after the Pause starts.
TEST_F(Start, APauseDuringTheReadHoldsForTheTracksReadAfterIt)
{
    QueueDocument saved;
    for (const char* pcid : {"A1", "A2", "A3", "A4"})
        saved.regular.push_back({{{"location", store.Url("/stall/100000")}, {"trackType", "mp3"}}, pcid});
    const std::string queue = Utility::DownloadQueueFilename();
    Vantor::Data::CryptoUtility::EncryptVLXFile(OpenFile(std::fopen(queue.c_str(), "wb")).get(), saved.Xml());
    EmissionHold hold(model->DownloadAddedSignal, 3); // the read stops at the third track, the first one downloading
    MainWindowController controller(Get<Gtk::Window>("MainWindow", "MainWindow"), model);
    ASSERT_TRUE(hold.WaitHeld());
    Gtk::Widget* pause = Get<Gtk::Widget>("MainWindow", "PauseButton");
    EXPECT_TRUE(RunMainLoopUntil([&] { return pause->get_sensitive(); }));
    g_signal_emit_by_name(pause->gobj(), "clicked");
    hold.Release();
    // Until the queue's end after the read offers Resume.
    Gtk::Widget* resume = Get<Gtk::Widget>("MainWindow", "ResumeButton");
    EXPECT_TRUE(RunMainLoopUntil([&] {
        return model->CountDownloads() == 4 && !model->HasActiveDownloads() && resume->get_sensitive();
    }));
    EXPECT_EQ(Entries{"A1 started"}, events->With(" started"));
}

using MessageBoxes = DownloadFixture;

// A failed import's warning shows the file's name as it is and keeps the file. Quitting with one
// download transferring (stalled) and one waiting: "No" changes and saves nothing; "Yes" or closing
// the box clears the finished one, pauses both and saves queue and preferences.
TEST_F(MessageBoxes, OverAnImportAndBeforeQuitting)
{
    const std::string path = home.File("a <b> & c.vlx");
    WriteFile(path, "this is not a queue file\n");
    Gtk::Window parent;
    for (const int answer : {Gtk::RESPONSE_NO, Gtk::RESPONSE_YES, Gtk::RESPONSE_DELETE_EVENT, Gtk::RESPONSE_OK}) {
        SCOPED_TRACE(answer);
        MessageDialogAnswerer answerer(answer);
        NewModel();
        if (answer == Gtk::RESPONSE_OK) {
            EXPECT_FALSE(Utility::EnqueueVLXFromFilename(path.c_str(), *model, &parent));
            ASSERT_EQ(1u, answerer.seen.size());
            EXPECT_TRUE(answerer.seen[0].markup && answerer.seen[0].parent == &parent && boost::filesystem::exists(path));
            EXPECT_THAT(answerer.seen[0].text, testing::HasSubstr("<b>" + Glib::Markup::escape_text(path) + "</b>"));
            continue;
        }
        const bool quit = answer != Gtk::RESPONSE_NO;
        for (const char* pcid : {"D1", "S1", "S2"})
            model->AddDownload(NewDownload(AlbumTrack(pcid, store.Url("/stall/100000"), {{"downloadState", pcid[0] == 'D' ? "1" : "0"}})));
        Expect("S1 state " + std::to_string(Vantor::Net::Download::Downloading));
        QueueFileWorker queueFiles(model);
        EXPECT_EQ(quit, Utility::ConfirmQuit(*model, queueFiles));
        ASSERT_EQ(1u, answerer.seen.size());
        EXPECT_FALSE(answerer.seen[0].markup || answerer.seen[0].parent);
        if (quit)
            Expect("S1 state " + std::to_string(Vantor::Net::Download::Paused));
        std::string states;
        for (unsigned i = 0; i < model->CountDownloads(); ++i)
            states += model->GetDownloadAt(i)->GetPCID() + std::to_string(model->GetDownloadAt(i)->GetState()) + " ";
        EXPECT_EQ(quit ? "S13 S23 " : "D11 S12 S20 ", states);
        EXPECT_EQ(quit, boost::filesystem::exists(Utility::DownloadQueueFilename()));
        EXPECT_EQ(quit, boost::filesystem::exists(Utility::PreferencesFilename()));
    }
}

// Closed while a queue file is still being read: the question waits for the read and is asked as
// its track is to download. From the close on nothing new starts, though a track downloading
// (another waiting behind it) ends before the answer.
TEST_F(MessageBoxes, QuittingDuringAReadAsksOnceTheReadIsDoneAndStartsNothingNew)
{
    for (const bool downloading : {false, true}) {
        NewModel();
        DownloadPtr running;
        if (downloading) {
            running = NewDownload(AlbumTrack("R1", store.Url("/stall/100000")));
            model->AddDownload(running);
            model->AddDownload(NewDownload(AlbumTrack("W1", store.Url("/stall/100000"))));
            Expect("R1 started");
        }
        QueueFileWorker queueFiles(model);
        // The read goes on once the quit waits for it, where the work before it is told.
        std::promise<void> quitting;
        queueFiles.Run([&] { return QueueFileWorker::Announcement([&] { quitting.set_value(); }); });
        queueFiles.Run([&, waited = quitting.get_future().share()] {
            waited.wait();
            model->AddDownload(NewDownload(AlbumTrack("S1", store.Url("/stall/100000"))));
            return QueueFileWorker::Announcement();
        });
        // Free to go, the worker takes the next track at once: a second is ample.
        int asked = 0;
        sigc::connection answering = Glib::signal_timeout().connect([&] {
            for (Gtk::Window* window : Gtk::Window::list_toplevels())
                if (auto question = dynamic_cast<Gtk::MessageDialog*>(window); question && question->is_visible()) {
                    ++asked;
                    if (running)
                        running->Pause();
                    PollUntil([&] { return events->journal.Count("W1 started") > 0; }, std::chrono::seconds(1));
                    question->response(Gtk::RESPONSE_YES);
                }
            return true;
        }, 10);
        EXPECT_TRUE(Utility::ConfirmQuit(*model, queueFiles));
        answering.disconnect();
        EXPECT_EQ(1, asked) << downloading;
        EXPECT_EQ(downloading ? Entries{"R1 started"} : Entries{}, events->With(" started"));
    }
}

// What the settings folder's files were found to be is told over the window once it is shown, each
// file with where it is now: settings cut short and a playlist database that is no database, at the
// start; another program holding the database, as an import on another thread finds it.
TEST_F(MessageBoxes, SettingsFolderFilesThatCantBeUsedAreToldOverTheWindow)
{
    const std::string settings = Utility::PreferencesFilename(), database = home.File(".vantormp3/vantormp3.db");
    WriteFile(settings, "<preferences><setting type=\"1\" key=\"ProxyServerPort\">3128</setting>");
    WriteFile(database, std::string(8192, '\x7f'));
    BusyWaits::Installed().instant = true;
    NewModel();
    Gtk::Window window;
    SettingsFolderNotices notices(window);
    notices.TellUnreadableSettings();
    notices.Follow(model->GetPlaylistLibrary());
    MessageDialogAnswerer answerer(Gtk::RESPONSE_OK);
    RunPendingTurns();
    EXPECT_TRUE(answerer.seen.empty()) << "told before the window is shown";
    window.show();
    EXPECT_TRUE(RunMainLoopUntil([&] { return answerer.seen.size() == 2; }));
    {
        DatabaseWriter writer(database);
        std::thread([this] { EXPECT_THROW(model->GetPlaylistLibrary().Create("T", {"A"}), std::exception); }).join();
        EXPECT_TRUE(RunMainLoopUntil([&] { return answerer.seen.size() == 3; }));
    }
    const std::pair<std::string, std::string> told[] = {{"The settings could not be read", settings + ".unreadable"},
                                                        {"The playlist database could not be read", database + ".unreadable"},
                                                        {"Another program is using the playlist database", home.File(".vantormp3/")}};
    ASSERT_EQ(3u, answerer.seen.size());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_THAT(answerer.seen[i].text, testing::AllOf(testing::HasSubstr(told[i].first),
                                                          testing::HasSubstr("<b>" + Glib::Markup::escape_text(told[i].second) + "</b>")));
}
