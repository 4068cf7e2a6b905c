#include "tests/downloader/model/PlaylistLibraryFixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

using namespace VantorTest;

namespace {

typedef std::vector<std::string> Texts;

const char kTrackRows[] = "SELECT playlist_id, pcid, filename, status, udo FROM playlist_track ORDER BY id";

// "title: pcid/filename/status ..." for a finished playlist's record.
std::string Describe(const IPlaylist& playlist)
{
    std::string text = std::to_string(playlist.GetID()) + " " + playlist.GetTitle() + ":";
    for (int i = 0; i < playlist.Count(); ++i) {
        const boost::shared_ptr<IPlaylistTrack> track = playlist.GetTrack(i);
        EXPECT_EQ(playlist.GetID(), track->GetPlaylistID());
        text += " " + track->GetPCID() + "/" + track->GetFilename() + "/" + std::to_string(track->GetStatus());
    }
    return text;
}

Texts Describe(const std::vector<boost::shared_ptr<IPlaylist>>& playlists)
{
    Texts texts;
    for (const auto& playlist : playlists) texts.push_back(Describe(*playlist));
    return texts;
}

} // namespace

TEST_F(PlaylistLibraryTest, NewSettingsDirectoryGetsTheDatabaseAndReopeningKeepsIt)
{
    {
        PlaylistLibrary library;
        ASSERT_TRUE(library.Create("Mix", {"A", "B"}));
    }
    EXPECT_EQ(Texts({"playlist", "playlist_track", "playlist_version"}),
              Rows("SELECT name FROM sqlite_master WHERE type='table' AND name LIKE 'playlist%' ORDER BY name"));
    PlaylistLibrary reopened;
    EXPECT_EQ(Texts({"0|1"}), Rows("SELECT id, version FROM playlist_version"));
    EXPECT_EQ(Texts({"1|Mix"}), Rows("SELECT id, name FROM playlist"));
    EXPECT_EQ(Texts({"1|A|<null>|0|0", "1|B|<null>|0|1"}), Rows(kTrackRows));
}

TEST_F(PlaylistLibraryTest, CreateAppendsByTitleAndMarkingMatchesAnyCaseInEveryPlaylist)
{
    PlaylistLibrary library;
    FinishedPlaylists finished(library);
    ASSERT_TRUE(library.Create("T", {"A", "B"}));
    ASSERT_TRUE(library.Create("T", {"D"}));
    ASSERT_TRUE(library.Create("t", {"b"}));
    EXPECT_EQ(Texts({"1|T", "2|t"}), Rows("SELECT id, name FROM playlist ORDER BY id"));

    library.SetTrackDownloaded("b", "/m/b.mp3");
    // A product nobody holds changes nothing.
    library.SetTrackExpired("zzz");
    EXPECT_EQ(Texts({"1|A|<null>|0|0", "1|B|/m/b.mp3|1|1", "1|D|<null>|0|0", "2|b|/m/b.mp3|1|0"}), Rows(kTrackRows));
    EXPECT_EQ(Texts({"2 t: b//m/b.mp3/1"}), Describe(finished.TakeAll()));

    // The record lists equal positions in the order they were recorded.
    library.SetTrackDownloaded("a", "/m/a.mp3");
    library.SetTrackDownloaded("D", "/m/d.mp3");
    EXPECT_EQ(Texts({"1 T: A//m/a.mp3/1 D//m/d.mp3/1 B//m/b.mp3/1"}), Describe(finished.TakeAll()));
}

TEST_F(PlaylistLibraryTest, FinishedPlaylistsAreAnnouncedWithTheirRecords)
{
    PlaylistLibrary library;
    FinishedPlaylists finished(library);
    ASSERT_TRUE(library.Create("Album", {"A", "B", "C"}));
    ASSERT_TRUE(library.Create("Single", {"B"}));

    library.SetTrackDownloaded("B", "/m/b.mp3");
    EXPECT_EQ(Texts({"2 Single: B//m/b.mp3/1"}), Describe(finished.TakeAll()));

    library.SetTrackDownloaded("c", "/m/c.mp3");
    EXPECT_TRUE(finished.TakeAll().empty());

    // An expired track no longer keeps its playlist pending.
    library.SetTrackExpired("A");
    const auto album = finished.TakeAll();
    EXPECT_EQ(Texts({"1 Album: A//2 B//m/b.mp3/1 C//m/c.mp3/1"}), Describe(album));
    EXPECT_THROW(album.at(0)->GetTrack(3), std::out_of_range);
    EXPECT_THROW(album.at(0)->GetTrack(-1), std::out_of_range);

    // A finished playlist is announced again each time one of its tracks is marked.
    library.SetTrackDownloaded("b", "/m/b2.mp3");
    EXPECT_EQ(Texts({"1 Album: A//2 B//m/b2.mp3/1 C//m/c.mp3/1", "2 Single: B//m/b2.mp3/1"}),
              Describe(finished.TakeAll()));
}

