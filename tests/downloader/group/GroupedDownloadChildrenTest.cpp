// A group over downloads that really run: the model's worker transfers them from the local
// store stand-in, whose stalled answers keep a transfer under way until it is stopped.
#include "tests/downloader/group/GroupFixture.h"

#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/StoreServer.h"

#include <algorithm>

using namespace VantorTest;
using Vantor::Net::Download;

namespace {

std::string Entry(const char* pcid, Download::State state)
{
    return std::string(pcid) + " state " + std::to_string(state);
}

class GroupChildrenTest : public GroupTest {
protected:
    GroupChildrenTest()
        : server(root.Path())
        , events(*model)
        , journal(events.journal)
    {
    }

    // The model stops its transfer while the server still answers.
    ~GroupChildrenTest() override
    {
        group.reset();
        model.reset();
    }

    // A track of the album, in the group and the model, whose transfer stalls after its
    // first bytes.
    DownloadPtr Track(const char* pcid)
    {
        DownloadPtr child = Child({{"location", server.Url("/stall/100000/track.mp3")},
                                   {"fileSize", "100000"},
                                   {"trackType", "mp3"},
                                   {"albumPrimaryArtist", "Air"},
                                   {"album", "Moon Safari"},
                                   {"title", pcid},
                                   {"PCID", pcid}});
        group->AddChildDownload(child);
        model->AddDownload(child);
        return child;
    }

    TempDirectory root;
    StoreServer server;
    ModelJournal events;
    Journal& journal;
};

} // namespace

TEST_F(GroupChildrenTest, PauseResumeAndCancelReachEveryChild)
{
    Track("A");
    DownloadPtr second = Track("B");
    ASSERT_TRUE(journal.WaitFor(Entry("A", Download::Downloading)));
    EXPECT_EQ(Download::Downloading, group->GetState());
    EXPECT_TRUE(group->CanPause());
    EXPECT_FALSE(group->CanResume());
    EXPECT_EQ(MusicFolder() + "Air/Moon Safari/", group->GetLocalFilename());

    // The waiting track pauses at once, the transferring one once its transfer has stopped.
    group->Pause();
    EXPECT_EQ(Download::Paused, second->GetState());
    ASSERT_TRUE(journal.WaitFor(Entry("A", Download::Paused)));
    EXPECT_EQ(Download::Paused, group->GetState());
    EXPECT_FALSE(group->CanPause());
    EXPECT_TRUE(group->CanResume());

    // B's first work item is still queued, so B may be the one that runs first now.
    group->Resume();
    ASSERT_TRUE(journal.WaitUntil([](const std::vector<std::string>& entries) {
        return std::count(entries.begin(), entries.end(), Entry("A", Download::Downloading)) == 2
            || std::count(entries.begin(), entries.end(), Entry("B", Download::Downloading)) == 1;
    }));
    EXPECT_EQ(Download::Downloading, group->GetState());

    group->Cancel();
    ASSERT_TRUE(journal.WaitFor(Entry("A", Download::Canceled)));
    ASSERT_TRUE(journal.WaitFor(Entry("B", Download::Canceled)));
    EXPECT_EQ(Download::Canceled, group->GetState());
    EXPECT_FALSE(group->CanCancel());
    EXPECT_TRUE(group->CanResume());
}

TEST_F(GroupChildrenTest, AChildClearedFromTheModelIsNotResumed)
{
    DownloadPtr cleared = Track("A");
    ASSERT_TRUE(journal.WaitFor(Entry("A", Download::Downloading)));
    cleared->Cancel();
    ASSERT_TRUE(journal.WaitFor(Entry("A", Download::Canceled)));
    model->ClearFinished();
    ASSERT_EQ(0u, model->CountDownloads());

    // The group still counts the cleared track, but there is nothing to run it any more.
    EXPECT_EQ(Download::Canceled, group->GetState());
    EXPECT_FALSE(group->CanResume());
    group->Resume();
    EXPECT_EQ(Download::Canceled, cleared->GetState());

    // The worker has nothing queued for it: the next track is the next thing it runs.
    DownloadPtr kept = Track("B");
    ASSERT_TRUE(journal.WaitFor(Entry("B", Download::Downloading)));
    kept->Pause();
    ASSERT_TRUE(journal.WaitFor(Entry("B", Download::Paused)));
    EXPECT_EQ(Download::Paused, group->GetState());

    // Only the track still in the model runs again.
    EXPECT_TRUE(group->CanResume());
    group->Resume();
    ASSERT_TRUE(journal.WaitFor(Entry("B", Download::Downloading), 2));
    EXPECT_EQ(Download::Canceled, cleared->GetState());
    EXPECT_EQ(Download::Downloading, group->GetState());
}
