// The installed program as a user meets it: started as a child process in this test's own X
// server with a temporary HOME, the local store stand-in as its HTTP proxy (so downloads,
// reports, the update check and album art all stay on this machine) and BROWSER recording what
// it is asked to open. It is driven from outside: command lines, later launches, xdotool clicks
// and the window manager's close request. The UI probe module (UiProbe.c) lets the test read
// what is on the screen.
#include "core/data/CryptoUtility.h"
#include "core/filesystem/FilesystemUtility.h"
#include "downloader/model/DownloadModel.h"
#include "tests/support/BusyDatabase.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/QueueFile.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <regex>
#include <set>
#include <thread>
#include <tuple>

using namespace VantorTest;
namespace fs = boost::filesystem;

// What the window manager sends when the user closes the window `windowId` (CloseRequest.cpp).
void RequestClose(const std::string& windowId);

namespace {

const std::string kStore = "http://store.vantormp3.example";
const std::string kUpdatePath = "gp/sonvel/current_download_manager_version.html";
const std::string kTitle = "Vantor MP3 Downloader";

// One mapped widget as the probe wrote it: its kind and its fields.
struct Widget {
    std::string kind;
    std::vector<std::string> fields;
    const std::string& Text() const { return fields.at(0); }
};

struct Window {
    std::string title, id;
    int width = 0, height = 0;
    std::vector<Widget> widgets;
    const Widget* Find(const std::string& kind, const std::string& text) const
    {
        for (const Widget& widget : widgets)
            if (widget.kind == kind && widget.Text().find(text) != std::string::npos)
                return &widget;
        return nullptr;
    }
};
typedef std::vector<Window> Screen;

// Empty fields are kept: an empty label is still a label.
std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

// The program's steps may wait on a transfer or a retry pause: a longer limit than usual.
bool Eventually(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(40))
{
    return PollUntil(done, limit);
}

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() : store(storeRoot.Path()), stageBin(std::string(VANTOR_STAGE) + "/bin")
    {
        setenv("BROWSER", home.File("browser.sh").c_str(), 1);
        setenv("GTK_MODULES", VANTOR_UI_PROBE_MODULE, 1);
        setenv("VANTOR_UI_PROBE", home.File("screen.txt").c_str(), 1);
        WriteFile(home.File("browser.sh"), "#!/bin/sh\necho \"$@\" >> '" + home.File("browser.log") + "'\n");
        chmod(home.File("browser.sh").c_str(), 0755);
        fs::create_directories(home.File(".vantormp3"));
        Settings("");
    }

