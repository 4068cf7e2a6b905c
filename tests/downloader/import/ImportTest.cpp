// Queue files in: what is kept, in which order, what is recorded first, what fails whole,
// and metadata that must never place a file outside the music folder.
#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/data/CryptoUtility.h"
#include "core/filesystem/FilesystemUtility.h"
#include "tests/support/QueueFile.h"

#include <boost/filesystem.hpp>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::VideoFormat;

namespace {

// The encrypted form of a queue file's text, as the store has it.
std::string Encrypted(const std::string& text)
{
    OpenFile file(std::tmpfile());
    Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), text);
    return ContentsOf(file.get());
}

// A fresh home whose music folder is a plain file, and a model on it: every queued download
// ends at once with a local error, without a transfer, so a test sees only what the import did.
class BlockedImport : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    // Watching, it notes how many playlist tracks the database held whenever the model
    // announced a new download.
    explicit BlockedImport(bool watch = false)
    {
        WriteFile(home.File("Vantor MP3"), "blocked\n");
        model.reset(new DownloadModel(Vantor::Filesystem::FilesystemUtility::NewInstance()));
        if (watch)
            model->DownloadAddedSignal.connect(this, &BlockedImport::OnAdded);
    }
    ~BlockedImport() override { disconnect_all(); }

    bool Import(const std::string& contents)
    {
        OpenFile file = TemporaryFileWith(contents);
        return model->AddTracks(file.get());
    }

    ScopedHome home;
    std::unique_ptr<DownloadModel> model;
    std::vector<size_t> playlistRowsAtAdding;

private:
    void OnAdded(DownloadPtr) { playlistRowsAtAdding.push_back(PlaylistRows(home).size()); }
};

QueueEntry Entry(const std::string& pcid, const std::string& trackType, const std::string& location,
                 const std::string& element = "track")
{
    QueueEntry entry{{{"title", "Title " + pcid}, {"location", location}}, pcid, element};
    if (!trackType.empty()) entry.children.push_back({"trackType", trackType});
    return entry;
}

} // namespace

