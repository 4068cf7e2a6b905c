// An album group: what it shows of its children, and pause, resume and cancel reaching
// downloads that really run (the store stand-in's stalled answers keep a transfer under way
// until it is stopped).
#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/filesystem/invalid_path_exception.h"
#include "downloader/model/DownloadModelTrack.h"
#include "downloader/model/GroupedDownload.h"

#include <boost/make_shared.hpp>

#include <algorithm>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::GroupedDownload;
using Vantor::Net::Download;

namespace {

std::string Entry(const char* pcid, Download::State state)
{
    return std::string(pcid) + " state " + std::to_string(state);
}

class GroupTest : public DownloadFixture {
protected:
    GroupTest() : group(boost::make_shared<GroupedDownload>(model)) {}

    // A track of the album, in the group and the model, whose transfer stalls after its
    // first bytes.
    DownloadPtr Track(const char* pcid)
    {
        DownloadPtr child = NewDownload({{"location", store.Url("/stall/100000/track.mp3")}, {"fileSize", "100000"},
                                         {"albumPrimaryArtist", "Air"}, {"album", "Moon Safari"},
                                         {"title", pcid}, {"PCID", pcid}});
        group->AddChildDownload(child);
        model->AddDownload(child);
        return child;
    }

    boost::shared_ptr<GroupedDownload> group;
};

} // namespace

TEST_F(GroupTest, StateTextAndPercentageComeFromTheChildren)
{
    const struct {
        std::vector<Download::State> children;  // a Downloading child is half done
        Download::State state;
        std::string text;
        int percent;
    } cases[] = {
        {{}, Download::Downloaded, "Fertig", 0},
        {{Download::Downloaded, Download::Downloaded, Download::Downloading, Download::Waiting}, Download::Downloading,
         "Downloading", 62},
        {{Download::Waiting, Download::Paused}, Download::Waiting, "Waiting", 0},
        {{Download::Paused, Download::Downloaded}, Download::Paused, "Paused", 50},
        {{Download::Canceled, Download::Canceled}, Download::Canceled, "Canceled", 0},
        {{Download::Downloaded, Download::Canceled}, Download::NetworkError, "Unvollständig", 50},
        // States the group does not count make the album incomplete.
        {{Download::LocalFileError, Download::Pausing, Download::Downloaded}, Download::NetworkError, "Unvollständig", 33},
    };
    for (const auto& c : cases) {
        GroupedDownload album(model);
        for (Download::State state : c.children) {
            DownloadPtr child = NewDownload({{"title", "t"}});
            child->SetState(state);
            child->totalBytes = 1000;
            child->bytesReceived = 500;
            album.AddChildDownload(child);
        }
        SCOPED_TRACE(c.children.size());
        EXPECT_EQ(c.state, album.GetState());
        EXPECT_EQ(c.text, album.GetStateString());
        EXPECT_EQ(c.percent, album.GetPercentCompleted());
    }
}

TEST_F(GroupTest, AlbumMetadataAndFolderAreTheFirstChilds)
{
    EXPECT_EQ(" - ", group->GetTrack()->GetMetadataValue("title"));
    EXPECT_EQ("", group->GetLocalFilename());
    EXPECT_FALSE(group->CanPause() || group->CanCancel() || group->CanResume());

    const std::string folder = MusicFolder() + "Röyksopp/Melody A.M./";
    DownloadPtr first = NewDownload({{"albumPrimaryArtist", "Röyksopp"}, {"album", "Melody A.M."},
                                     {"primaryGenre", "Electronic"}, {"creator", "Röyksopp feat. Erlend"},
                                     {"PCID", "P1"}, {"localFilename", folder + ".vlx(1).tmp"}});
    group->AddChildDownload(first);
    group->AddChildDownload(NewDownload({{"albumPrimaryArtist", "Air"}, {"album", "Moon Safari"}}));
    for (const auto& value : Fields{{"title", "Röyksopp - Melody A.M."}, {"album", "Melody A.M."},
                                    {"primaryGenre", "Electronic"}, {"creator", ""}, {"PCID", ""}})
        EXPECT_EQ(value.second, group->GetTrack()->GetMetadataValue(value.first)) << value.first;
    EXPECT_EQ(folder, group->GetLocalFilename());

    // Deleting the first child (twice: the second time changes nothing) makes the other one
    // the album, which has no file and so no folder yet.
    group->DeleteChildDownload(first);
    group->DeleteChildDownload(first);
    EXPECT_EQ("Air - Moon Safari", group->GetTrack()->GetMetadataValue("title"));
    EXPECT_THROW(group->GetLocalFilename(), Vantor::Filesystem::invalid_path_exception);
}

TEST_F(GroupTest, PauseResumeAndCancelReachEveryChildStillInTheModel)
{
    Track("A");
    DownloadPtr second = Track("B");
    Expect(Entry("A", Download::Downloading));
    EXPECT_EQ(Download::Downloading, group->GetState());
    EXPECT_EQ(MusicFolder() + "Air/Moon Safari/", group->GetLocalFilename());

    // The waiting track pauses at once, the transferring one once its transfer has stopped.
    group->Pause();
    EXPECT_EQ(Download::Paused, second->GetState());
    Expect(Entry("A", Download::Paused));
    EXPECT_EQ(Download::Paused, group->GetState());

    // B's first work item is still queued, so B may be the one that runs first now.
    group->Resume();
    ASSERT_TRUE(events->journal.WaitUntil([](const std::vector<std::string>& entries) {
        return std::count(entries.begin(), entries.end(), Entry("A", Download::Downloading)) == 2
            || std::count(entries.begin(), entries.end(), Entry("B", Download::Downloading)) == 1;
    }));
    group->Cancel();
    Expect(Entry("A", Download::Canceled));
    Expect(Entry("B", Download::Canceled));
    EXPECT_EQ(Download::Canceled, group->GetState());
    EXPECT_TRUE(group->CanResume());

    // Cleared from the model, the tracks are still counted but nothing can run them.
    model->ClearFinished();
    EXPECT_FALSE(group->CanResume());
    group->Resume();
    EXPECT_EQ(Download::Canceled, second->GetState());

    // The worker has nothing queued for them: the next track is the next thing it runs, and
    // only it runs again.
    DownloadPtr kept = Track("C");
    Expect(Entry("C", Download::Downloading));
    kept->Pause();
    Expect(Entry("C", Download::Paused));
    group->Resume();
    Expect(Entry("C", Download::Downloading), 2);
    EXPECT_EQ(Download::Canceled, second->GetState());
    EXPECT_EQ(Download::Downloading, group->GetState());
}