    // Settings.xml with the store as HTTP proxy, and these settings of type int beside it.
    void Settings(const std::string& extra)
    {
        std::string xml = "<preferences>";
        for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
                 {"ProxyServerEnabled", "1"}, {"ProxyServerType", "0"}, {"ProxyServerPort", std::to_string(store.Port())}})
            xml += "<setting type=\"1\" key=\"" + key + "\">" + value + "</setting>";
        WriteFile(SettingsFile(), xml + "<setting type=\"2\" key=\"ProxyServerAddress\">127.0.0.1</setting>" + extra +
                                      "</preferences>");
    }
    std::string SettingsFile() const { return home.File(".vantormp3/Settings.xml"); }

    // What the update check will hear: this version is the newest, or `latest` is.
    void LatestVersion(const std::string& latest)
    {
        fs::create_directories(storeRoot.File("gp/sonvel"));
        WriteFile(storeRoot.File(kUpdatePath), "<ArrayOfProduct><Product name=\"DownloadManager\" "
                                               "platform=\"Linux-de_de\" latestVersion=\"" + latest +
                                                   "\" criticalSince=\"1.0.0\" url=\"" + kStore + "/new\"/></ArrayOfProduct>");
    }

    // The program started in its bin/ folder (or `directory`), left running, or run to its end.
    std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& arguments = {})
    {
        ScopedCurrentDirectory bin(stageBin);
        return std::make_unique<ChildProcess>(Command(arguments), home.File("program.log"));
    }
    int Launch(const std::vector<std::string>& arguments, const std::string& directory = "")
    {
        ScopedCurrentDirectory bin(directory.empty() ? stageBin : directory);
        return RunProgram(Command(arguments), home.File("launch.log"));
    }
    std::vector<std::string> Command(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), stageBin + "/vantormp3");
        return arguments;
    }

    // As Start, with the settings folder read-only, in a mount of the program's own: nothing can
    // be saved there. Settings.xml stays writable, as a file keeps its mode when its folder loses
    // the write bit: one that can't be written back is not used, and with it the proxy.
    std::unique_ptr<ChildProcess> StartWithReadOnlySettings(const std::vector<std::string>& arguments)
    {
        ScopedCurrentDirectory bin(stageBin);
        std::vector<std::string> command = {
            "unshare", "--mount", "--propagation", "private", "sh", "-c",
            "mount --bind \"$0\" \"$0\" && mount --bind \"$0/Settings.xml\" \"$0/Settings.xml\" && "
            "mount -o remount,bind,ro \"$0\" && exec \"$@\"",
            home.File(".vantormp3")};
        for (const std::string& part : Command(arguments))
            command.push_back(part);
        return std::make_unique<ChildProcess>(command, home.File("program.log"));
    }

    Screen Read() const
    {
        Screen screen;
        for (const std::string& line : Split(ReadFile(home.File("screen.txt")), '\n')) {
            std::vector<std::string> fields = Split(line, '\t');
            if (fields.size() == 5 && fields[0] == "window")
                screen.push_back({fields[1], fields[2], std::stoi(fields[3]), std::stoi(fields[4]), {}});
            else if (fields.size() > 1 && !screen.empty())
                screen.back().widgets.push_back({fields[0], {fields.begin() + 1, fields.end()}});
        }
        return screen;
    }
    // The first window showing `text` in a label (and titled `title` when one is given).
    Window WaitForWindow(const std::string& text, const std::string& title = "")
    {
        Window found;
        EXPECT_TRUE(Eventually([&] {
            for (const Window& window : Read())
                if ((title.empty() || window.title == title) && (window.Find("label", text) || window.Find("button", text))) {
                    found = window;
                    return true;
                }
            return false;
        })) << "no window shows \"" << text << "\"\n" << ReadFile(home.File("screen.txt"));
        return found;
    }
    // Clicks once the button has stayed in place for a while: a dialog that has just appeared
    // may still be laid out anew.
    void Click(const Window& window, const std::string& button)
    {
        std::string at, before;
        ASSERT_TRUE(Eventually([&] {
            before = at;
            at.clear();
            for (const Window& shown : Read())
                if (const Widget* widget = shown.id == window.id ? shown.Find("button", button) : nullptr)
                    at = widget->fields[1] + " " + widget->fields[2];
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            return !at.empty() && at == before;
        })) << button << " in " << window.title;
        const std::vector<std::string> position = Split(at, ' ');
        ASSERT_EQ(0, RunProgram({"xdotool", "mousemove", position[0], position[1], "click", "1"},
                                home.File("xdotool.log")));
    }
    // Closes the main window and answers Yes when asked whether to quit with downloads active.
    void Quit(ChildProcess& program)
    {
        RequestClose(WaitForWindow("Datei", kTitle).id);
        Window question;
        ASSERT_TRUE(Eventually([&] {
            for (const Window& window : Read())
                if (window.Find("label", "Es laufen noch Downloads"))
                    question = window;
            return !question.id.empty() || !program.Running();
        }));
        if (!question.id.empty())
            Click(question, question.Find("button", "Ja") ? "Ja" : "Yes");
    }
    void Screenshot(const Window& window, const std::string& name)
    {
        fs::create_directories(std::string(VANTOR_SCREENSHOTS));
        // Read from the screen, so a dialog over the window shows as the user sees it. The first
        // picture taken in a new Xvfb shows the window as it was first mapped, not as it is now,
        // so the picture is taken twice and the second one kept.
        for (int take = 0; take < 2; ++take)
            RunProgram({"/usr/bin/import", "-screen", "-window", window.id,
                        std::string(VANTOR_SCREENSHOTS) + "/" + name + ".png"},
                       home.File("import.log"));
    }

    std::vector<std::string> Opened() const
    {
        std::vector<std::string> lines = Split(ReadFile(home.File("browser.log")), '\n');
        lines.pop_back(); // after the last line break
        return lines;
    }
    size_t Requested(const std::string& part) const
    {
        size_t count = 0;
        for (const std::string& request : store.Requests())
            count += request.find(part) != std::string::npos;
        return count;
    }

    // An encrypted queue file of one album whose tracks the store serves under `path` (the
    // tracks' contents, in order), with a cover, and with a playlist of its tracks when asked.
    std::string QueueFile(const std::string& album, const std::vector<std::string>& paths, size_t size = 200000,
                          const std::string& state = "0", bool playlist = false)
    {
        QueueDocument document;
        std::string folder = album; // in addresses, without blanks
        std::replace(folder.begin(), folder.end(), ' ', '-');
        fs::create_directories(storeRoot.File(folder));
        fs::copy_file(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share/pixmaps/vantormp3_logo.png",
                      storeRoot.File(folder + "/cover.png"), fs::copy_options::overwrite_existing);
        for (size_t index = 0; index < paths.size(); ++index) {
            const std::string name = folder + "/" + std::to_string(index + 1) + ".mp3";
            std::string bytes(size + index, '\0');
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>((i * 31 + index * 7) % 251);
            WriteFile(storeRoot.File(name), bytes);
            served[album + "/" + TrackName(index)] = bytes;
            document.regular.push_back({{{"location", kStore + paths[index] + name},
                                         {"title", "Song " + std::to_string(index + 1)},
                                         {"creator", "The Band"}, {"albumPrimaryArtist", "The Band"}, {"album", album},
                                         {"image", kStore + "/" + folder + "/cover.png"},
                                         {"trackNum", std::to_string(index + 1)}, {"trackType", "mp3"},
                                         {"downloadState", state}},
                                        folder + std::to_string(index)});
        }
        if (playlist)
            document.playlists.push_back({album, {folder + "0"}});
        const std::string path = home.File(folder + ".vlx");
        OpenFile file(std::fopen(path.c_str(), "wb"));
        Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), document.Xml());
        return path;
    }
    static std::string TrackName(size_t index)
    {
        return (index < 9 ? "0" : "") + std::to_string(index + 1) + " - Song " + std::to_string(index + 1) + ".mp3";
    }
    std::string Music(const std::string& relative) const { return home.File("Vantor MP3/The Band/" + relative); }
    bool Arrived(const std::string& albumAndName) const
    {
        return ReadFile(Music(albumAndName)) == served.at(albumAndName);
    }

    TempDirectory storeRoot;
    ScopedHome home;
    StoreServer store;
    std::string stageBin;
    std::map<std::string, std::string> served;
};

