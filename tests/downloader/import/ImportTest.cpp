// Queue files in: downloaded, reported, recorded and saved; and the files that fail as a whole.
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/BusyDatabase.h"

#include "core/data/StringUtility.h"

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::VideoFormat;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadType;
namespace fs = boost::filesystem;

namespace {

std::string Encrypted(const std::string& text)
{
    OpenFile file(std::tmpfile());
    Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), text);
    return ContentsOf(file.get());
}

// The store writes some characters as references ("&#...;"); the fields hold them as they stand.
std::string WithReferences(std::string xml)
{
    for (std::string::size_type at; (at = xml.find("&amp;#")) != std::string::npos;)
        xml.erase(at + 1, 4);
    return xml;
}

class ImportTest : public DownloadFixture, public sigslot::has_slots<sigslot::multi_threaded_local> {
protected:
    ~ImportTest() override { disconnect_all(); }
    bool Import(const std::string& contents) { return model->AddTracks(TemporaryFileWith(contents).get()) == DownloadModel::ImportResult::Added; }
    // Playlist rows at each announced download; only where no download writes them (no lock is waited for).
    void Watch() { model->DownloadAddedSignal.connect(this, &ImportTest::OnAdded); }
    void OnAdded(DownloadPtr) { rowsAtAdding.push_back(PlaylistRows(home).size()); }
    std::vector<size_t> rowsAtAdding;
};

} // namespace

