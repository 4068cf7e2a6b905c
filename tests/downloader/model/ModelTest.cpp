// A track's metadata read and written back, and the playlist library in a real settings directory.
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/BusyDatabase.h"

#include <boost/algorithm/string/case_conv.hpp>

#include <sys/stat.h>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::PlaylistLibrary;
using Vantor::DigitalMedia::MusicClient::Downloader::StoreNamespace;
namespace fs = boost::filesystem;

namespace {

// What a track loaded from `children` writes back into an empty track list.
std::string SavedAgain(const std::string& children)
{
    TiXmlDocument document;
    document.Parse(("<track>" + children + "</track>").c_str());
    EXPECT_FALSE(document.Error()) << document.ErrorDesc();
    TiXmlElement trackList("trackList");
    DownloadModel::LoadTrack(document.RootElement())->Save(&trackList);
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    trackList.Accept(&printer);
    return printer.Str();
}

std::string Meta(const std::string& rel, const std::string& value)
{
    return XmlElement("meta", value, " rel=\"" + rel + "\"");
}

} // namespace

TEST(TrackTest, ReadsMetadataAndWritesItBackInKeyOrder)
{
    const std::string store = StoreNamespace::Store(), client = StoreNamespace::Client(), latin1 = "\xC9t\xE9", utf8 = "\xC3\x89t\xC3\xA9";
    const std::string upperStore = boost::algorithm::to_upper_copy(store);
    const std::vector<std::pair<std::string, std::string>> cases = {
        // The two store namespaces are kept as meta; a rel of "/" and a key becomes plain; any
        // other namespace, a near miss, another letter case or an empty key is dropped.
        {"<title>Intro</title>" + Meta(store + "/PCID", "B000X1") + Meta(client + "/retryCount", "2") +
             Meta("http://elsewhere.example/sonvel/genre", "Pop") + Meta(store + "x/PCID2", "near miss") + Meta("/creator", "Artist") +
             Meta("noslash", "none") + Meta(upperStore + "/PCID3", "x") + Meta(store + "//PCID4", "y") + Meta("", "a") + Meta("/", "b") +
             Meta(store + "/", "c"),
         Meta(store + "/PCID", "B000X1") + "<creator>Artist</creator>" + Meta(client + "/retryCount", "2") + "<title>Intro</title>"},
        // Byte-wise key order: upper case before lower case.
        {"<zeta>z</zeta><Alpha>A</Alpha><alpha>a</alpha>", "<Alpha>A</Alpha><alpha>a</alpha><zeta>z</zeta>"},
        // The later value of a key wins, and decides how it is written back.
        {"<title>A</title><title>B</title>" + Meta(store + "/title", "M") + Meta(store + "/PCID", "1") + "<PCID>2</PCID>",
         "<PCID>2</PCID>" + Meta(store + "/title", "M")},
        // Names and values that are not UTF-8 throughout are read as Latin-1 and written back as
        // UTF-8; a saved local file name names a file by its bytes and keeps them. Markup
        // characters survive.
        {"<title>" + utf8 + "</title><album>" + latin1 + "</album>" + Meta(store + "/artist", latin1) + "<n>&amp;&lt;&gt;&quot;</n>"
             "<creator>Caf\xE9 &amp; Bar</creator><caf\xE9>x</caf\xE9>" + Meta(store + "/localFilename", "/m/Caf\xE9/.vlx(1).tmp"),
         "<album>" + utf8 + "</album>" + Meta(store + "/artist", utf8) + "<caf\xC3\xA9>x</caf\xC3\xA9><creator>Caf\xC3\xA9 &amp; Bar</creator>"
             + Meta(store + "/localFilename", "/m/Caf\xE9/.vlx(1).tmp") + "<n>&amp;&lt;&gt;&quot;</n><title>" + utf8 + "</title>"},
        // Elements without text are not stored; a track without any is not written.
        {"<album/><creator></creator>" + Meta(store + "/PCID", "") + "<meta/><title><b>bold</b></title>", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second.empty() ? "<trackList />" : "<trackList><track>" + c.second + "</track></trackList>", SavedAgain(c.first))
            << c.first;

    TiXmlDocument document;
    document.Parse(("<track>" + cases[0].first + "<location>" + latin1 + "/a.mp3</location><album>" + latin1 + "</album></track>").c_str());
    DownloadModel::Track track(document.RootElement());
    EXPECT_EQ((Entries{"B000X1", "2", "", utf8}),
              (Entries{track.GetMetadataValue("PCID"), track.GetMetadataValue("retryCount"), track.GetMetadataValue("genre"),
                       track.GetMetadataValue("album")}));
    EXPECT_EQ("\xC3\x89t\xC3\xA9/a.mp3", track.GetURL());
    // A meta with text but no rel fails the load.
    EXPECT_THROW(SavedAgain("<title>t</title><meta>orphan</meta>"), std::invalid_argument);
}

using QueueTest = DownloadFixture;

// Each download finds itself in the queue while it is there, and only then can it be resumed;
// a copy of the queue keeps its order.
TEST_F(QueueTest, ADownloadIsFoundWhileQueuedAndOneClearedIsNotResumed)
{
    std::vector<DownloadPtr> added;
    for (const char* pcid : {"A", "B", "C"}) {
        added.push_back(NewDownload({{"PCID", pcid}, {"downloadState", "1"}}));
        model->AddDownload(added.back());
        EXPECT_EQ(added.back(), added.back()->GetDownloadRefFromModel());
    }
    EXPECT_EQ(added, model->GetDownloads());
    added[0]->SetState(Vantor::Net::Download::Canceled);
    added[1]->SetState(Vantor::Net::Download::Paused);
    model->ClearFinished();
    EXPECT_EQ(std::vector<DownloadPtr>{added[1]}, model->GetDownloads());
    for (const DownloadPtr& download : added) {
        EXPECT_EQ(download == added[1], !!download->GetDownloadRefFromModel()) << download->GetPCID();
        download->Resume();
    }
    Expect("B state 0");
    EXPECT_EQ(Vantor::Net::Download::Canceled, added[0]->GetState());
}

namespace {

// The model's library, in the fixture's fresh home, and others opened on the same database.
class LibraryTest : public DownloadFixture {
protected:
    std::string Database() const { return home.File(".vantormp3/vantormp3.db"); }
    Entries Rows(const std::string& sql) const { return DatabaseRows(Database(), sql); }
    Entries Finished() { return events->With("playlist "); }
    static Entries Troubles(PlaylistLibrary& library)
    {
        Entries troubles;
        for (const PlaylistLibrary::Trouble& trouble : library.TakeTroubles())
            troubles.push_back(std::vector<std::string>{"damaged ", "held", "unopenable"}.at(trouble.kind) + trouble.keptAt);
        return troubles;
    }

    PlaylistLibrary& library = model->GetPlaylistLibrary();
    const std::string kTrackRows = "SELECT playlist_id, pcid, filename, status, udo FROM playlist_track ORDER BY id";
};

} // namespace

// Titles and identifiers are data, never statement text: quotes and every byte are stored as
// they are. The records outlive the library; clearing keeps the schema version and the ids go on.
TEST_F(LibraryTest, MarksReachEveryPlaylistWhateverTheCaseFinishedOnesAreAnnouncedAndClearingKeepsTheVersion)
{
    const std::string quotes = "Rock 'n' Roll \"Live\"; DROP TABLE playlist; --";
    std::string bytes;
    for (int byte = 1; byte < 256; ++byte)
        bytes += static_cast<char>(byte);
    ASSERT_TRUE(library.Create("T", {"A", "B", "C"}) && library.Create("T", {"D"}) && library.Create(quotes, {"b", quotes}));
    PlaylistLibrary reopened;
    EXPECT_EQ(Entries({"1|T", "2|" + quotes}), Rows("SELECT id, name FROM playlist ORDER BY id"));
    library.SetTrackDownloaded("b", "/m/b.mp3");
    library.SetTrackExpired("zzz"); // a product nobody holds changes nothing
    EXPECT_EQ(Entries({"1|A|<null>|0|0", "1|B|/m/b.mp3|1|1", "1|C|<null>|0|2", "1|D|<null>|0|0", "2|b|/m/b.mp3|1|0", "2|" + quotes + "|<null>|0|1"}),
              Rows(kTrackRows));
    EXPECT_TRUE(Finished().empty());
    library.SetTrackDownloaded(quotes, bytes);
    const std::string second = "playlist 2 " + quotes + ": b//m/b.mp3/1 " + quotes + "/" + bytes + "/1";
    EXPECT_EQ(Entries({second}), Finished());
    library.SetTrackDownloaded("c", "/m/c.mp3");
    library.SetTrackDownloaded("D", "/m/d.mp3");
    EXPECT_EQ(1u, Finished().size());
    // An expired track no longer keeps its playlist pending; equal positions are listed in
    // the order they were recorded. A finished playlist is announced again at each mark.
    library.SetTrackExpired("a");
    library.SetTrackDownloaded("B", "/m/b2.mp3");
    EXPECT_EQ(Entries({second, "playlist 1 T: A//2 D//m/d.mp3/1 B//m/b.mp3/1 C//m/c.mp3/1", "playlist 1 T: A//2 D//m/d.mp3/1 B//m/b2.mp3/1 C//m/c.mp3/1",
                       "playlist 2 " + quotes + ": b//m/b2.mp3/1 " + quotes + "/" + bytes + "/1"}),
              Finished());
    ASSERT_TRUE(reopened.Clear() && reopened.Clear());
    EXPECT_TRUE(Rows(kTrackRows).empty() && Rows("SELECT * FROM playlist").empty());
    EXPECT_EQ(Entries({"0|1"}), Rows("SELECT id, version FROM playlist_version"));
    ASSERT_TRUE(library.Create("First", {"A"}));
    EXPECT_EQ(Entries({"7|3|A"}), Rows("SELECT id, playlist_id, pcid FROM playlist_track"));
    EXPECT_TRUE(log.Lines().empty());
}

// Another reader of the database (a music player indexing it) is waited for: a mark lands once it
// ends. A playlist it keeps from being committed within the wait is refused, nothing of it stored.
// Once it has held the database past the wait, nothing waits for it until it is free again; each
// such spell is found once, an opening held out too.
TEST_F(LibraryTest, AnotherProgramIsWaitedForAPlaylistItKeepsOutIsRefusedAndEachSpellIsFoundOnce)
{
    ASSERT_TRUE(library.Create("T", {"A"}));
    BusyWaits& waits = BusyWaits::Installed();
    PlaylistLibrary busy;
    {
        DatabaseReader reader(Database());
        const int before = waits.count;
        BackgroundCall mark([&busy] { busy.SetTrackDownloaded("A", "/m/a.mp3"); }, "mark");
        EXPECT_TRUE(PollUntil([&] { return waits.count > before || mark.HasReturned(); }));
        reader.Release();
        mark.Join();
        EXPECT_EQ(Entries({"1|A|/m/a.mp3|1|0"}), Rows(kTrackRows));

        DatabaseReader another(Database());
        waits.instant = true;
        EXPECT_FALSE(busy.Create("U", {"B"}));
        waits.instant = false;
    }
    EXPECT_EQ(Entries({"1|A|/m/a.mp3|1|0"}), Rows(kTrackRows));
    EXPECT_EQ(Entries{"PlaylistLibrary: Failed to commit Playlist rows!"}, log.Lines());
    ASSERT_TRUE(busy.Create("U", {"B"}));
    EXPECT_EQ(Entries({"1|T", "2|U"}), Rows("SELECT id, name FROM playlist ORDER BY id"));
    EXPECT_EQ(Entries{"held"}, Troubles(busy));

    waits.instant = true;
    {
        DatabaseWriter writer(Database());
        EXPECT_THROW(busy.Create("V", {"C"}), std::exception);
        const int before = waits.count;
        EXPECT_FALSE(busy.Clear());
        busy.SetTrackExpired("B");
        EXPECT_EQ(before, waits.count);
        PlaylistLibrary opening;
        EXPECT_EQ(Entries{"held"}, Troubles(opening));
        EXPECT_FALSE(opening.Create("V", {"C"}));
    }
    waits.instant = false;
    EXPECT_EQ(Entries{"held"}, Troubles(busy));
    busy.SetTrackExpired("B");
    EXPECT_EQ(Entries({"1|A|/m/a.mp3|1|0", "2|B||2|0"}), Rows(kTrackRows));
}

// A file that is no database, a damaged or a cut one, is kept aside as the other unreadable files
// are, and a new one takes its place: the playlist is recorded. Without a settings directory each
// operation fails and tries to open the database again, found once: once the directory can be
// made, it opens.
TEST_F(LibraryTest, DatabaseThatCantBeReadIsKeptAsideOneThatCantBeOpenedFailsEachOperation)
{
    ASSERT_TRUE(library.Create("T", {"A"}));
    const std::string whole = ReadFile(Database()), header("SQLite format 3\0", 16);
    const std::string contents[] = {std::string(8192, '\x7f'), header + std::string(8192, '\x7f'), whole.substr(0, whole.size() / 2)};
    Entries logged;
    for (const std::string& damaged : contents) {
        const size_t number = &damaged - contents + 1;
        const std::string kept = Database() + ".unreadable" + (number == 1 ? "" : "." + std::to_string(number));
        WriteFile(Database(), damaged);
        PlaylistLibrary reopened;
        EXPECT_TRUE(reopened.Create("U", {"B"}));
        EXPECT_EQ(Entries{"damaged " + kept}, Troubles(reopened));
        EXPECT_TRUE(damaged == ReadFile(kept)) << number;
        EXPECT_EQ(Entries{"1|B|<null>|0|0"}, Rows(kTrackRows));
        logged.push_back("PlaylistLibrary: couldn't read " + Database() + "; kept it as " + kept + " and started a new one");
    }
    EXPECT_EQ(logged, log.Lines());
    fs::rename(home.File(".vantormp3"), home.File("elsewhere"));
    WriteFile(home.File(".vantormp3"), "not a folder");
    PlaylistLibrary unopened;
    EXPECT_FALSE(unopened.Create("T", {"A"}) || unopened.Clear());
    unopened.SetTrackExpired("A");
    EXPECT_EQ(4u, log.LinesContaining("Connection: couldn't open: " + Database()).size());
    EXPECT_EQ(Entries{"unopenable"}, Troubles(unopened));
    fs::remove(home.File(".vantormp3"));
    ASSERT_TRUE(unopened.Create("T", {"A"}));
    EXPECT_EQ(Entries{"1|A|<null>|0|0"}, Rows(kTrackRows));
}

TEST_F(LibraryTest, ReadOnlyDatabaseReportsEveryFailedWrite)
{
    ASSERT_TRUE(library.Create("T", {"A"}));
    ASSERT_EQ(0, chmod(Database().c_str(), 0444) + chmod(home.File(".vantormp3").c_str(), 0555) + chmod(home.Path().c_str(), 0755));
    // Root writes through file modes, so the child that opens the file becomes nobody; it
    // names the first thing that went wrong. A plain fork: the fixture's servers stay with this process.
    const auto writeAsNobody = [this]() -> std::string {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return "can't become nobody";
        PlaylistLibrary readOnly;
        try {
            readOnly.Create("U", {"B"});
            return "playlist inserted";
        } catch (const std::exception&) {
        }
        readOnly.SetTrackDownloaded("A", "/m/a.mp3");
        if (readOnly.Clear())
            return "written";
        for (const char* line : {"PlaylistLibrary: Failed to update schema version!", "PlaylistLibrary: Failed to insert Playlist row!",
                                 "PlaylistLibrary: Failed to update Playlist row!"})
            if (log.LinesContaining(line).size() != 1)
                return std::string("not logged once: ") + line;
        return "ok";
    };
    EXPECT_EXIT(
        {
            std::fprintf(stderr, "%s\n", writeAsNobody().c_str());
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^ok\n$");
    EXPECT_EQ(Entries({"1|A|<null>|0|0"}), Rows(kTrackRows));
}