TEST_F(ProgramTest, FirstStartOpensThePostInstallPageOnceClosingSavesAndUpdatesAreAnnounced)
{
    LatestVersion("1.0.9");
    std::unique_ptr<ChildProcess> program = Start();
    Window main = WaitForWindow("Datei", kTitle);
    EXPECT_EQ(700, main.width);
    EXPECT_EQ(500, main.height);
    ASSERT_TRUE(Eventually([&] { return Requested(kUpdatePath) == 1 && !Opened().empty(); }));
    EXPECT_EQ(std::vector<std::string>{kStore + "/gp/sonvel/after_download_manager_install.html?RUQVersion=1.0.9"},
              Opened());

    // The automatic check found this version: nothing to say. The Help menu's check says so.
    Click(main, "Hilfe");
    Click(WaitForWindow("Nach Updates suchen"), "Nach Updates suchen");
    Window upToDate = WaitForWindow("ist auf dem neuesten Stand");
    EXPECT_EQ(2u, Read().size());
    Screenshot(main, "main-window");
    Screenshot(upToDate, "update-up-to-date");
    Click(upToDate, "OK");
    ASSERT_TRUE(Eventually([&] { return Read().size() == 1; }));

    // The About and preferences dialogs, as their menus open them.
    for (const auto& [menu, item, close, width, height] :
         {std::tuple{"Hilfe", "Über", "Schließen", 320, 260}, {"Datei", "Einstellungen", "Abbrechen", 400, 100}}) {
        Click(main, menu);
        Click(WaitForWindow(item), item);
        const Window dialog = WaitForWindow(close);
        EXPECT_GE(dialog.width, width);
        EXPECT_GE(dialog.height, height);
        Screenshot(dialog, item);
        Click(dialog, close);
        ASSERT_TRUE(Eventually([&] { return Read().size() == 1; })) << item;
    }

    RequestClose(main.id);
    EXPECT_EQ(0, program->Wait(std::chrono::seconds(20)));
    EXPECT_NE(std::string::npos, ReadFile(SettingsFile()).find("key=\"FirstRunCompleted\">1<"));
    EXPECT_TRUE(fs::exists(home.File(".vantormp3/DownloadQueue.vlx")));
    EXPECT_NE(std::string::npos, ReadFile(std::string(VANTOR_STAGE) + "/share/mime/globs2")
                                     .find("application/x-vantormp3-queue:*.vlx"));

    // The next start opens no page, and a newer version is announced at once.
    LatestVersion("1.1.0");
    program = Start();
    Window newer = WaitForWindow("Neue Version verfügbar");
    Screenshot(newer, "update-newer-version");
    Click(newer, "Später erinnern");
    main = WaitForWindow("Datei", kTitle);
    RequestClose(main.id);
    EXPECT_EQ(0, program->Wait(std::chrono::seconds(20)));
    EXPECT_EQ(1u, Opened().size());
}

TEST_F(ProgramTest, QueueFilesFromTheCommandLineAndLaterLaunchesAreDownloadedReportedAndSaved)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    const std::string first = QueueFile("First Album", {"/slow/", "/slow/", "/"});
    std::unique_ptr<ChildProcess> program = Start({first});

    // While it downloads: the album's rows, a progress figure, the track and its cover.
    Window main = WaitForWindow("Song 1");
    ASSERT_TRUE(Eventually([&] {
        main = Read().at(0);
        for (const Widget& row : main.widgets)
            if (row.kind == "row" && row.fields.at(0) == "2" && row.fields.at(2).find_first_not_of("0123456789") ==
                                                                     std::string::npos)
                return std::stoi(row.fields.at(2)) > 5;
        return false;
    }));
    EXPECT_TRUE(main.Find("row", "1")) << "album row";
    Screenshot(main, "main-window-downloading");

    Window completed = WaitForWindow("erfolgreich heruntergeladen");
    for (size_t index = 0; index < 3; ++index) {
        EXPECT_TRUE(Arrived("First Album/" + TrackName(index))) << index;
        // The report service sends on a thread of its own, unordered with the dialog.
        const std::string report = "ref=dm_ruq_dl_ok?os=linux&pcid=First-Album" + std::to_string(index);
        EXPECT_TRUE(Eventually([&] { return Requested(report) == 1; })) << index;
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(home.File(".vantormp3/DownloadQueue.vlx")));
    Screenshot(completed, "completed-dialog");

    // "Don't show this again" is saved at once; the next album ends without the dialog.
    Click(completed, "nicht mehr anzeigen");
    ASSERT_TRUE(Eventually([&] { return ReadFile(SettingsFile()).find("\"ShowCompletedDialog\">0<") != std::string::npos; }));
    Click(completed, "Schließen");

    // A later launch hands its queue files over and ends; the running window downloads them: a
    // name relative to the later launch's folder, and one holding the byte that ends a message.
    const std::string second = QueueFile("Second Album", {"/"}), third = home.File("Third \xFF.vlx");
    fs::rename(QueueFile("Third Album", {"/"}), third);
    EXPECT_EQ(0, Launch({"Second-Album.vlx", third}, home.Path()));
    ASSERT_TRUE(Eventually([&] { return Arrived("Second Album/" + TrackName(0)) && Arrived("Third Album/" + TrackName(0)); }));
    // Each file goes once the saved queue holds its tracks, which may be after they arrived.
    EXPECT_TRUE(Eventually([&] { return !fs::exists(second) && !fs::exists(third); }));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(1u, Read().size()) << "one window, no completed dialog";
    EXPECT_TRUE(program->Running());

    // "--reset-first-run" from a later launch ends the running one at once, after the page.
    EXPECT_EQ(0, Launch({"--reset-first-run"}));
    EXPECT_EQ(0, program->Wait(std::chrono::seconds(20)));
    EXPECT_TRUE(Eventually([&] { return Opened().size() == 1; })) << "the browser runs on its own";
}