TEST(ImportTest, KeepsRegularThenDeluxeThenTheChosenVideosAndRecordsPlaylistsFirst)
{
    QueueDocument document;
    document.regular = {Entry("B1", "mp3", "http://127.0.0.1:9/a/1"),
                        // No track type: the extension of the location's path decides, the query aside.
                        Entry("B2", "", "http://127.0.0.1:9/a/2.MP3?sig=a.b"),
                        Entry("B3", "", "http://127.0.0.1:9/a/3.ogg"),
                        Entry("B4", "mp3", "http://127.0.0.1:9/a/4", "other")};
    document.deluxe = {Entry("V1", "mp4", "http://127.0.0.1:9/v/1"), Entry("D1", "pdf", "http://127.0.0.1:9/d/1"),
                       Entry("V2", "WMV", "http://127.0.0.1:9/v/2", "video"),
                       Entry("D2", "pdf", "http://127.0.0.1:9/d/2", "item"), Entry("X1", "", "", "item")};
    document.playlists = {{" \tFavourites \n", {"B2", "B3", "V2", "B1", "B2", "V1", "B4"}},
                          {"  ", {"B1"}},
                          {"Dropped only", {"B3", "X1"}}};

    const struct {
        VideoFormat format;
        bool encrypted;
        std::vector<std::string> queued;
        std::vector<std::string> favourites;
    } cases[] = {
        {VideoFormat::MP4, false, {"B1", "B2", "D1", "D2", "V1"}, {"B2", "B1", "B2", "V1"}},
        {VideoFormat::WMV, true, {"B1", "B2", "D1", "D2", "V2"}, {"B2", "V2", "B1", "B2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encrypted ? "encrypted" : "plain");
        BlockedImport import(true);
        import.model->SetSelectedVideoFormat(c.format);
        ASSERT_TRUE(import.Import(c.encrypted ? Encrypted(document.Xml()) : document.Xml()));

        EXPECT_EQ(c.queued, QueuedPCIDs(*import.model));
        std::vector<std::string> expectedRows;
        for (size_t i = 0; i < c.favourites.size(); ++i)
            expectedRows.push_back("Favourites|" + c.favourites[i] + "|" + std::to_string(i) + "|0|<null>");
        EXPECT_EQ(expectedRows, PlaylistRows(import.home));
        // Every download was announced after the whole playlist was there.
        EXPECT_EQ(std::vector<size_t>(c.queued.size(), expectedRows.size()), import.playlistRowsAtAdding);
    }
}

// Files that can't be read, or hold no queue, fail as a whole; entries without what a
// download needs are dropped; nothing of a file that fails is added or recorded; a file of
// 100,000 tracks is taken whole.
TEST(ImportTest, BadFilesFailWholeUnusableEntriesAreDroppedAndLargeOnesKept)
{
    QueueDocument album;
    album.regular = {Entry("B1", "mp3", "http://127.0.0.1:9/1.mp3"), Entry("B2", "mp3", "http://127.0.0.1:9/2.mp3")};
    album.playlists = {{"Album", {"B1", "B2"}}};
    const std::string good = album.Xml();
    album.regular.push_back(QueueEntry{{{"title", "T"}, {"trackType", "mp3"}}, "B3"});
    std::string metaWithoutRel = album.Xml();
    metaWithoutRel.insert(metaWithoutRel.find("</track></trackList>"), "<meta>no rel</meta>");
    // The parser steps over a NUL after a lead byte: seen through, the document is whole.
    std::string nulAfterLeadByte = good;
    nulAfterLeadByte.insert(nulAfterLeadByte.find("</title>", nulAfterLeadByte.find("Title B2")),
                            std::string("\xe0\0xx", 4));
    std::string latin1Damaged = good;
    latin1Damaged.insert(latin1Damaged.find("</title>", latin1Damaged.find("Title B2")), "\xe9");
    QueueDocument large;
    for (int i = 0; i < 100000; ++i)
        large.regular.push_back(Entry("P" + std::to_string(i), "mp3", "http://127.0.0.1:9/" + std::to_string(i)));
    large.playlists = {{"All", {"P0", "P99999"}}};

    const struct {
        const char* name;
        std::string contents;
        bool result;
        size_t queued;
        size_t playlistRows;
    } cases[] = {
        {"empty", "", false, 0, 0},
        {"not base64", "this is no queue file\n", false, 0, 0},
        {"bytes above 127", std::string("\x80\xff\xfe\n", 4), false, 0, 0},
        {"badly padded", "QUJD=RA==\n", false, 0, 0},
        {"encrypted, cut inside its first line", Encrypted(good).substr(0, 30), false, 0, 0},
        {"encrypted text that is not XML", Encrypted("just some words"), false, 0, 0},
        {"no playlist element", Encrypted("<?xml version=\"1.0\"?><queue><trackList/></queue>"), false, 0, 0},
        {"root beyond the first 255 bytes", "<!--" + std::string(260, '-') + "-->" + good, false, 0, 0},
        {"NUL before the root", std::string(1, '\0') + good, false, 0, 0},
        {"meta without rel after good tracks", metaWithoutRel, false, 0, 0},
        {"only the root", "<playlist/>", true, 0, 0},
        {"tracks lacking every field",
         "<playlist><trackList><track/><track></track><track><title/></track></trackList>"
         "<extension><deluxe><trackList><track/><item/></trackList></deluxe></extension></playlist>",
         true, 0, 0},
        // A damaged document is refused whole, not imported up to the damage.
        {"plain, cut inside the second track", good.substr(0, good.find("<title>Title B2")), false, 0, 0},
        {"Latin-1 before a tag in a file declared UTF-8", latin1Damaged, false, 0, 0},
        {"NUL inside a UTF-8 sequence", nulAfterLeadByte, false, 0, 0},
        {"100,000 tracks", Encrypted(large.Xml()), true, 100000, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BlockedImport import;
        EXPECT_EQ(c.result, import.Import(c.contents));
        EXPECT_EQ(c.queued, import.model->CountDownloads());
        EXPECT_EQ(c.playlistRows, PlaylistRows(import.home).size());
    }
}

// Real downloads of tracks whose every field holds what a path must not: dots that climb,
// separators, characters a name can't have, Latin-1 and UTF-8 bytes, 10,000 characters.
// Each file arrives whole inside the music folder, and nothing is written anywhere else.
typedef DownloadFixture ImportDownloadTest;

TEST_F(ImportDownloadTest, MetadataNeverPlacesAFileOutsideTheMusicFolder)
{
    const std::string song = ServeFile("song.mp3", 5000);
    const std::string wild = "a\\b:c*d?e\"f<g>h|i/j";
    const std::vector<std::vector<std::string>> fields = {
        // album artist, album, title, track number, disc number
        {"Mot\xf6rhead", "\xc9t\xe9", "Caf\xe9", "4", "1"},
        {"..", "..", "../../../up", "1", "1"},
        {".", " . . ", ".", "..", "."},
        {"/etc", "../../..", "passwd", "../3", "2/.."},
        {"Bj\xc3\xb6rk", "Homog\xc3\xa9nic \xe2\x98\x83", "J\xc3\xb3ga \xf0\x9f\x8e\xb5", "5", "1"},
        {std::string(10000, 'A'), std::string(10000, 'b'), std::string(5000, 'c') + "/" + std::string(4999, 'c'), "6", "1"},
        {wild, wild, wild, wild, wild},
    };
    // Latin-1 names come in a file that says so; the others in UTF-8.
    QueueDocument latin1, utf8;
    latin1.encoding = "ISO-8859-1";
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::vector<std::string>& f = fields[i];
        (i == 0 ? latin1 : utf8).regular.push_back(QueueEntry{
            {{"albumPrimaryArtist", f[0]}, {"album", f[1]}, {"title", f[2]}, {"trackNum", f[3]}, {"discNum", f[4]},
             {"creator", f[2]}, {"location", nginx.HttpUrl("/song.mp3?name=/../../up.mp3")}, {"trackType", "mp3"}},
            "N" + std::to_string(i)});
    }
    for (const std::string& text : {latin1.Xml(), Encrypted(utf8.Xml())}) {
        OpenFile file = TemporaryFileWith(text);
        ASSERT_TRUE(model->AddTracks(file.get()));
    }
    ASSERT_EQ(fields.size(), model->CountDownloads()) << testing::PrintToString(QueuedPCIDs(*model));

    const std::string music = boost::filesystem::canonical(MusicFolder()).string() + "/";
    const auto inMusic = [&](const std::string& path) { return path.compare(0, music.size(), music) == 0; };
    for (size_t i = 0; i < fields.size(); ++i) {
        const DownloadPtr download = model->GetDownloadAt(i);
        Expect(download->GetPCID() + " finished 1");
        const std::string file = boost::filesystem::canonical(download->GetLocalFilename()).string();
        EXPECT_TRUE(inMusic(file)) << file;
        EXPECT_EQ(song, ReadFile(file));
    }

    // The home holds the music folder's files and the settings folder, nothing else.
    size_t filesInMusic = 0;
    for (boost::filesystem::recursive_directory_iterator it(home.Path()), end; it != end; ++it) {
        const std::string path = it->path().string();
        if (boost::filesystem::is_regular_file(it->status()) && !inMusic(path))
            EXPECT_EQ(0u, path.find(home.File(".vantormp3/"))) << path;
        else if (boost::filesystem::is_regular_file(it->status()))
            ++filesInMusic;
    }
    EXPECT_EQ(fields.size(), filesInMusic);
}
