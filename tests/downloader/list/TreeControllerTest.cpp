// The download list fed by a real queue: rows grouped by album in arrival order, a running
// track's progress and state, rows going with cleared downloads.
#include "downloader/app/UtilityPaths.h"
#include "downloader/ui/TreeController.h"
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/gui/MainLoop.h"

#include <gtkmm/treeview.h>

#include <cstdlib>
#include <memory>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::TreeController;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

typedef std::vector<std::string> Rows;

class ListTest : public DownloadFixture {
protected:
    ListTest()
        : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share")
        , list(new TreeController(model))
    {
        Utility::GetGlade("MainWindow")->get_widget("DownloadTreeView", view);
    }

    // Every row as "title|status", a track's indented under its album's.
    Rows ListRows() const
    {
        Rows rows;
        const Glib::RefPtr<Gtk::TreeModel> store = view->get_model();
        if (!store)
            return rows;
        for (const Gtk::TreeRow& album : store->children()) {
            rows.push_back(Row(album, ""));
            for (const Gtk::TreeRow& track : album.children())
                rows.push_back(Row(track, "  "));
        }
        return rows;
    }

    // Turns the main loop until the list shows `expected`.
    void ExpectRows(const Rows& expected)
    {
        RunMainLoopUntil([&] { return ListRows() == expected; });
        EXPECT_EQ(expected, ListRows());
    }

    // A track of `artist`'s `album`, downloaded already.
    DownloadPtr Done(const std::string& title, const std::string& artist, const std::string& album, Fields more = {})
    {
        Fields fields = {{"PCID", title}, {"title", title}, {"albumPrimaryArtist", artist}, {"album", album},
                         {"downloadState", "1"}, {"trackType", "mp3"}};
        fields.insert(fields.end(), more.begin(), more.end());
        return NewDownload(fields);
    }

    ScopedCurrentDirectory share;
    std::unique_ptr<TreeController> list;
    Gtk::TreeView* view = nullptr;

private:
    std::string Row(const Gtk::TreeRow& row, const std::string& indent) const
    {
        return indent + row.get_value(columns.title) + "|" + row.get_value(columns.status);
    }

    TreeController::TreeModelColumns columns;
};

} // namespace

TEST_F(ListTest, GroupsTracksUnderTheirAlbumInArrivalOrder)
{
    ASSERT_NE(nullptr, view);
    ASSERT_EQ(2u, view->get_columns().size());
    EXPECT_EQ("Title", view->get_column(0)->get_title());
    EXPECT_EQ("Status", view->get_column(1)->get_title());
    EXPECT_EQ(Gtk::SELECTION_NONE, view->get_selection()->get_mode());

    model->AddDownload(Done("La femme d'argent", "Air", "Moon Safari", {{"trackNum", "1"}}));
    model->AddDownload(Done("Intro", "AC/DC", "Live", {{"trackNum", "7"}}));
    // No number, and a video's number is not shown.
    model->AddDownload(Done("Kelly Watch the Stars", "Air", "Moon Safari"));
    model->AddDownload(Done("Sexy Boy", "Air", "Moon Safari", {{"trackNum", "3"}, {"trackType", "mp4"}}));
    // The same album name by someone else is another album; an artist and album that run
    // together into the same text are not.
    model->AddDownload(Done("Cover", "Other", "Moon Safari", {{"trackNum", "1"}}));
    model->AddDownload(Done("x", "AB", "C"));
    model->AddDownload(Done("y", "A", "BC"));
    model->AddDownload(Done("Untitled", "", ""));

    // A finished album reads "Completed", here in German.
    ExpectRows({"Air - Moon Safari|Fertig", "  1. La femme d'argent|Downloaded", "  Kelly Watch the Stars|Downloaded",
                "  Sexy Boy|Downloaded", "AC/DC - Live|Fertig", "  7. Intro|Downloaded", "Other - Moon Safari|Fertig",
                "  1. Cover|Downloaded", "AB - C|Fertig", "  x|Downloaded", "  y|Downloaded", " - |Fertig",
                "  Untitled|Downloaded"});

    // The tree view outlives the list, which takes its columns and rows away again.
    list.reset();
    EXPECT_TRUE(view->get_columns().empty());
    EXPECT_FALSE(view->get_model());
}

TEST_F(ListTest, FollowsRunningTracksAndClearedOnes)
{
    // A transfer that stops halfway, at 100 of 200 bytes, and stays there.
    const auto halfway = [&](const std::string& title) {
        return NewDownload({{"PCID", title}, {"title", title}, {"albumPrimaryArtist", "Air"}, {"album", "Moon Safari"},
                            {"location", store.Url("/stall/200/track.mp3")}});
    };
    model->AddDownload(Done("A1", "Air", "Moon Safari"));
    model->AddDownload(Done("B1", "AC/DC", "Live"));
    model->AddDownload(Done("A2", "Air", "Moon Safari",
                            {{"downloadState", "9"}, {"networkErrorType", "10"}, {"errorString", "Link expired"}}));
    const Rows before = {"Air - Moon Safari|Unvollständig", "  A1|Downloaded", "  A2|Link expired",
                         "AC/DC - Live|Fertig", "  B1|Downloaded"};
    ExpectRows(before);

    // Clearing takes the finished tracks and the album left empty; the other album keeps
    // its row and, until one of its tracks reports, its status.
    model->ClearFinished();
    ExpectRows({"Air - Moon Safari|Unvollständig", "  A2|Link expired"});

    // A later track of a cleared album makes a new album at the end; one of a shown album
    // joins it. The running track shows its percentage, and so does its album, counting
    // only the tracks on the list (the failed one and the running one at half).
    model->AddDownload(Done("B2", "AC/DC", "Live"));
    const DownloadPtr running = halfway("A3");
    model->AddDownload(running);
    ExpectRows({"Air - Moon Safari|25", "  A2|Link expired", "  A3|50", "AC/DC - Live|Fertig", "  B2|Downloaded"});

    // A state change reaches the track and its album; the next track takes over.
    const DownloadPtr next = halfway("A4");
    model->AddDownload(next);
    running->Pause();
    ExpectRows({"Air - Moon Safari|16", "  A2|Link expired", "  A3|Paused", "  A4|50", "AC/DC - Live|Fertig",
                "  B2|Downloaded"});
}