// Regular tracks, deluxe items, chosen videos are kept in file order; each arrives whole, named by its
// metadata, inside the music folder whatever that holds, reported, recorded and saved; nothing else is written.
TEST_F(ImportTest, PurchaseArrivesInTheMusicFolderReportedRecordedAndSaved)
{
    const std::string wild = "a\\b:c*d?e\"f<g>h|i/j", quotes = "Rock 'n' Roll \"Live\"; DROP TABLE playlist; --";
    const struct {
        char list;                 // r, d: the purchase's regular and deluxe lists; l, m: the Latin-1 file's
        std::string pcid, served;  // the served path, with the query a signed link has
        std::vector<std::string> fields; // album artist, album, title, track, disc, track type, element
        std::string path;          // where it ends, under the music folder; empty: dropped
    } items[] = {
        {'r', "A101", "/a101.mp3?sig=a.b", {"The Band", "Double Album", "Opening", "1", "1", "mp3", "track"}, "The Band/Double Album/01 - Opening.mp3"},
        // No track type: the extension of the location's path decides.
        {'r', "A102", "/a102.MP3?sig=c.d", {"The Band", "Double Album", "Second", "2", "1", "", "track"}, "The Band/Double Album/02 - Second.MP3"},
        {'r', "B3", "/b3.ogg", {"The Band", "Double Album", "Ogg", "3", "1", "", "track"}, ""},
        {'r', "B4", "/b4.mp3", {"The Band", "Double Album", "Other", "4", "1", "mp3", "other"}, ""},
        {'r', "A206", "/a206.mp3", {"The Band", "Double Album", "Interlude", "6", "2", "mp3", "track"}, "The Band/Double Album/(Disc 2) 06 - Interlude.mp3"},
        {'r', "N1", "/n1.mp3?name=/../../up.mp3", {"..", "..", "../../../up", "1", "1", "mp3", "track"}, "__/__/01 - .._.._.._up.mp3"},
        {'r', "N2", "/n2.mp3", {".", " . . ", ".", "..", ".", "mp3", "track"}, "_/___/_.mp3"},
        {'r', "N3", "/n3.mp3", {"/etc", "../../..", "passwd", "../3", "2/..", "mp3", "track"}, "_etc/_._.._../(Disc 2) passwd.mp3"},
        {'r', "N4", "/n4.mp3", {"Bj\xc3\xb6rk", "Homog\xc3\xa9nic \xe2\x98\x83", "J\xc3\xb3ga \xf0\x9f\x8e\xb5", "5", "1", "mp3", "track"},
         "Bj\xc3\xb6rk/Homog\xc3\xa9nic \xe2\x98\x83/05 - J\xc3\xb3ga \xf0\x9f\x8e\xb5.mp3"},
        // Names too long are cut to the limit where a character ends.
        {'r', "N5", "/n5.mp3", {std::string(10000, 'A'), std::string(300, '.') + "b", std::string(5000, 'c') + "/" + std::string(4999, 'c'), "0", "1", "mp3", "track"},
         std::string(254, 'A') + "/_" + std::string(253, '.') + "/" + std::string(251, 'c') + ".mp3"},
        {'r', "N8", "/n8.mp3", {Repeated("\xc3\xbc", 5000), "Album", "n" + Repeated("\xc3\xbc", 200), "0", "1", "mp3", "track"},
         Repeated("\xc3\xbc", 127) + "/Album/n" + Repeated("\xc3\xbc", 125) + ".mp3"},
        {'r', "N6", "/n6.mp3", {wild, wild, wild, wild, wild, "mp3", "track"}, "a_b_c_d_e_f_g_h_i_j/a_b_c_d_e_f_g_h_i_j/a_b_c_d_e_f_g_h_i_j.mp3"},
        {'r', "N7", "/n7.mp3", {"", "", "", "123", "", "mp3", "track"}, "Unknown albumPrimaryArtist/Unknown album/123 - Unknown title.mp3"},
        // Control characters, as references or as they are, are replaced like invalid ones.
        {'r', "N9", "/n9.mp3", {"Line&#x0A;Break", "Esc&#x1B;[31m&#9;Red", "Bell&#7;&#x0D;&#x0A;End\xc2\x85", "9", "1", "mp3", "track"},
         "Line_Break/Esc_[31m_Red/09 - Bell___End_.mp3"},
        // Nothing is filed hidden, nor as a partial file, which a start would delete; white space at
        // either end of a folder name goes before anything is replaced.
        {'r', "H1", "/h1.tmp", {".config", ".local", ".vlx(8)", "", "", "mp3", "track"}, "_config/_local/_vlx(8).tmp"},
        {'r', "H2", "/h2.mp3", {"&#9; Padded Artist ", "&#x0D;&#x0A;Album&#11;", "Padded", "2", "", "mp3", "track"},
         "Padded Artist/Album/02 - Padded.mp3"},
        // No track type, and a path without an extension: the file is named in the query or in a folder.
        {'r', "Q1", "/q1?file=track.mp3", {"The Band", "Double Album", "Query", "7", "1", "", "track"}, "The Band/Double Album/07 - Query.mp3"},
        {'r', "Q2", "/q2.mp3/file", {"The Band", "Double Album", "Folder", "8", "1", "", "track"}, "The Band/Double Album/08 - Folder.mp3"},
        {'d', "V1", "/v1.mp4", {"The Band", "Double Album", "Making Of", "", "", "mp4", "track"}, "The Band/Double Album/Making Of.mp4"},
        {'d', "V2", "/v2.wmv", {"The Band", "Double Album", "Making Of", "", "", "WMV", "video"}, ""},
        {'d', "D1", "/d1.pdf?sig=g.h", {"The Band", "Double Album", "Booklet", "", "", "pdf", "item"}, "The Band/Double Album/Booklet.pdf"},
        {'d', "X1", "", {"", "", "", "", "", "", "item"}, ""},
        // Latin-1 names come in a file that says so, and are filed in UTF-8; its videos are chosen as WMV.
        {'l', "L1", "/l1.mp3", {"Mot\xf6rhead", "\xc9t\xe9", "Caf\xe9", "4", "1", "mp3", "track"}, "Mot\xc3\xb6rhead/\xc3\x89t\xc3\xa9/04 - Caf\xc3\xa9.mp3"},
        {'m', "L2", "/l2.mp4", {"Mot\xf6rhead", "\xc9t\xe9", "Video", "", "", "mp4", "track"}, ""},
        {'m', "L3", "/l3.wmv", {"Mot\xf6rhead", "\xc9t\xe9", "Video", "", "", "wmv", "track"}, "Mot\xc3\xb6rhead/\xc3\x89t\xc3\xa9/Video.wmv"},
    };
    QueueDocument purchase, latin1;
    latin1.encoding = "ISO-8859-1";
    latin1.playlists = {{"Caf\xe9 Mix", {"L1", "L3"}}};
    std::map<std::string, std::string> contents;
    Entries paths, expectedPaths;
    for (const auto& item : items) {
        const std::vector<std::string>& f = item.fields;
        if (!item.path.empty())
            expectedPaths.push_back(item.path);
        contents[item.pcid] = item.served.empty() ? "" : ServeFile(item.served.substr(1, item.served.find('?') - 1), 5000 + 1000 * contents.size());
        QueueEntry entry{{{"albumPrimaryArtist", f[0]}, {"album", f[1]}, {"title", f[2]}, {"trackNum", f[3]}, {"discNum", f[4]},
                          {"creator", f[0] + " feat. Guest"}, {"fileSize", std::to_string(contents[item.pcid].size())}},
                         item.pcid, f[6]};
        if (!item.served.empty())
            entry.children.push_back({"location", nginx.HttpUrl(item.served)});
        if (!f[5].empty())
            entry.children.push_back({"trackType", f[5]});
        (item.list == 'r' ? purchase.regular : item.list == 'd' ? purchase.deluxe : item.list == 'l' ? latin1.regular : latin1.deluxe).push_back(entry);
    }
    purchase.playlists = {{" \tFavourites \n", {"A206", "B3", "V2", "A101", "A206", "V1", "B4"}}, {"  ", {"A101"}}, {"Dropped", {"B3", "X1"}},
                          {quotes, {"N7"}}};
    ASSERT_TRUE(Import(Encrypted(WithReferences(purchase.Xml()))));
    model->SetSelectedVideoFormat(VideoFormat::WMV);
    ASSERT_TRUE(Import(latin1.Xml()));
    EXPECT_EQ((Entries{"A101", "A102", "A206", "N1", "N2", "N3", "N4", "N5", "N8", "N6", "N7", "N9", "H1", "H2", "Q1", "Q2", "D1", "V1", "L1", "L3"}),
              QueuedPCIDs(*model));

    Entries reports, saved, expectedReports, expectedSaved;
    for (unsigned i = 0; i < model->CountDownloads(); ++i) {
        const DownloadPtr download = model->GetDownloadAt(i);
        const std::string pcid = download->GetPCID();
        Expect(pcid + " finished 1");
        EXPECT_TRUE(contents[pcid] == ReadFile(download->GetLocalFilename())) << pcid;
        expectedReports.insert(expectedReports.end(), {"dm_ruq_dl_ok " + pcid, "dm_ruq_retry_00 " + pcid});
        expectedSaved.push_back(pcid + " 1 " + download->GetLocalFilename() + " 1");
    }
    for (const auto& track : SavedTracks(*model)) {
        DownloadModel::Download download(*model, track.get(), DownloadModel::Origin::SavedQueue);
        saved.push_back(download.GetPCID() + " " + std::to_string(download.GetState()) + " " + download.GetLocalFilename() + " "
                        + download.GetTrack()->GetMetadataValue("finishedStateReported"));
    }
    EXPECT_EQ(expectedSaved, saved);
    // Once saved, the home holds the music folder's files and the settings folder, nothing else.
    for (fs::recursive_directory_iterator it(home.Path()), end; it != end; ++it)
        if (fs::is_regular_file(it->status()) && it->path().string().find(home.File(".vantormp3/")) != 0)
            paths.push_back(it->path().string().find(MusicFolder()) ? it->path().string() : it->path().string().substr(MusicFolder().size()));
    std::sort(paths.begin(), paths.end());
    std::sort(expectedPaths.begin(), expectedPaths.end());
    EXPECT_EQ(expectedPaths, paths);
    reports = Reports();
    for (auto* list : {&expectedReports, &reports})
        std::sort(list->begin(), list->end());
    EXPECT_EQ(expectedReports, reports);
    const std::string album = MusicFolder() + "The Band/Double Album/";
    EXPECT_EQ((Entries{"Favourites|A206|0|1|" + album + "(Disc 2) 06 - Interlude.mp3", "Favourites|A101|1|1|" + album + "01 - Opening.mp3",
                       "Favourites|A206|2|1|" + album + "(Disc 2) 06 - Interlude.mp3", "Favourites|V1|3|1|" + album + "Making Of.mp4",
                       quotes + "|N7|0|1|" + MusicFolder() + items[12].path, "Caf\xc3\xa9 Mix|L1|0|1|" + MusicFolder() + items[22].path,
                       "Caf\xc3\xa9 Mix|L3|1|1|" + MusicFolder() + items[24].path}),
              PlaylistRows(home));
}

