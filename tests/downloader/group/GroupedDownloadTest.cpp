// An album group: what it shows of its children, and pause, resume and cancel of running downloads.
#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/filesystem/invalid_path_exception.h"
#include "downloader/model/GroupedDownload.h"

#include <boost/make_shared.hpp>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::GroupedDownload;
using Vantor::Net::Download;

namespace {

typedef DownloadFixture GroupTest;

TEST_F(GroupTest, StateTextPercentageAndMetadataComeFromTheChildren)
{
    const struct {
        std::vector<Download::State> children; // a Downloading child is half done
        Download::State state;
        std::string text;
        int percent;
    } cases[] = {
        {{}, Download::Downloaded, "Fertig", 0},
        {{Download::Downloaded, Download::Downloaded, Download::Downloading, Download::Waiting}, Download::Downloading, "Downloading", 62},
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
        EXPECT_EQ(c.state, album.GetState()) << c.text;
        EXPECT_EQ(c.text, album.GetStateString());
        EXPECT_EQ(c.percent, album.GetPercentCompleted()) << c.text;
    }

    // Title and folder are the first child's; a child without a file has no folder yet.
    GroupedDownload group(model);
    EXPECT_EQ(" - ", group.GetTrack()->GetMetadataValue("title"));
    EXPECT_EQ("", group.GetLocalFilename());
    EXPECT_FALSE(group.CanPause() || group.CanCancel() || group.CanResume());
    const DownloadPtr first = NewDownload({{"albumPrimaryArtist", "Röyksopp"}, {"album", "Melody A.M."}, {"primaryGenre", "Electronic"},
                                           {"PCID", "P1"}, {"localFilename", MusicFolder() + "R/M/.vlx(1).tmp"}},
                                          DownloadModel::Origin::SavedQueue);
    group.AddChildDownload(first);
    group.AddChildDownload(NewDownload({{"albumPrimaryArtist", "Air"}, {"album", "Moon Safari"}}));
    Entries values;
    for (const char* key : {"title", "album", "primaryGenre", "PCID"})
        values.push_back(group.GetTrack()->GetMetadataValue(key));
    EXPECT_EQ((Entries{"Röyksopp - Melody A.M.", "Melody A.M.", "Electronic", ""}), values);
    EXPECT_EQ(MusicFolder() + "R/M/", group.GetLocalFilename());
    group.DeleteChildDownload(first);
    group.DeleteChildDownload(first);
    EXPECT_EQ("Air - Moon Safari", group.GetTrack()->GetMetadataValue("title"));
    EXPECT_THROW(group.GetLocalFilename(), Vantor::Filesystem::invalid_path_exception);
}

// The album counts each child in the state it was added in or was last told of, and forgets the
// children taken out; a child added twice counts twice until taken out twice.
TEST_F(GroupTest, CountsFollowWhatTheGroupIsToldAndWhatIsTakenOut)
{
    GroupedDownload album(model);
    std::vector<DownloadPtr> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(NewDownload({{"title", "t"}}));
        children.back()->totalBytes = 1000;
        children.back()->bytesReceived = 500;
        album.AddChildDownload(children.back());
    }
    album.AddChildDownload(children[3]);
    const auto change = [&](int child, Download::State state, bool tell) {
        children[child]->SetState(state);
        if (tell)
            album.ChildStateChanged(children[child]);
    };
    // "state percent downloading waiting downloaded canceled paused"
    const auto shown = [&] {
        unsigned counts[5];
        album.GetChildStats(counts[0], counts[1], counts[2], counts[3], counts[4]);
        std::string text = std::to_string(album.GetState()) + " " + std::to_string(album.GetPercentCompleted());
        for (unsigned count : counts)
            text += " " + std::to_string(count);
        return text;
    };
    EXPECT_EQ("0 0 0 5 0 0 0", shown());
    change(0, Download::Downloaded, true);
    change(1, Download::Downloading, true);
    change(2, Download::Paused, false); // not told: still counted waiting
    EXPECT_EQ("2 30 1 3 1 0 0", shown());
    album.DeleteChildDownload(children[1]);
    EXPECT_EQ("0 25 0 3 1 0 0", shown());
    album.ChildStateChanged(children[2]);
    album.ChildStateChanged(children[1]); // no child any more: nothing
    EXPECT_EQ("0 25 0 2 1 0 1", shown());
    change(3, Download::Canceled, true);
    album.DeleteChildDownload(children[0]);
    album.DeleteChildDownload(children[3]);
    EXPECT_EQ("3 0 0 0 0 1 1", shown());
    album.DeleteChildDownload(children[2]);
    change(3, Download::Canceled, true);
    EXPECT_EQ("5 0 0 0 0 1 0", shown());
    album.DeleteChildDownload(children[3]);
    EXPECT_EQ("1 0 0 0 0 0 0", shown());
}

TEST_F(GroupTest, PauseResumeAndCancelReachEveryChildStillInTheModel)
{
    const auto group = boost::make_shared<GroupedDownload>(model);
    std::vector<DownloadPtr> tracks;
    // A track of the album, in the group and the model; its transfer stalls after its first bytes.
    const auto track = [&](const std::string& pcid) {
        const DownloadPtr child = NewDownload({{"location", store.Url("/stall/100000/track.mp3")}, {"fileSize", "100000"},
                                               {"albumPrimaryArtist", "Air"}, {"album", "Moon Safari"}, {"title", pcid}, {"PCID", pcid}});
        group->AddChildDownload(child);
        model->AddDownload(child);
        tracks.push_back(child);
        return child;
    };
    // The album's state once told of its tracks' events, as the list tells it.
    const auto albumState = [&] {
        for (const DownloadPtr& child : tracks)
            group->ChildStateChanged(child);
        return group->GetState();
    };
    track("A");
    const DownloadPtr second = track("B");
    Expect("A state 2");
    EXPECT_EQ(Download::Downloading, albumState());
    EXPECT_EQ(MusicFolder() + "Air/Moon Safari/", group->GetLocalFilename());
    // The waiting track pauses at once, the transferring one once its transfer has stopped.
    group->Pause();
    EXPECT_EQ(Download::Paused, second->GetState());
    Expect("A state 3");
    EXPECT_EQ(Download::Paused, albumState());
    // B's first work item is still queued, so B may be the one that runs first now.
    group->Resume();
    ASSERT_TRUE(events->journal.WaitUntil([](const Entries& entries) {
        return std::count(entries.begin(), entries.end(), "A state 2") == 2 || std::count(entries.begin(), entries.end(), "B state 2") == 1;
    }));
    group->Cancel();
    Expect("A state 5");
    Expect("B state 5");
    EXPECT_EQ(Download::Canceled, albumState());
    EXPECT_TRUE(group->CanResume());
    // Cleared from the model, the tracks are still counted but nothing can run them.
    model->ClearFinished();
    EXPECT_FALSE(group->CanResume());
    group->Resume();
    EXPECT_EQ(Download::Canceled, second->GetState());
    // The worker has nothing queued for them: only the next track runs again.
    const DownloadPtr kept = track("C");
    Expect("C state 2");
    kept->Pause();
    Expect("C state 3");
    group->Resume();
    Expect("C state 2", 2);
    EXPECT_EQ(Download::Canceled, second->GetState());
    EXPECT_EQ(Download::Downloading, albumState());
}

} // namespace