// Quitting while a track is transferring; the process is held after its main loop, as a slow
// shut-down would hold it. A purchase opened then is not handed to it: the later launch starts
// in its place.
TEST_F(ProgramTest, ALaterLaunchWhileTheFirstShutsDownStartsInItsPlaceAndImportsItsFile)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    setenv("VANTOR_UI_PROBE_HOLD", "1", 1);
    std::unique_ptr<ChildProcess> first = Start({QueueFile("Long", {"/slow/"}, 4000000)});
    unsetenv("VANTOR_UI_PROBE_HOLD");
    WaitForWindow("Song 1");
    Quit(*first);
    ASSERT_TRUE(Eventually([&] {
        const std::string stat = ReadFile("/proc/" + std::to_string(first->Pid()) + "/stat");
        return stat.find(") T ") != std::string::npos;
    })) << "held past its main loop";

    const std::string handed = QueueFile("Handed Over", {"/"});
    std::unique_ptr<ChildProcess> later = Start({handed});
    const auto shown = [&] {
        for (const Window& window : Read())
            for (const Widget& row : window.widgets)
                if (row.kind == "row" && row.fields.at(1) == "The Band - Handed Over")
                    return true;
        return false;
    };
    Eventually([&] { return shown() || !later->Running(); });
    kill(first->Pid(), SIGCONT);
    EXPECT_TRUE(shown() && later->Running());
    EXPECT_FALSE(fs::exists(handed));
    EXPECT_EQ(0, first->Wait(std::chrono::seconds(20)));
    EXPECT_EQ(0, Launch({})) << "handed to the new running instance";
    Quit(*later);
    EXPECT_EQ(0, later->Wait(std::chrono::seconds(20)));
}

TEST_F(ProgramTest, FailedAndExpiredDownloadsAreReportedAndRetried)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    std::unique_ptr<ChildProcess> program = Start({QueueFile("Expired", {"/status/400/"})});
    Window failed = WaitForWindow("Abgelaufene Links");
    EXPECT_FALSE(failed.Find("button", "Erneut")) << "nothing to retry";
    Screenshot(failed, "expired-dialog");
    Click(failed, "Hilfe");
    ASSERT_TRUE(Eventually([&] { return Opened().size() == 1; }));
    EXPECT_NE(std::string::npos, Opened().at(0).find("#expired"));

    // A track that is missing three times fails; once it is there, Retry fetches it.
    const std::string later = QueueFile("Later", {"/"});
    fs::remove(storeRoot.File("Later/1.mp3"));
    EXPECT_EQ(0, Launch({later}));
    failed = WaitForWindow("Download fehlgeschlagen");
    Screenshot(failed, "failed-dialog");
    WriteFile(storeRoot.File("Later/1.mp3"), served.at("Later/" + TrackName(0)));
    Click(failed, "Erneut");
    ASSERT_TRUE(Eventually([&] { return Arrived("Later/" + TrackName(0)); }));
    WaitForWindow("erfolgreich heruntergeladen");
}

TEST_F(ProgramTest, AKilledProgramResumesItsPartialFileAfterARestart)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    // Added paused, the track starts only after the import's save: the queue saved when it
    // starts is the one that knows its partial file.
    std::unique_ptr<ChildProcess> program = Start({QueueFile("Big", {"/slow/"}, 2000000, "3")});
    const std::string folder = Music("Big/");
    const auto partial = [&]() -> std::string {
        if (fs::exists(folder))
            for (const fs::directory_entry& entry : fs::directory_iterator(folder))
                if (entry.path().extension() == ".tmp" && fs::file_size(entry.path()) > 200000)
                    return entry.path().string();
        return "";
    };
    ASSERT_TRUE(Eventually([&] { return !partial().empty(); }));
    const std::string temporary = partial();
    kill(program->Pid(), SIGKILL);
    program->Wait(std::chrono::seconds(10));

    // What killed runs and the user left beside it: the start sweeps up the program's own leftovers
    // (partial files no saved track names, unfinished saves) and nothing else.
    const std::string settings = home.File(".vantormp3/"), music = home.File("Vantor MP3/");
    const struct {
        std::string path;
        bool kept;
    } left[] = {
        {folder + ".vlx(7).tmp", false}, {settings + ".DownloadQueue.vlx.AbC123", false}, {settings + ".Settings.xml.x1Y2z3", false},
        {folder + ".vlx(1).tmp.bak", true}, {folder + "x.tmp", true}, {music + ".vlx(1).tmp", true},
        {music + "a/b/c/.vlx(1).tmp", true}, {settings + ".DownloadQueue.vlx.old", true},
    };
    for (const auto& file : left) {
        fs::create_directories(fs::path(file.path).parent_path());
        WriteFile(file.path, "x");
    }

    program = Start();
    ASSERT_TRUE(Eventually([&] { return Arrived("Big/" + TrackName(0)); }, std::chrono::seconds(60)));
    for (const auto& file : left)
        EXPECT_EQ(file.kept, fs::exists(file.path)) << file.path;
    std::vector<std::string> ranges;
    for (const std::string& request : store.Requests())
        if (request.rfind("range ", 0) == 0)
            ranges.push_back(request);
    ASSERT_EQ(2u, ranges.size());
    EXPECT_EQ("range 0", ranges[0]);
    EXPECT_GT(std::stol(ranges[1].substr(6)), 200000) << "the restart asked for the rest only";
    // The temporary name goes with the save after the finish.
    EXPECT_TRUE(Eventually([&] { return !fs::exists(temporary); }));
    EXPECT_EQ(3, std::distance(fs::directory_iterator(folder), fs::directory_iterator())) << "no file left behind";
}

