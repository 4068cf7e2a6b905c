// A purchase from the store to the music folder: an encrypted queue file of a two-disc album
// with bonus items and playlists is imported, downloaded from nginx, reported to the store
// stand-in, recorded in the playlist database and saved; the saved queue is then restored.
#include "tests/downloader/import/ImportFixture.h"

#include "core/localization/TranslationService.h"
#include "tests/support/NginxServer.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TranslationFile.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <map>
#include <random>

using namespace VantorTest;

namespace {

const std::string kReportPath = "/gp/sonvel/ruq-result.html/";

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
    {"A101", "/album/d1t01.mp3?sig=a.b", "Opening", "1", "1", "mp3", "01 - Opening.mp3"},
    // No track type: the location's path says mp3.
    {"A102", "/album/d1t02.mp3?sig=c.d", "Second Song", "2", "1", "", "02 - Second Song.mp3"},
    {"A206", "/album/d2t06.mp3", "Interlude", "6", "2", "mp3", "(Disc 2) 06 - Interlude.mp3"},
    {"A207", "/album/d2t07.mp3?sig=e.f", "Intro", "7", "2", "mp3", "(Disc 2) 07 - Intro.mp3"},
};
const std::vector<Item> kDeluxe = {
    {"V1", "/bonus/making-of.mp4", "Making Of", "", "", "mp4", "Making Of.mp4"},
    {"V2", "/bonus/making-of.wmv", "Making Of", "", "", "wmv", ""},
    {"D1", "/bonus/booklet.pdf?sig=g.h", "Booklet", "", "", "pdf", "Booklet.pdf"},
};

std::string PathOnly(const std::string& servedPath)
{
    return servedPath.substr(0, servedPath.find('?'));
}

// Every <meta> and plain child of a saved track, by key.
std::map<std::string, std::string> SavedValues(TiXmlElement* track)
{
    std::map<std::string, std::string> values;
    for (TiXmlElement* child = track->FirstChildElement(); child; child = child->NextSiblingElement()) {
        std::string key = child->ValueStr();
        if (key == "meta") {
            key = child->Attribute("rel");
            key = key.substr(key.rfind('/') + 1);
        }
        values[key] = child->GetText() ? child->GetText() : "";
    }
    return values;
}

class EndToEndTest : public ::testing::Test {
protected:
    EndToEndTest() : nginx(served.Path()), store(storeRoot.Path())
    {
        WriteTranslationFile(translations.File("de.xml"), "de_DE", {{"sonvel_url_report_service", store.Url(kReportPath)}});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");

        std::mt19937 random(6);
        QueueDocument document;
        const auto add = [&](const Item& item, std::vector<QueueEntry>& list) {
            std::string bytes(20000 + random() % 150000, '\0');
            for (char& byte : bytes) byte = static_cast<char>(random());
            const boost::filesystem::path file = served.File(PathOnly(item.servedPath));
            boost::filesystem::create_directories(file.parent_path());
            WriteFile(file.string(), bytes);
            contents[item.pcid] = bytes;

            QueueEntry entry{{{"location", nginx.HttpUrl(item.servedPath)},
                              {"title", item.title},
                              {"creator", "The Band feat. Guest"},
                              {"album", "Double Album"},
                              {"albumPrimaryArtist", "The Band"},
                              {"image", nginx.HttpUrl("/art.jpg")},
                              {"fileSize", std::to_string(bytes.size())}},
                             item.pcid};
            if (!item.trackNum.empty()) entry.children.push_back({"trackNum", item.trackNum});
            if (!item.discNum.empty()) entry.children.push_back({"discNum", item.discNum});
            if (!item.trackType.empty()) entry.children.push_back({"trackType", item.trackType});
            list.push_back(entry);
        };
        for (const Item& item : kRegular) add(item, document.regular);
        for (const Item& item : kDeluxe) add(item, document.deluxe);
        document.playlists = {{"Disc Two", {"A206", "A207"}}, {"Extras", {"V1", "V2", "D1"}}};

        boost::filesystem::create_directory(import.home.File("Music"));
        OpenFile file(std::fopen(QueueFile().c_str(), "wb"));
        Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), document.Xml());
    }

    std::string QueueFile() const { return import.home.File("purchase.vlx"); }
    std::string AlbumFolder() const { return import.home.File("Music/Vantor MP3/The Band/Double Album/"); }

    bool ImportFile(DownloadModel& model, const std::string& path)
    {
        OpenFile file(std::fopen(path.c_str(), "rb"));
        return file && model.AddTracks(file.get());
    }

    // "tag pcid" of every report the store received.
    std::vector<std::string> Reports()
    {
        std::vector<std::string> reports;
        for (const std::string& request : store.Requests()) {
            const std::string::size_type tag = request.find("ref=") + 4;
            const std::string::size_type pcid = request.find("pcid=") + 5;
            reports.push_back(request.substr(tag, request.find('?', tag) - tag) + " " +
                              request.substr(pcid, request.find('&', pcid) - pcid));
        }
        std::sort(reports.begin(), reports.end());
        return reports;
    }

    TempDirectory served;
    TempDirectory storeRoot;
    TempDirectory translations;
    NginxServer nginx;
    StoreServer store;
    ModelHome import;
    std::map<std::string, std::string> contents;
};

} // namespace

