// The status panel on the main window's widgets, fed by a real model through its proxy, with
// covers fetched from nginx and the store stand-in.
#include "downloader/app/UtilityPaths.h"
#include "downloader/model/DownloadModelTrack.h"
#include "downloader/ui/DownloadStatusController.h"
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/gui/MainLoop.h"

#include <gdkmm/pixbuf.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <libglademm/xml.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadStatusController;
using Vantor::DigitalMedia::MusicClient::Downloader::Utility::GetGlade;

namespace {

template <class Widget>
Widget* MainWindowWidget(const char* name)
{
    Widget* widget = nullptr;
    GetGlade("MainWindow")->get_widget(name, widget);
    return widget;
}

class StatusPanelTest : public DownloadFixture {
protected:
    StatusPanelTest()
        : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share")
    {
        Glib::thread_init();
        panel.reset(new DownloadStatusController(model));
        label = MainWindowWidget<Gtk::Label>("DownloadStatusLabel");
        image = MainWindowWidget<Gtk::Image>("AlbumArtImage");
        defaultArt = image->get_pixbuf();
    }

    // A download of "Tom & Jerry <Live>" by "Simon & <Garfunkel>" whose cover is at `imageUrl`.
    DownloadPtr Download(const std::string& pcid, const std::string& imageUrl)
    {
        return NewDownload({{"PCID", pcid},
                            {"location", store.Url("/track.mp3")},
                            {"title", "Tom & Jerry <Live>"},
                            {"creator", "Simon & <Garfunkel>"},
                            {"image", imageUrl}});
    }

    // Has the model announce the start of `download` from a thread of its own, as its worker
    // does, and waits until the panel shows it.
    void Start(const DownloadPtr& download)
    {
        label->set_text("");
        std::thread([&] { model->DownloadStartedSignal.emit(download); }).join();
        EXPECT_TRUE(RunMainLoopUntil([&] { return !label->get_text().empty(); }));
    }

    // Turns the main loop until `track` has `holders` holders: its cover fetch, one more, has
    // ended.
    static void WaitForFetchEnd(const DownloadStatusController::TrackPtr& track, long holders)
    {
        EXPECT_TRUE(RunMainLoopUntil([&] { return track.use_count() == holders; })) << track.use_count() << " holders, not " << holders;
    }

    ScopedCurrentDirectory share;
    std::unique_ptr<DownloadStatusController> panel;
    Gtk::Label* label;
    Gtk::Image* image;
    Glib::RefPtr<Gdk::Pixbuf> defaultArt;
};

// A 150 x 150 pure red PNG under the servers' root.
void ServeRedCover(const std::string& path)
{
    const Glib::RefPtr<Gdk::Pixbuf> cover = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, 150, 150);
    cover->fill(0xff0000ff);
    cover->save(path, "png");
}

TEST_F(StatusPanelTest, ShowsTitleArtistAndCoverOfTheStartedDownloadUntilTheQueueEnds)
{
    ServeRedCover(files.File("cover.png"));
    const DownloadPtr download = Download("P1", nginx.HttpUrl("/cover.png"));
    const DownloadStatusController::TrackPtr track = download->GetTrack();
    const long holders = track.use_count(); // the download and this test

    Start(download);
    EXPECT_EQ("Now downloading Tom & Jerry <Live>\nby Simon & <Garfunkel>", label->get_text());

    ASSERT_TRUE(RunMainLoopUntil([&] { return image->get_pixbuf() != defaultArt; }));
    const Glib::RefPtr<Gdk::Pixbuf> shown = image->get_pixbuf();
    EXPECT_EQ(75, shown->get_width());
    EXPECT_EQ(75, shown->get_height());
    const guint8* pixel = shown->get_pixels();
    EXPECT_EQ(0xff, pixel[0]);
    EXPECT_EQ(0x00, pixel[1]);
    EXPECT_EQ(0x00, pixel[2]);
    WaitForFetchEnd(track, holders + 1); // and the panel

    std::thread([&] { model->DownloadQueueFinishedSignal.emit(); }).join();
    EXPECT_TRUE(RunMainLoopUntil([&] { return label->get_text().empty(); }));
    EXPECT_EQ(defaultArt, image->get_pixbuf());
}

TEST_F(StatusPanelTest, CoverThatCantBeFetchedOrDecodedLeavesTheDefaultArt)
{
    WriteFile(files.File("page.html"), "<html><body>Not an image</body></html>");
    const struct {
        const char* what;
        std::string url;
    } cases[] = {
        {"missing", nginx.HttpUrl("/missing.png")},
        {"refused", "http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/cover.png"},
        {"not an image", store.Url("/page.html")},
        {"none", ""},
    };
    for (const auto& cover : cases) {
        SCOPED_TRACE(cover.what);
        const DownloadPtr download = Download(cover.what, cover.url);
        const DownloadStatusController::TrackPtr track = download->GetTrack();
        const long holders = track.use_count();
        Start(download);
        WaitForFetchEnd(track, holders + 1);
        EXPECT_EQ(defaultArt, image->get_pixbuf());
    }
}

// The fetch hands its result to the main thread only on a later turn of the main loop, so
// here it always ends after the panel has gone.
TEST_F(StatusPanelTest, FetchThatEndsAfterThePanelHasGoneIsHarmless)
{
    ServeRedCover(files.File("cover.png"));
    const DownloadPtr download = Download("P1", store.Url("/cover.png"));
    const DownloadStatusController::TrackPtr track = download->GetTrack();
    const long holders = track.use_count();
    Start(download);

    panel.reset();
    WaitForFetchEnd(track, holders);
    ASSERT_TRUE(store.WaitForRequests(1, kWaitLimit));
    EXPECT_EQ(std::vector<std::string>{"/cover.png"}, store.Requests());
}

} // namespace