// Unreadable, empty, cut or partly bad files add and record nothing; a good file's playlists are
// there before any of its downloads is announced.
TEST_F(ImportTest, FilesThatCantBeReadAddNothing)
{
    WriteFile(home.File("Vantor MP3"), "a plain file: downloads end at once, without a transfer");
    QueueDocument album;
    album.regular = {QueueEntry{{{"title", "One"}, {"location", "http://127.0.0.1:9/1.mp3"}}, "B1"},
                     QueueEntry{{{"title", "Two"}, {"location", "http://127.0.0.1:9/2.mp3"}}, "B2"}};
    album.playlists = {{"Album", {"B1", "B2"}}};
    const std::string good = album.Xml();
    album.regular.push_back(QueueEntry{{{"title", "T"}, {"trackType", "mp3"}, {"meta", "no rel"}}, "B3"});
    const std::pair<std::string, int> cases[] = { // the downloads it adds; -1: the import fails
        {"", -1}, {Encrypted(good).substr(0, 30), -1}, {Encrypted("<?xml version=\"1.0\"?><queue><trackList/></queue>"), -1},
        {"<!--" + std::string(260, '-') + "-->" + good, -1}, // the root beyond the first 255 bytes
        {std::string(1, '\0') + good, -1}, {album.Xml(), -1}, {"<playlist/>", 0}, {good.substr(0, good.find("<title>Two")), -1},
        // The parser steps over a NUL after a UTF-8 lead byte: seen through, the document is whole.
        {good.substr(0, good.find("</title>")) + std::string("\xe0\0xx", 4) + good.substr(good.find("</title>")), -1},
        // Nested deeper than any queue file (700 KB): the parser would run out of stack.
        {"<playlist>" + Repeated("<track>", 100000), -1},
    };
    for (const auto& c : cases) {
        NewModel();
        EXPECT_EQ(c.second >= 0, Import(c.first)) << c.first.substr(0, 80);
        EXPECT_EQ(static_cast<unsigned>(std::max(c.second, 0)), model->CountDownloads());
        EXPECT_TRUE(PlaylistRows(home).empty());
    }
    // Playlists that can't be stored (another program keeps the database busy past the wait:
    // a reader at the commit, a writer at the first row) fail the import for that cause, so that
    // the caller keeps the file and says why.
    BusyWaits::Installed().instant = true;
    const std::string database = home.File(".vantormp3/vantormp3.db");
    const auto importWhileHeld = [&](const DatabaseHolder&) { return model->AddTracks(TemporaryFileWith(good).get()); };
    NewModel();
    EXPECT_EQ(DownloadModel::ImportResult::PlaylistsRefused, importWhileHeld(DatabaseReader(database)));
    NewModel();
    EXPECT_EQ(DownloadModel::ImportResult::PlaylistsRefused, importWhileHeld(DatabaseWriter(database)));
    BusyWaits::Installed().instant = false;
    EXPECT_EQ(0u, model->CountDownloads());
    EXPECT_TRUE(PlaylistRows(home).empty());
    NewModel();
    Watch();
    ASSERT_TRUE(Import(good));
    EXPECT_EQ((std::vector<size_t>{2, 2}), rowsAtAdding);
    // A stray byte that is not UTF-8 (a Latin-1 title saved as it came) is read as Latin-1, also
    // behind a byte order mark.
    NewModel();
    EXPECT_TRUE(Import("\xef\xbb\xbf" + good.substr(0, good.find("</title>")) + "\xe9" + good.substr(good.find("</title>"))));
    EXPECT_EQ(2u, model->CountDownloads());
    EXPECT_EQ("One\xc3\xa9", model->GetDownloadAt(0)->GetTrack()->GetMetadataValue("title"));
}