TEST_F(PlaylistLibraryTest, ClearKeepsTheVersionAndIdsContinue)
{
    PlaylistLibrary library;
    ASSERT_TRUE(library.Create("First", {"A", "B"}));
    ASSERT_TRUE(library.Create("Second", {"C"}));
    ASSERT_TRUE(library.Clear());
    EXPECT_TRUE(Rows("SELECT * FROM playlist").empty());
    EXPECT_TRUE(Rows("SELECT * FROM playlist_track").empty());
    EXPECT_EQ(Texts({"0|1"}), Rows("SELECT id, version FROM playlist_version"));

    ASSERT_TRUE(library.Create("First", {"A"}));
    EXPECT_EQ(Texts({"3|First"}), Rows("SELECT id, name FROM playlist"));
    EXPECT_EQ(Texts({"4|3|A"}), Rows("SELECT id, playlist_id, pcid FROM playlist_track"));
    EXPECT_TRUE(library.Clear());
    EXPECT_TRUE(library.Clear());
}

TEST_F(PlaylistLibraryTest, HostileTitlesAndIdentifiersAreStoredAsData)
{
    const std::string quotes = "Rock 'n' Roll \"Live\"; DROP TABLE playlist; --";
    std::string binary;
    for (int byte = 1; byte < 256; ++byte) binary += static_cast<char>(byte);
    const std::string longText(10000, 'x');
    const std::string longId = std::string(9999, 'q') + "Q";

    PlaylistLibrary library;
    FinishedPlaylists finished(library);
    ASSERT_TRUE(library.Create(quotes, {quotes, "%1%' OR '1'='1"}));
    ASSERT_TRUE(library.Create(binary, {binary}));
    ASSERT_TRUE(library.Create(longText, {longId}));
    EXPECT_EQ(Texts({quotes, binary, longText}), Rows("SELECT name FROM playlist ORDER BY id"));

    library.SetTrackDownloaded(quotes, binary);
    library.SetTrackDownloaded("%1%' OR '1'='1", "; DELETE FROM playlist_track;");
    library.SetTrackDownloaded(binary, longText);
    library.SetTrackDownloaded(std::string(10000, 'Q'), "/m/long.mp3");

    const Texts announced = Describe(finished.TakeAll());
    ASSERT_EQ(3u, announced.size());
    EXPECT_EQ("1 " + quotes + ": " + quotes + "/" + binary + "/1 %1%' OR '1'='1/; DELETE FROM playlist_track;/1",
              announced[0]);
    EXPECT_EQ("2 " + binary + ": " + binary + "/" + longText + "/1", announced[1]);
    EXPECT_EQ("3 " + longText + ": " + longId + "//m/long.mp3/1", announced[2]);
    EXPECT_EQ(4u, Rows("SELECT * FROM playlist_track").size());
}

TEST_F(PlaylistLibraryTest, FileThatIsNotADatabaseFailsEveryOperationQuietly)
{
    ASSERT_EQ(0, mkdir(SettingsDirectory().c_str(), 0750));
    const std::string garbage(8192, '\x7f');
    WriteFile(DatabasePath(), garbage);

    PlaylistLibrary library;
    FinishedPlaylists finished(library);
    EXPECT_EQ(1, log.Count("PlaylistLibrary: Failed to update schema version!"));
    EXPECT_FALSE(library.Create("T", {"A"}));
    library.SetTrackDownloaded("A", "/m/a.mp3");
    library.SetTrackExpired("A");
    EXPECT_FALSE(library.Clear());
    EXPECT_TRUE(finished.TakeAll().empty());
    EXPECT_EQ(1u, log.Entries().size());
    EXPECT_EQ(garbage, ReadFile(DatabasePath()));
}

TEST_F(PlaylistLibraryTest, SettingsDirectoryThatCannotBeCreatedFailsTheConstruction)
{
    // A plain file where the settings directory belongs.
    WriteFile(SettingsDirectory(), "not a folder");
    EXPECT_THROW(PlaylistLibrary library, std::exception);
    EXPECT_EQ(1, log.Count("Connection: couldn't open: " + DatabasePath()));
}

TEST_F(PlaylistLibraryTest, ReadOnlyDatabaseReportsEveryFailedWrite)
{
    {
        PlaylistLibrary library;
        ASSERT_TRUE(library.Create("T", {"A"}));
    }
    ASSERT_EQ(0, chmod(DatabasePath().c_str(), 0444));
    ASSERT_EQ(0, chmod(SettingsDirectory().c_str(), 0555));
    ASSERT_EQ(0, chmod(home.Path().c_str(), 0755));
    // Root writes through file modes, so the child that opens the file becomes nobody; it
    // names the first thing that went wrong.
    const auto writeAsNobody = [this]() -> std::string {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return "can't become nobody";
        PlaylistLibrary library;
        FinishedPlaylists finished(library);
        try {
            library.Create("U", {"B"});
            return "playlist inserted";
        } catch (const std::exception&) {
        }
        library.SetTrackDownloaded("A", "/m/a.mp3");
        if (!finished.TakeAll().empty() || library.Clear()) return "written";
        for (const char* line : {"PlaylistLibrary: Failed to update schema version!",
                                 "PlaylistLibrary: Failed to insert Playlist row!",
                                 "PlaylistLibrary: Failed to update Playlist row!"})
            if (log.Count(line) != 1) return std::string("not logged once: ") + line;
        return "ok";
    };
    EXPECT_EXIT(
        {
            std::fprintf(stderr, "%s\n", writeAsNobody().c_str());
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^ok\n$");
    EXPECT_EQ(Texts({"1|A|<null>|0|0"}), Rows(kTrackRows));
}