// Short tracks arrive many times while a long queue (stalled tracks behind them) is saved once. A
// kill soon after any of them arrived costs nothing: no track is fetched again into a second file,
// and each track's success reaches the store; once the program heard the store's answer, it never
// sends it again. (A kill while the store answers can have the next start send it again: the store
// may have it already, which the program can't know.)
TEST_F(ProgramTest, KillsAsShortTracksArriveBehindSlowSavesFileEachTrackOnce)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting><setting type=\"1\" key=\"ShowCompletedDialog\">0</setting>");
    const size_t tracks = 12;
    const std::string purchase = QueueFile("Short", std::vector<std::string>(tracks, "/quick/"), 30000), stalled = home.File("stalled.vlx");
    QueueDocument behind;
    for (int i = 0; i < 3000; ++i)
        behind.regular.push_back({{{"location", kStore + "/stall/100000"}, {"title", "Stalled"}, {"albumPrimaryArtist", "Other"},
                                   {"album", "Stalled"}, {"trackType", "mp3"}}, "stalled" + std::to_string(i)});
    OpenFile file(std::fopen(stalled.c_str(), "wb"));
    Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), behind.Xml());
    file.reset();
    fs::create_directories(Music("Short"));
    const auto files = [&] {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(Music("Short/")))
            if (entry.path().filename().string()[0] != '.')
                names.insert(entry.path().filename().string());
        return names;
    };
    setenv("RUQ_DEBUG_LEVEL", "verbose", 1);
    std::unique_ptr<ChildProcess> program = Start({purchase, stalled});
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    // The first kill once both purchases are in the saved queue.
    for (int round = 0; round < 4 && files().size() < tracks; ++round) {
        const size_t before = files().size();
        ASSERT_TRUE(Eventually([&] { return !fs::exists(purchase) && !fs::exists(stalled) && files().size() > before; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(std::rand() % 51));
        kill(program->Pid(), SIGKILL);
        program->Wait(std::chrono::seconds(10));
        program = Start();
    }
    ASSERT_TRUE(Eventually([&] { return files().size() >= tracks; }, std::chrono::seconds(120)));
    std::set<std::string> expected;
    for (size_t index = 0; index < tracks; ++index) {
        expected.insert(TrackName(index));
        EXPECT_TRUE(Arrived("Short/" + TrackName(index))) << index;
    }
    EXPECT_EQ(expected, files());
    // How often the program heard the store answer the report: its debug log says so each time.
    const auto answers = [&](const std::string& report) {
        const std::string log = ReadFile(home.File(".vantormp3/debug.txt"));
        size_t count = 0;
        for (size_t at = 0; (at = log.find("reftag post success: ", at)) != std::string::npos; ++at)
            count += log.compare(log.find("ref=", at), report.size(), report) == 0;
        return count;
    };
    for (size_t index = 0; index < tracks; ++index) {
        const std::string report = "ref=dm_ruq_dl_ok?os=linux&pcid=Short" + std::to_string(index) + "&";
        EXPECT_TRUE(Eventually([&] { return Requested(report) >= 1; })) << index;
        EXPECT_LE(answers(report), 1u) << index;
    }
}

// Quitting while a track waits for its next try ends the program at once, not after the pause; the
// saved queue holds the track as it was, and the next start resumes it into one file, reported once.
TEST_F(ProgramTest, QuittingDuringAPauseBetweenTriesEndsAtOnceAndTheNextStartResumes)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    std::unique_ptr<ChildProcess> program = Start({QueueFile("Pause", {"/cut-once/"})});
    Window main = WaitForWindow("Song 1");
    ASSERT_TRUE(Eventually([&] {
        for (const Window& window : Read())
            for (const Widget& row : window.widgets)
                if (row.kind == "row" && row.fields.at(0) == "2" && row.fields.at(2) == "Neuer Versuch")
                    return true;
        return false;
    }));
    RequestClose(main.id);
    Click(WaitForWindow("Es laufen noch Downloads"), "Ja");
    // The pause between tries lasts 5 s.
    EXPECT_EQ(0, program->Wait(std::chrono::seconds(2)));

    std::string saved;
    OpenFile queue(std::fopen(home.File(".vantormp3/DownloadQueue.vlx").c_str(), "rb"));
    Vantor::Data::CryptoUtility::DecryptVLXFile(queue.get(), saved);
    const std::string temporary = Music("Pause/.vlx(1).tmp");
    EXPECT_NE(std::string::npos, saved.find("/downloadState\">7<")) << saved;
    EXPECT_NE(std::string::npos, saved.find("/localFilename\">" + temporary + "<")) << saved;
    const std::string& whole = served.at("Pause/" + TrackName(0));
    EXPECT_TRUE(whole.substr(0, whole.size() / 2) == ReadFile(temporary)) << "the half that the cut answer sent";

    program = Start();
    ASSERT_TRUE(Eventually([&] { return Arrived("Pause/" + TrackName(0)); }));
    // Its temporary name goes with the save after the finish.
    EXPECT_TRUE(Eventually([&] { return std::distance(fs::directory_iterator(Music("Pause/")), fs::directory_iterator()) == 1; }))
        << "one file";
    EXPECT_EQ(2u, Requested("/cut-once/"));
    EXPECT_TRUE(Eventually([&] { return Requested("ref=dm_ruq_retry_01?os=linux&pcid=Pause0") == 1; }));
    EXPECT_EQ(1u, Requested("ref=dm_ruq_dl_ok?"));
}

