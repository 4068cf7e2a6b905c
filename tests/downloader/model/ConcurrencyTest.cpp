#include "downloader/model/DownloadModelTrack.h"
#include "downloader/model/StoreNamespace.h"
#include "tests/downloader/model/PlaylistLibraryFixture.h"
#include "tests/support/ThreadSync.h"

#include <tinyxml.h>

#include <thread>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::StoreNamespace;

TEST_F(PlaylistLibraryTest, WorkerMarksWhileTheMainThreadCreatesAndClears)
{
    PlaylistLibrary library;
    FinishedPlaylists finished(library);
    {
        RepeatingCall marker([&library] {
            library.SetTrackDownloaded("a", "/m/a.mp3");
            library.SetTrackExpired("B");
        });
        ASSERT_TRUE(marker.WaitForMoreCalls(1));
        for (int i = 0; i < 200; ++i) {
            ASSERT_TRUE(library.Create("Album", {"A", "B"}));
            ASSERT_TRUE(library.Create("Other", {"b", "C"}));
            if (i % 4 == 3) {
                ASSERT_TRUE(library.Clear());
            }
        }
        ASSERT_TRUE(marker.WaitForMoreCalls(1));
    }
    EXPECT_TRUE(log.Entries().empty());

    // What is left behind is whole: every row belongs to a recorded playlist.
    EXPECT_TRUE(Rows("SELECT id FROM playlist_track WHERE playlist_id NOT IN (SELECT id FROM playlist)").empty());
    for (const auto& playlist : finished.TakeAll()) EXPECT_EQ("Album", playlist->GetTitle());

    // A mark from another thread reaches the subscriber with the finished record.
    ASSERT_TRUE(library.Clear());
    ASSERT_TRUE(library.Create("Last", {"Z"}));
    std::thread([&library] { library.SetTrackDownloaded("z", "/m/z.mp3"); }).join();
    const auto announced = finished.TakeAll();
    ASSERT_EQ(1u, announced.size());
    EXPECT_EQ("Last", announced[0]->GetTitle());
    EXPECT_EQ("/m/z.mp3", announced[0]->GetTrack(0)->GetFilename());
}

TEST(DownloadModelTrackConcurrencyTest, WorkerWritesWhileTheMainThreadReadsAndSaves)
{
    DownloadModel::Track track(nullptr);
    track.SetMetadata("title", "Intro");
    int value = 0;
    {
        RepeatingCall writer([&track, &value] {
            track.SetMetadata("retryCount", StoreNamespace::Client(), std::to_string(value % 3));
            track.SetMetadata("downloadState", std::to_string(++value));
        });
        ASSERT_TRUE(writer.WaitForMoreCalls(1));
        for (int i = 0; i < 500; ++i) {
            TiXmlElement trackList("trackList");
            track.Save(&trackList);
            ASSERT_NE(nullptr, trackList.FirstChildElement("track"));
            EXPECT_EQ("Intro", track.GetMetadataValue("title"));
            EXPECT_FALSE(track.GetMetadataValue("downloadState").empty());
        }
    }
    EXPECT_EQ(std::to_string(value), track.GetMetadataValue("downloadState"));
}
