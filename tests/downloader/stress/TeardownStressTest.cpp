// Models closed anywhere in their first downloads (transfer, rename, expired link, failed import,
// reports, marks); faults there show only now and then, so many times with varied delays.
#include "tests/downloader/download/DownloadTestSupport.h"

using namespace VantorTest;

namespace {

typedef DownloadFixture TeardownStressTest;

TEST_F(TeardownStressTest, ModelsClosedAtAnyMomentOfTheirWork)
{
    ServeFile("a.mp3", 2000);
    // An album folder that can't be made: that download fails at once.
    boost::filesystem::create_directories(MusicFolder());
    WriteFile(MusicFolder() + "Blocked", "");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int runs = 0;
    for (; runs < 3000 && std::chrono::steady_clock::now() < until; ++runs) {
        const std::string title = "Take " + std::to_string(runs);
        QueueDocument queue;
        queue.regular = {{AlbumTrack("ok", store.Url("/a.mp3"), {{"title", title}, {"trackType", "mp3"}}), ""},
                         {AlbumTrack("gone", store.Url("/status/400"), {{"trackType", "mp3"}}), ""},
                         {AlbumTrack("local", store.Url("/a.mp3"), {{"albumPrimaryArtist", "Blocked"}}), ""},
                         {{{"PCID", "import"}, {"trackType", "mp3"}, {"downloadState", "10"}}, ""}};
        queue.playlists = {{"Mix", {"ok", "gone"}}};
        NewModel();
        ASSERT_EQ(DownloadModel::ImportResult::Added, model->AddTracks(TemporaryFileWith(queue.Xml()).get()));
        // Once to its end: the model does real work in these runs.
        for (const char* end : {"ok finished 1", "gone finished 9", "local finished 8", "import finished 11"})
            if (runs == 0)
                Expect(end);
        std::this_thread::sleep_for(std::chrono::microseconds(runs % 32 * 60));
    }
    EXPECT_GT(runs, 20);
}

} // namespace