// Killed after a finished track took its final name and before a save said so, and then another
// music folder chosen: the next start finds the finished file where it is and keeps it there,
// fetches nothing, and lets its partial name go.
TEST_F(ProgramTest, AFinishedTrackOfAFormerMusicFolderIsKeptWhereItIsAfterAKill)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting><setting type=\"2\" key=\"DownloadDirectory\">" +
             home.File("Now") + "</setting>");
    QueueFile("Moved", {"/"});
    const std::string album = home.File("Former/The Band/Moved/"), partial = album + ".vlx(1).tmp", final = album + TrackName(0);
    fs::create_directories(album);
    WriteFile(final, served.at("Moved/" + TrackName(0)));
    fs::create_hard_link(final, partial);
    QueueDocument saved;
    saved.regular.push_back({{{"location", kStore + "/Moved/1.mp3"}, {"title", "Song 1"}, {"albumPrimaryArtist", "The Band"},
                              {"album", "Moved"}, {"trackNum", "1"}, {"trackType", "mp3"}, {"downloadState", "1"},
                              {"localFilename", partial}},
                             "Moved0"});
    Vantor::Data::CryptoUtility::EncryptVLXFile(OpenFile(std::fopen(home.File(".vantormp3/DownloadQueue.vlx").c_str(), "wb")).get(),
                                                saved.Xml());
    std::unique_ptr<ChildProcess> program = Start();
    ASSERT_TRUE(Eventually([&] { return !fs::exists(partial); })) << "its partial name goes with a save";
    EXPECT_TRUE(ReadFile(final) == served.at("Moved/" + TrackName(0)));
    EXPECT_EQ(0u, Requested("/Moved/1.mp3"));
    EXPECT_FALSE(fs::exists(home.File("Now/The Band")));
    RequestClose(WaitForWindow("Datei", kTitle).id);
    EXPECT_EQ(0, program->Wait(std::chrono::seconds(20)));
}

// Two starts, each finding the saved queue cut to half its size: each is kept aside under a name
// of its own and told over the window; the quit's save does not replace it, and the partial files
// it may name stay.
TEST_F(ProgramTest, ACutSavedQueueIsKeptAsideAndTold)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    const std::string saved = home.File(".vantormp3/DownloadQueue.vlx"), partial = Music("Cut/.vlx(1).tmp");
    fs::create_directories(Music("Cut"));
    WriteFile(partial, "x");
    std::map<std::string, std::string> kept;
    for (const char* album : {"Cut", "Cut Again"}) {
        const std::string whole = ReadFile(QueueFile(album, {"/"})), copy = saved + (kept.empty() ? ".unreadable" : ".unreadable.2");
        kept[copy] = whole.substr(0, whole.size() / 2);
        WriteFile(saved, kept[copy]);
        std::unique_ptr<ChildProcess> program = Start();
        const Window told = WaitForWindow("konnte nicht gelesen werden");
        EXPECT_TRUE(told.Find("label", copy)) << copy;
        Screenshot(told, "saved-queue-unreadable");
        Click(told, "OK");
        ASSERT_TRUE(Eventually([&] { return Read().size() == 1; }));
        RequestClose(Read().at(0).id);
        EXPECT_EQ(0, program->Wait(std::chrono::seconds(20)));
    }
    for (const auto& [copy, contents] : kept)
        EXPECT_TRUE(contents == ReadFile(copy)) << copy;
    EXPECT_TRUE(fs::exists(saved)) << "the empty queue of the last run";
    EXPECT_EQ("x", ReadFile(partial));
}

// A settings folder that can't be written: the first failed save of a run is told, the quit's
// (before the program ends) or the import's; the saves as the track starts and arrives and at quit
// then say nothing more. Passed over where mounting is not allowed.
TEST_F(ProgramTest, ASettingsFolderThatCantBeWrittenIsToldOncePerRun)
{
    if (RunProgram({"unshare", "--mount", "true"}, home.File("unshare.log")) != 0)
        GTEST_SKIP() << "no mount namespace here";
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting><setting type=\"1\" key=\"ShowCompletedDialog\">0</setting>");
    { Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel made(Vantor::Filesystem::FilesystemUtility::NewInstance()); } // its database
    const std::string purchase = QueueFile("Unsaved", {"/"}), notSaved = "konnte nicht in diesem Ordner gespeichert werden";
    for (const bool importing : {false, true}) {
        std::unique_ptr<ChildProcess> program = StartWithReadOnlySettings(importing ? std::vector<std::string>{purchase} : std::vector<std::string>{});
        if (importing) {
            Click(WaitForWindow(notSaved), "OK");
            ASSERT_TRUE(Eventually([&] { return Arrived("Unsaved/" + TrackName(0)); }));
            EXPECT_TRUE(Eventually([&] { return Requested("ref=dm_ruq_dl_ok?os=linux&pcid=Unsaved0&") == 1; }))
                << "a save that fails holds no report back";
        }
        RequestClose(WaitForWindow("Datei", kTitle).id);
        if (!importing) {
            const Window told = WaitForWindow(notSaved);
            Screenshot(told, "queue-not-saved");
            Click(told, "OK");
        }
        EXPECT_EQ(0, program->Wait(std::chrono::seconds(20))) << ReadFile(home.File("screen.txt"));
    }
    EXPECT_TRUE(fs::exists(purchase)) << "no saved queue holds it";
    EXPECT_FALSE(fs::exists(home.File(".vantormp3/DownloadQueue.vlx")));
    EXPECT_TRUE(fs::exists(Music("Unsaved/.vlx(1).tmp"))) << "the finished track's partial name, as no save without it landed";
}

