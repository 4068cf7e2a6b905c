#include "tests/downloader/group/GroupFixture.h"

#include "core/filesystem/invalid_path_exception.h"
#include "downloader/model/DownloadModelTrack.h"

#include <vector>

using namespace VantorTest;
using Vantor::Net::Download;

TEST_F(GroupTest, StateTextAndPercentageComeFromTheChildren)
{
    struct Aggregate {
        std::vector<State> children;  // a Downloading child is half done
        State state;
        std::string text;
        int percent;
    };
    const std::vector<Aggregate> cases = {
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
    for (const Aggregate& aggregate : cases) {
        GroupedDownload album(model);
        for (State state : aggregate.children) {
            DownloadPtr child = Child({{"title", "t"}});
            child->SetState(state);
            child->totalBytes = 1000;
            child->bytesReceived = 500;
            album.AddChildDownload(child);
        }
        SCOPED_TRACE(aggregate.children.size());
        EXPECT_EQ(aggregate.state, album.GetState());
        EXPECT_EQ(aggregate.text, album.GetStateString());
        EXPECT_EQ(aggregate.percent, album.GetPercentCompleted());
    }
}

TEST_F(GroupTest, AlbumMetadataAndFolderAreTheFirstChilds)
{
    const auto album = group->GetTrack();
    EXPECT_EQ(" - ", album->GetMetadataValue("title"));
    EXPECT_EQ("", group->GetLocalFilename());
    EXPECT_FALSE(group->CanPause() || group->CanCancel() || group->CanResume());

    const std::string folder = MusicFolder() + "Röyksopp/Melody A.M./";
    DownloadPtr first = Child({{"albumPrimaryArtist", "Röyksopp"}, {"album", "Melody A.M."},
                               {"primaryGenre", "Electronic"}, {"image", "http://127.0.0.1:1/cover.jpg"},
                               {"creator", "Röyksopp feat. Erlend"}, {"title", "So Easy"}, {"trackNum", "1"},
                               {"PCID", "P1"}, {"localFilename", folder + ".vlx(1).tmp"}});
    group->AddChildDownload(first);
    group->AddChildDownload(Child({{"albumPrimaryArtist", "Air"}, {"album", "Moon Safari"}}));

    const std::map<std::string, std::string> expected = {
        {"title", "Röyksopp - Melody A.M."}, {"album", "Melody A.M."}, {"albumPrimaryArtist", "Röyksopp"},
        {"primaryGenre", "Electronic"}, {"image", "http://127.0.0.1:1/cover.jpg"}, {"creator", ""},
        {"trackNum", ""}, {"PCID", ""}};
    for (const auto& value : expected) EXPECT_EQ(value.second, album->GetMetadataValue(value.first)) << value.first;
    EXPECT_EQ(folder, group->GetLocalFilename());

    // Deleting the first child (twice: the second time changes nothing) makes the other one
    // the album, which has no file and so no folder yet.
    group->DeleteChildDownload(first);
    group->DeleteChildDownload(first);
    EXPECT_EQ("Air - Moon Safari", album->GetMetadataValue("title"));
    EXPECT_THROW(group->GetLocalFilename(), Vantor::Filesystem::invalid_path_exception);
}