// A name that is not UTF-8 is read as Latin-1 as a whole, entities and all, so its folder is
// UTF-8 from the first run on. Quitting mid-transfer saves the queue; the next run restores it
// and resumes the partial file there: no file or folder is left behind, and the saved queue,
// UTF-8 throughout, names the artist as filed. A UTF-8 name stays as it is.
TEST_F(ImportTest, NamesThatAreNotUTF8AreFiledAsLatin1AndResumedAfterARestart)
{
    const std::string contents = ServeFile("p.mp3", 100 * 1000);
    const std::pair<std::string, std::string> artists[] = { // in the queue file; filed as
        {"Bj\xf6rk", "Bj\xc3\xb6rk"}, {"\xc9" "dith Piaf", "\xc3\x89" "dith Piaf"}, {"Caf\xe9& Bar", "Caf\xc3\xa9& Bar"},
        {"Sigur R\xc3\xb3s & \xe2\x98\x83", "Sigur R\xc3\xb3s & \xe2\x98\x83"},
        // References in a file that is not UTF-8 are their characters, in UTF-8 beside the Latin-1.
        {"&#x4E2D;&#x6587; &#x0141;&#243;d&#x17A; \xe9", "\xe4\xb8\xad\xe6\x96\x87 \xc5\x81\xc3\xb3" "d\xc5\xba \xc3\xa9"}};
    for (const auto& artist : artists) {
        fs::remove_all(MusicFolder());
        NewModel();
        QueueDocument purchase;
        purchase.regular = {QueueEntry{{{"albumPrimaryArtist", artist.first}, {"album", "Album"}, {"title", "Song"}, {"trackNum", "1"},
                                        {"trackType", "mp3"}, {"location", store.Url("/slow/p.mp3")}}, "P1"}};
        ASSERT_TRUE(Import(WithReferences(purchase.Xml())));
        // Quitting pauses every download and saves the queue.
        Expect("P1 progress");
        model->GetDownloadAt(0)->Pause();
        Expect("P1 finished 3");
        const auto kept = fs::file_size(model->GetDownloadAt(0)->GetLocalFilename());
        OpenFile saved(std::tmpfile());
        model->Save(saved.get());
        std::fflush(saved.get());

        NewModel();
        ASSERT_EQ(DownloadModel::ImportResult::Added, model->AddTracks(saved.get(), DownloadModel::Origin::SavedQueue));
        Expect("P1 finished 1");
        const DownloadPtr restored = model->GetDownloadAt(0);
        const std::string album = artist.second + "/Album";
        EXPECT_EQ(MusicFolder() + album + "/01 - Song.mp3", restored->GetLocalFilename()) << artist.first;
        EXPECT_TRUE(contents == ReadFile(restored->GetLocalFilename()));
        EXPECT_EQ(static_cast<long long>(contents.size() - kept), restored->bytesReceived);
        SavedTracks(*model);
        Entries left;
        for (fs::recursive_directory_iterator it(MusicFolder()), end; it != end; ++it)
            left.push_back(it->path().string().substr(MusicFolder().size()));
        std::sort(left.begin(), left.end());
        EXPECT_EQ((Entries{artist.second, album, album + "/01 - Song.mp3"}), left);
        std::string text;
        OpenFile again(std::tmpfile());
        model->Save(again.get());
        std::fflush(again.get());
        Vantor::Data::CryptoUtility::DecryptVLXFile(again.get(), text);
        EXPECT_TRUE(Vantor::Data::StringUtility::IsUTF8(text));
        EXPECT_NE(std::string::npos, text.find(XmlElement("albumPrimaryArtist", EscapeXml(artist.second)))) << text;
    }
}

// A track's kind without a track type: mp3 when the address's path ends in ".mp3", or when the
// three characters after the address's last dot are "mp3"; anything else is dropped.
TEST_F(ImportTest, ATrackWithoutATypeIsAudioWhenItsPathOrItsAddressEndsInMp3)
{
    const std::pair<const char*, bool> cases[] = { // location; audio
        {"http://h/a.mp3?sig=x.y", true},   {"http://h/a.MP3", true},         {"http://h/dl.php?f=4.mp3", true},
        {"http://h/8.ogg?file=8.Mp3", true}, {"http://h/q2.mp3/file", true},   {"http://h/q?f=a.mp3x", true},
        {"http://h/b3.ogg", false},         {"http://h/a.mp3.ogg", false},     {"http://h/a.mp?x=.mp", false},
        {"http://h.example/file", false},   {"", false}};
    for (const auto& [location, audio] : cases) {
        const auto element = TrackElement({{"location", location}});
        const DownloadModel::Download download(*model, element.get());
        EXPECT_EQ(audio ? DownloadType::Audio : DownloadType::Undetermined, download.GetType()) << location;
        EXPECT_EQ(audio ? "mp3" : "", download.GetTrackType()) << location;
    }
}