// A quit abandons the report under way at a silent or trickling report address, and nothing the
// store did not answer counts as sent: 8 good tracks and 3 expired ones, then one more in a second
// run. The next start sends every report once, those of the tracks the quit cleared too, and
// what the store answered is never sent again: the trickling answer's status line had come.
TEST_F(ProgramTest, QuittingAbandonsAReportUnderWayAndALaterRunSendsItOnce)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    // "<tag> <pcid>" of each report requested from the `from`th request on.
    const auto reportsSince = [&](size_t from) {
        const std::regex report(".*ref=dm_ruq_([^?]*)\\?os=linux&pcid=([^&]*)&.*");
        std::vector<std::string> reports;
        std::smatch match;
        const std::vector<std::string> requests = store.Requests();
        for (size_t i = from; i < requests.size(); ++i)
            if (std::regex_match(requests[i], match, report))
                reports.push_back(match[1].str() + " " + match[2].str());
        std::sort(reports.begin(), reports.end());
        return reports;
    };
    std::vector<std::string> expected;
    for (const auto& [answer, album, good, expired, end] :
         {std::tuple{"/silent/", "Silent", 8, 3, "Abgelaufene Links"}, {"/trickle/", "Trickle", 1, 0, "erfolgreich heruntergeladen"}}) {
        WriteFile(storeRoot.File("report-answer"), answer);
        std::vector<std::string> paths(good, "/");
        paths.resize(good + expired, "/status/400/");
        for (int i = 0; i < good + expired; ++i)
            for (const char* tag : i < good ? std::vector<const char*>{"dl_ok", "retry_00"} : std::vector<const char*>{"dl_expire"})
                expected.push_back(std::string(tag) + " " + album + std::to_string(i));
        const size_t before = store.Requests().size();
        std::unique_ptr<ChildProcess> program = Start({QueueFile(album, paths)});
        WaitForWindow(end);
        ASSERT_TRUE(Eventually([&] { return !reportsSince(before).empty(); })) << "a report under way";
        RequestClose(WaitForWindow("Datei", kTitle).id);
        EXPECT_EQ(0, program->Wait(std::chrono::seconds(5))) << answer;
    }
    // The report under way at the trickling address was the oldest left: reports go in the order
    // they were made.
    expected.erase(std::find(expected.begin(), expected.end(), "dl_ok Silent0"));
    std::sort(expected.begin(), expected.end());

    fs::remove(storeRoot.File("report-answer"));
    size_t before = store.Requests().size();
    std::unique_ptr<ChildProcess> program = Start();
    EXPECT_TRUE(Eventually([&] { return reportsSince(before).size() >= expected.size(); }));
    EXPECT_EQ(expected, reportsSince(before));
    RequestClose(WaitForWindow("Datei", kTitle).id);
    EXPECT_EQ(0, program->Wait(std::chrono::seconds(5)));

    // Reports go in the order they were made: the new track's come after any left from before.
    before = store.Requests().size();
    program = Start({QueueFile("Late", {"/"})});
    EXPECT_TRUE(Eventually([&] { return reportsSince(before).size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"dl_ok Late0", "retry_00 Late0"}), reportsSince(before));
}

TEST_F(ProgramTest, BadStartsAndBadInputEndCleanly)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>"
             "<setting type=\"2\" key=\"ProxyServerPassword\">not base64 at all!</setting>");
    {
        const std::string saved = std::getenv("HOME");
        unsetenv("HOME");
        EXPECT_EQ(255, Launch({}));
        setenv("HOME", saved.c_str(), 1);
        EXPECT_FALSE(fs::exists(home.File("screen.txt"))) << "no window";

        // Without a display, or without the window's definition, it says so and ends.
        const std::string display = std::getenv("DISPLAY");
        unsetenv("DISPLAY");
        EXPECT_EQ(1, Launch({}));
        setenv("DISPLAY", display.c_str(), 1);
        EXPECT_NE(std::string::npos, ReadFile(home.File("launch.log")).find("cannot open display"));
        if (!fs::exists("/usr/share/vantormp3/glade") && !fs::exists("/usr/local/share/vantormp3/glade")) {
            EXPECT_EQ(1, Launch({}, storeRoot.Path()));
            EXPECT_NE(std::string::npos, ReadFile(home.File("launch.log")).find("/usr/local/share/vantormp3/"));
        }
    }

    // Anyone on the way of the update check (plain HTTP, at every start) can answer it: here with
    // elements nested 60,000 deep. A queue file that can't be read: a warning, and the file stays.
    fs::create_directories(storeRoot.File("gp/sonvel"));
    WriteFile(storeRoot.File(kUpdatePath), "<ArrayOfProduct>" + Repeated("<a>", 60000));
    WriteFile(home.File("damaged.vlx"), "<playlist><trackList><track><location>");
    std::unique_ptr<ChildProcess> program = Start({home.File("damaged.vlx")});
    Window warning = WaitForWindow("konnte nicht hinzugefügt werden");
    Screenshot(warning, "import-warning");
    Click(warning, "OK");
    EXPECT_TRUE(fs::exists(home.File("damaged.vlx")));
    ASSERT_TRUE(Eventually([&] { return Requested(kUpdatePath) == 1; }));

    // Bad arguments from later launches, one after another while the first one runs.
    std::string random(4096, '\0');
    for (size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>(std::rand());
    WriteFile(home.File("random.vlx"), random);
    WriteFile(home.File("empty.vlx"), "");
    WriteFile(home.File("deep.vlx"), "<playlist>" + Repeated("<track>", 100000));
    fs::create_directories(home.File("x.vlx"));
    // Names that are not files to read: a FIFO, and a relative name that does not exist (its
    // end names a queue file, which is left alone).
    ASSERT_EQ(0, mkfifo(home.File("fifo.vlx").c_str(), 0600));
    const std::string decoy = QueueFile("Decoy", {"/"});
    const std::vector<std::string> bad = {home.File("random.vlx"), home.File("empty.vlx"), home.File("deep.vlx"), home.File("x.vlx"),
                                          "/" + std::string(5000, 'a') + ".vlx", std::string(65536, 'm'),
                                          home.File("fifo.vlx"), "x" + decoy};
    for (const std::string& argument : bad) {
        EXPECT_EQ(0, Launch({argument})) << argument.substr(0, 40);
        Eventually([&] { return Read().size() > 1; }, std::chrono::seconds(5));
        for (const Window& window : Read())
            if (window.Find("button", "OK"))
                Click(window, "OK");
        ASSERT_TRUE(Eventually([&] { return Read().size() == 1; })) << ReadFile(home.File("screen.txt"));
    }
    EXPECT_TRUE(fs::exists(decoy));
    EXPECT_FALSE(fs::exists(Music("Decoy")));
    const std::string queue = QueueFile("Busy", {"/slow/"}, 1000000);
    EXPECT_EQ(0, Launch({queue}));
    for (int launch = 0; launch < 100; ++launch)
        ASSERT_EQ(0, Launch({})) << launch;
    ASSERT_TRUE(Eventually([&] { return Arrived("Busy/" + TrackName(0)); }, std::chrono::seconds(60)));
    EXPECT_TRUE(program->Running());
    RequestClose(Read().at(0).id);
    EXPECT_EQ(0, program->Wait(std::chrono::seconds(20)));
}