TEST_F(EndToEndTest, PurchaseArrivesInTheMusicFolderAndTheSavedQueueRestoresIt)
{
    std::vector<const Item*> kept;
    for (const std::vector<Item>* list : {&kRegular, &kDeluxe})
        for (const Item& item : *list)
            if (!item.finalName.empty()) kept.push_back(&item);

    Journal journal;
    {
        FinishedDownloads finished(import.Model(), journal);
        ASSERT_TRUE(ImportFile(import.Model(), QueueFile()));
        EXPECT_EQ((std::vector<std::string>{"A101", "A102", "A206", "A207", "D1", "V1"}), import.QueuedPCIDs());
        ASSERT_TRUE(finished.WaitForCount(kept.size()));
    }

    // Every kept file, whole, under its final name; nothing else in the album folder.
    std::vector<std::string> names;
    for (boost::filesystem::directory_iterator it(AlbumFolder()), end; it != end; ++it)
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expectedNames;
    for (const Item* item : kept) expectedNames.push_back(item->finalName);
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(expectedNames, names);
    for (const Item* item : kept)
        EXPECT_TRUE(contents[item->pcid] == ReadFile(AlbumFolder() + item->finalName)) << item->finalName;

    // One success report and one first-try report per file.
    std::vector<std::string> expectedReports;
    for (const Item* item : kept) {
        expectedReports.push_back("dm_ruq_dl_ok " + item->pcid);
        expectedReports.push_back("dm_ruq_retry_00 " + item->pcid);
    }
    std::sort(expectedReports.begin(), expectedReports.end());
    ASSERT_TRUE(store.WaitForRequests(expectedReports.size(), kWaitLimit));
    EXPECT_EQ(expectedReports, Reports());

    const std::vector<std::string> playlists = {
        "Disc Two|A206|0|1|" + AlbumFolder() + "(Disc 2) 06 - Interlude.mp3",
        "Disc Two|A207|1|1|" + AlbumFolder() + "(Disc 2) 07 - Intro.mp3",
        "Extras|V1|0|1|" + AlbumFolder() + "Making Of.mp4",
        "Extras|D1|1|1|" + AlbumFolder() + "Booklet.pdf",
    };
    EXPECT_EQ(playlists, import.PlaylistRows());

    // The saved queue: encrypted, every download Downloaded at its final path, reported once.
    const std::string savedQueue = import.home.File(".vantormp3/DownloadQueue.vlx");
    {
        OpenFile file(std::fopen(savedQueue.c_str(), "wb"));
        import.Model().Save(file.get());
    }
    TiXmlDocument saved;
    saved.Parse(Decrypted(ReadFile(savedQueue)).c_str());
    ASSERT_FALSE(saved.Error()) << saved.ErrorDesc();
    TiXmlElement* trackList = saved.FirstChildElement("playlist")->FirstChildElement("trackList");
    ASSERT_TRUE(trackList);
    std::vector<std::string> savedOrder;
    for (TiXmlElement* track = trackList->FirstChildElement("track"); track; track = track->NextSiblingElement("track")) {
        std::map<std::string, std::string> values = SavedValues(track);
        savedOrder.push_back(values["PCID"]);
        const auto item = std::find_if(kept.begin(), kept.end(), [&](const Item* i) { return i->pcid == values["PCID"]; });
        ASSERT_NE(kept.end(), item);
        EXPECT_EQ("1", values["downloadState"]);
        EXPECT_EQ(AlbumFolder() + (*item)->finalName, values["localFilename"]);
        EXPECT_EQ("1", values["finishedStateReported"]);
        EXPECT_EQ("0", values["networkErrorType"]);
        EXPECT_EQ(0u, values.count("retryCount"));
    }
    EXPECT_EQ(import.QueuedPCIDs(), savedOrder);

    // Restored by a new model: listed as downloaded, nothing to do, no playlist recorded again.
    DownloadModel restored(Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility::NewInstance());
    ASSERT_TRUE(ImportFile(restored, savedQueue));
    ASSERT_EQ(kept.size(), restored.CountDownloads());
    for (unsigned i = 0; i < restored.CountDownloads(); ++i)
        EXPECT_EQ(Vantor::Net::Download::Downloaded, restored.GetDownloadAt(i)->GetState());
    EXPECT_FALSE(restored.HasActiveDownloads());
    EXPECT_EQ(playlists, import.PlaylistRows());
}
