// A purchase from the store to the music folder: an encrypted queue file of a two-disc album
// with bonus items and playlists is imported, downloaded from nginx, reported to the store
// stand-in, recorded in the playlist database and saved.
#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/data/CryptoUtility.h"
#include "downloader/model/DownloadModelTrack.h"
#include "tests/support/QueueFile.h"

#include <boost/filesystem.hpp>

#include <algorithm>

using namespace VantorTest;

namespace {

struct Item {
    std::string pcid;
    std::string servedPath; // on nginx, with the query a signed link has
    std::string title;
    std::string trackNum;
    std::string discNum;
    std::string trackType;
    std::string finalName; // empty: dropped by the import
};

const std::vector<Item> kRegular = {
    {"A101", "/d1t01.mp3?sig=a.b", "Opening", "1", "1", "mp3", "01 - Opening.mp3"},
    // No track type: the location's path says mp3.
    {"A102", "/d1t02.mp3?sig=c.d", "Second Song", "2", "1", "", "02 - Second Song.mp3"},
    {"A206", "/d2t06.mp3", "Interlude", "6", "2", "mp3", "(Disc 2) 06 - Interlude.mp3"},
    {"A207", "/d2t07.mp3?sig=e.f", "Intro", "7", "2", "mp3", "(Disc 2) 07 - Intro.mp3"},
};
const std::vector<Item> kDeluxe = {
    {"V1", "/making-of.mp4", "Making Of", "", "", "mp4", "Making Of.mp4"},
    {"V2", "/making-of.wmv", "Making Of", "", "", "wmv", ""},
    {"D1", "/booklet.pdf?sig=g.h", "Booklet", "", "", "pdf", "Booklet.pdf"},
};

class EndToEndTest : public DownloadFixture {
protected:
    EndToEndTest()
    {
        QueueDocument document;
        const auto add = [&](const Item& item, std::vector<QueueEntry>& list) {
            const std::string bytes = ServeFile(item.servedPath.substr(1, item.servedPath.find('?') - 1),
                                                20000 + 15000 * contents.size());
            contents[item.pcid] = bytes;
            QueueEntry entry{{{"location", nginx.HttpUrl(item.servedPath)}, {"title", item.title},
                              {"creator", "The Band feat. Guest"}, {"album", "Double Album"},
                              {"albumPrimaryArtist", "The Band"}, {"fileSize", std::to_string(bytes.size())},
                              {"trackNum", item.trackNum}, {"discNum", item.discNum}},
                             item.pcid};
            if (!item.trackType.empty()) entry.children.push_back({"trackType", item.trackType});
            list.push_back(entry);
        };
        for (const Item& item : kRegular) add(item, document.regular);
        for (const Item& item : kDeluxe) add(item, document.deluxe);
        document.playlists = {{"Disc Two", {"A206", "A207"}}, {"Extras", {"V1", "V2", "D1"}}};
        OpenFile file(std::fopen(files.File("purchase.vlx").c_str(), "wb"));
        Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), document.Xml());
    }

    std::string AlbumFolder() const { return MusicFolder() + "The Band/Double Album/"; }

    std::map<std::string, std::string> contents;
};

} // namespace

TEST_F(EndToEndTest, PurchaseArrivesInTheMusicFolderReportedRecordedAndSaved)
{
    std::vector<const Item*> kept;
    for (const std::vector<Item>* list : {&kRegular, &kDeluxe})
        for (const Item& item : *list)
            if (!item.finalName.empty()) kept.push_back(&item);

    OpenFile file(std::fopen(files.File("purchase.vlx").c_str(), "rb"));
    ASSERT_TRUE(file && model->AddTracks(file.get()));
    EXPECT_EQ((std::vector<std::string>{"A101", "A102", "A206", "A207", "D1", "V1"}), QueuedPCIDs(*model));
    for (const Item* item : kept)
        Expect(item->pcid + " finished 1");

    // Every kept file, whole, under its final name; nothing else in the album folder;
    // one success report and one first-try report each; saved as downloaded and reported.
    using boost::filesystem::directory_iterator;
    EXPECT_EQ(kept.size(), static_cast<size_t>(std::distance(directory_iterator(AlbumFolder()), directory_iterator())));
    std::vector<std::string> expectedReports, saved, expectedSaved;
    for (const Item* item : kept) {
        EXPECT_TRUE(contents[item->pcid] == ReadFile(AlbumFolder() + item->finalName)) << item->finalName;
        expectedReports.push_back("dm_ruq_dl_ok " + item->pcid);
        expectedReports.push_back("dm_ruq_retry_00 " + item->pcid);
        expectedSaved.push_back(item->pcid + " 1 " + AlbumFolder() + item->finalName + " 1");
    }
    for (const auto& track : SavedTracks(*model)) {
        DownloadModel::Download download(*model, track.get());
        saved.push_back(download.GetPCID() + " " + std::to_string(download.GetState()) + " " +
                        download.GetLocalFilename() + " " + download.GetTrack()->GetMetadataValue("finishedStateReported"));
    }
    std::vector<std::string> reports = Reports();
    for (auto* list : {&expectedReports, &reports, &saved, &expectedSaved})
        std::sort(list->begin(), list->end());
    EXPECT_EQ(expectedReports, reports);
    EXPECT_EQ(expectedSaved, saved);

    const std::vector<std::string> playlists = {
        "Disc Two|A206|0|1|" + AlbumFolder() + "(Disc 2) 06 - Interlude.mp3",
        "Disc Two|A207|1|1|" + AlbumFolder() + "(Disc 2) 07 - Intro.mp3",
        "Extras|V1|0|1|" + AlbumFolder() + "Making Of.mp4",
        "Extras|D1|1|1|" + AlbumFolder() + "Booklet.pdf",
    };
    EXPECT_EQ(playlists, PlaylistRows(home));
}
