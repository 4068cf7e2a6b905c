#include "tests/downloader/group/GroupFixture.h"

#include "core/filesystem/invalid_path_exception.h"
#include "downloader/model/DownloadModelTrack.h"

#include <vector>

using namespace VantorTest;
using Vantor::Net::Download;

namespace {

struct ChildState {
    State state;
    int percent;  // of a Downloading child
};

struct Aggregate {
    const char* what;
    std::vector<ChildState> children;
    State state;
    std::string text;
    int percent;
};

} // namespace

TEST_F(GroupTest, StateTextAndPercentageComeFromTheChildren)
{
    const std::vector<Aggregate> cases = {
        {"no children", {}, Download::Downloaded, "Fertig", 0},
        {"one transferring",
         {{Download::Downloaded, 0}, {Download::Downloaded, 0}, {Download::Downloading, 50}, {Download::Waiting, 0}},
         Download::Downloading, "Downloading", 62},
        {"waiting outranks paused", {{Download::Waiting, 0}, {Download::Paused, 0}}, Download::Waiting, "Waiting", 0},
        {"paused and downloaded", {{Download::Paused, 0}, {Download::Downloaded, 0}}, Download::Paused, "Paused", 50},
        {"all canceled", {{Download::Canceled, 0}, {Download::Canceled, 0}}, Download::Canceled, "Canceled", 0},
        {"downloaded and canceled", {{Download::Downloaded, 0}, {Download::Canceled, 0}}, Download::NetworkError,
         "Unvollständig", 50},
        {"downloaded and retrying", {{Download::Downloaded, 0}, {Download::Retrying, 0}}, Download::NetworkError,
         "Unvollständig", 50},
        {"failed and pausing", {{Download::LocalFileError, 0}, {Download::Pausing, 0}, {Download::Downloaded, 0}},
         Download::NetworkError, "Unvollständig", 33},
    };
    for (const Aggregate& aggregate : cases) {
        SCOPED_TRACE(aggregate.what);
        GroupedDownload album(model);
        for (const ChildState& state : aggregate.children) {
            DownloadPtr child = Child({{"title", "t"}});
            child->SetState(state.state);
            child->totalBytes = 1000;
            child->bytesReceived = 10 * state.percent;
            album.AddChildDownload(child);
        }
        EXPECT_EQ(aggregate.state, album.GetState());
        EXPECT_EQ(aggregate.text, album.GetStateString());
        EXPECT_EQ(aggregate.percent, album.GetPercentCompleted());
    }

    // Only the six aggregate states have a text.
    struct AlwaysRetrying : GroupedDownload {
        using GroupedDownload::GroupedDownload;
        State GetState() const override { return Download::Retrying; }
    };
    EXPECT_EQ("unknown state!", AlwaysRetrying(model).GetStateString());
}

TEST_F(GroupTest, WithoutChildrenThereIsNothingToDo)
{
    EXPECT_FALSE(group->CanPause());
    EXPECT_FALSE(group->CanCancel());
    EXPECT_FALSE(group->CanResume());
    group->Pause();
    group->Cancel();
    group->Resume();
    EXPECT_EQ(Download::Downloaded, group->GetState());
    EXPECT_EQ(" - ", group->GetTrack()->GetMetadataValue("title"));
    EXPECT_EQ("", group->GetTrack()->GetMetadataValue("album"));
    EXPECT_EQ("", group->GetLocalFilename());
}

TEST_F(GroupTest, AlbumMetadataAndFolderAreTheFirstChilds)
{
    const std::string folder = MusicFolder() + "Röyksopp/Melody A.M./";
    DownloadPtr first = Child({{"albumPrimaryArtist", "Röyksopp"},
                               {"album", "Melody A.M."},
                               {"primaryGenre", "Electronic"},
                               {"image", "http://127.0.0.1:1/cover.jpg"},
                               {"creator", "Röyksopp feat. Erlend"},
                               {"title", "So Easy"},
                               {"trackNum", "1"},
                               {"PCID", "P1"},
                               {"localFilename", folder + ".vlx(1).tmp"}});
    DownloadPtr second = Child({{"albumPrimaryArtist", "Air"}, {"album", "Moon Safari"}, {"title", "La femme"}});
    group->AddChildDownload(first);
    group->AddChildDownload(second);

    const auto album = group->GetTrack();
    const std::map<std::string, std::string> expected = {
        {"title", "Röyksopp - Melody A.M."},
        {"album", "Melody A.M."},
        {"albumPrimaryArtist", "Röyksopp"},
        {"primaryGenre", "Electronic"},
        {"image", "http://127.0.0.1:1/cover.jpg"},
        {"creator", ""},
        {"trackNum", ""},
        {"PCID", ""},
        {"location", ""},
    };
    for (const auto& value : expected) EXPECT_EQ(value.second, album->GetMetadataValue(value.first)) << value.first;
    EXPECT_EQ("", group->GetPCID());
    EXPECT_EQ(folder, group->GetLocalFilename());

    // Taking the first child out makes the second one the album; a child that is not in the
    // group changes nothing.
    group->DeleteChildDownload(first);
    group->DeleteChildDownload(first);
    EXPECT_EQ("Air - Moon Safari", album->GetMetadataValue("title"));
    // A child without a file yet has no folder.
    EXPECT_THROW(group->GetLocalFilename(), Vantor::Filesystem::invalid_path_exception);
}