// Two instances on one settings folder would import the same purchase and write over each other's
// queue. With "lock" a folder the settings folder's own lock still guards it; with "pipe" a folder
// the running instance can't listen, and with the settings folder a file nothing can be locked: a
// later launch then says why and ends, its file untouched. (The running one writes its screen elsewhere.)
TEST_F(ProgramTest, NeverTwoInstancesOnOneSettingsFolder)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    const struct {
        const char *made, *told; // in the home folder, a folder when it ends in "/"; "" when handed over
    } cases[] = {{".vantormp3/lock/", ""}, {".vantormp3/pipe/inside/", "nimmt aber nicht an"},
                 {".vantormp3", "kann nicht feststellen"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.made);
        for (const char* left : {".vantormp3/lock", ".vantormp3/pipe", "first.txt"})
            fs::remove_all(home.File(left));
        std::unique_ptr<ChildProcess> first;
        if (c.made[std::strlen(c.made) - 1] == '/') {
            fs::create_directories(home.File(c.made));
            setenv("VANTOR_UI_PROBE", home.File("first.txt").c_str(), 1);
            first = Start();
            setenv("VANTOR_UI_PROBE", home.File("screen.txt").c_str(), 1);
            ASSERT_TRUE(Eventually([&] { return ReadFile(home.File("first.txt")).find("Datei") != std::string::npos; }));
        } else {
            fs::remove_all(home.File(c.made));
            WriteFile(home.File(c.made), "");
        }
        const std::string album = "Later " + std::to_string(&c - cases), later = QueueFile(album, {"/"});
        std::unique_ptr<ChildProcess> launch = Start({later});
        if (*c.told) {
            const Window refused = WaitForWindow(c.told, kTitle);
            Screenshot(refused, "start-refused-" + std::to_string(&c - cases));
            Click(refused, "OK");
        }
        EXPECT_EQ(*c.told ? 1 : 0, launch->Wait(std::chrono::seconds(20)));
        if (!*c.told)
            EXPECT_TRUE(Eventually([&] { return Arrived(album + "/" + TrackName(0)) && !fs::exists(later); }));
        else
            EXPECT_TRUE(fs::exists(later) && !fs::exists(Music(album)));
    }
}

// The playlist database as the program may find it, each told over the window: a folder in its
// place (it can't be opened; a purchase without playlists downloads); garbage (kept aside and a new
// one made: the purchase with playlists is taken); or held by another program (the start does not
// wait for it long; its purchase with playlists is refused and kept until it is opened again, once
// the database is free).
TEST_F(ProgramTest, APlaylistDatabaseThatCantBeUsedIsToldAndDownloadsGoOn)
{
    Settings("<setting type=\"1\" key=\"FirstRunCompleted\">1</setting>");
    const std::string database = home.File(".vantormp3/vantormp3.db"), garbage(8192, '\x7f');
    const struct {
        std::string album, made, told; // made: "folder", "garbage" or "held"
    } cases[] = {{"Kept", "folder", "lässt sich nicht öffnen"}, {"Fresh", "garbage", "konnte nicht gelesen werden"},
                 {"Held", "held", "Ein anderes Programm verwendet gerade"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.made);
        const std::string& made = c.made;
        fs::remove_all(database);
        if (made == "folder")
            fs::create_directories(database + "/inside");
        if (made == "garbage")
            WriteFile(database, garbage);
        auto writer = made == "held" ? std::make_unique<DatabaseWriter>(database) : nullptr;
        const std::string purchase = QueueFile(c.album, {"/slow/"}, 200000, "0", made != "folder");
        std::unique_ptr<ChildProcess> program = Start({purchase});
        if (writer) {
            // The purchase waits for the database, and the warning says so.
            const Window refused = WaitForWindow("konnte nicht hinzugefügt werden");
            EXPECT_TRUE(refused.Find("label", "Datenbank der Wiedergabelisten nicht verfügbar")) << "the real cause";
            Click(refused, "OK");
        }
        const Window notice = WaitForWindow(c.told, kTitle);
        Screenshot(notice, "playlists-" + made);
        EXPECT_EQ(made == "garbage", notice.Find("label", database + ".unreadable") != nullptr);
        Click(notice, "OK");
        if (writer) {
            EXPECT_TRUE(fs::exists(purchase));
            writer.reset();
            EXPECT_EQ(0, Launch({purchase}));
        }
        ASSERT_TRUE(Eventually([&] { return Arrived(c.album + "/" + TrackName(0)) && !fs::exists(purchase); }));
        if (made != "folder") {
            EXPECT_EQ(std::vector<std::string>{c.album + "|" + c.album + "0"},
                      DatabaseRows(database, "SELECT p.name, t.pcid FROM playlist p JOIN playlist_track t ON t.playlist_id = p.id"));
        }
        Quit(*program);
        EXPECT_EQ(0, program->Wait(std::chrono::seconds(20)));
    }
    EXPECT_TRUE(garbage == ReadFile(database + ".unreadable"));
}

} // namespace
