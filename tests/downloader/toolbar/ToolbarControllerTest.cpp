// The toolbar on the main window's buttons, following a real queue whose downloads finish
// downloaded, fail, expire or stall against the store stand-in.
#include "downloader/app/UtilityPaths.h"
#include "downloader/ui/ToolbarController.h"
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/MessageDialogAnswerer.h"

#include <boost/filesystem.hpp>

using namespace VantorTest;
using namespace Vantor::DigitalMedia::MusicClient::Downloader;
using Vantor::Net::Download;

namespace {

class ToolbarTest : public DownloadFixture {
protected:
    ToolbarTest()
        : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share")
    {
        Glib::thread_init();
        toolbar.reset(new ToolbarController(model));
        later.reset(new DownloadModelSignalProxy(model));
        toolbar->PausedSignal.connect([this] { ++pausedSignals; });
        toolbar->ResumedSignal.connect([this] { ++resumedSignals; });
        later->DownloadQueueFinishedSignal.connect([this] { ++queueEnds; });
    }

    static Gtk::Widget* Button(const std::string& name)
    {
        return Utility::GetGlade("MainWindow")->get_widget(name + "Button");
    }
    static void Click(const std::string& name) { g_signal_emit_by_name(Button(name)->gobj(), "clicked"); }

    // The sensitive ones of Pause, Resume and Clear as "PRC", '-' for each insensitive one.
    static std::string Sensitive()
    {
        std::string buttons;
        for (const char* name : {"Pause", "Resume", "Clear"})
            buttons += Button(name)->get_sensitive() ? name[0] : '-';
        return buttons;
    }

    // Turns the main loop until the worker is idle and the toolbar has had every event so
    // far: the test's proxy, made after the toolbar's, hands each queue end on after it.
    void Settle()
    {
        EXPECT_TRUE(RunMainLoopUntil([&] {
            const Entries entries = events->journal.Entries();
            return !entries.empty() && entries.back() == "queue-finished" &&
                   queueEnds == std::count(entries.begin(), entries.end(), "queue-finished");
        }));
    }

    DownloadPtr Add(const std::string& pcid, const std::string& location, const std::string& artist = "Air")
    {
        const DownloadPtr download = NewDownload(AlbumTrack(pcid, location, {{"albumPrimaryArtist", artist}}));
        model->AddDownload(download);
        return download;
    }

    // Clicks Clear, answering a question with `answer`; the queue file then holds the queue.
    std::vector<MessageDialogAnswerer::Seen> ClickClear(int answer)
    {
        boost::filesystem::remove(Utility::DownloadQueueFilename());
        MessageDialogAnswerer answerer(answer);
        Click("Clear");
        OpenFile now(std::tmpfile());
        model->Save(now.get());
        EXPECT_EQ(ContentsOf(now.get()), ReadFile(Utility::DownloadQueueFilename()));
        return answerer.seen;
    }

    ScopedCurrentDirectory share;
    std::unique_ptr<ToolbarController> toolbar;
    std::unique_ptr<DownloadModelSignalProxy> later;
    int pausedSignals = 0;
    int resumedSignals = 0;
    long queueEnds = 0;
};

// One download arrives, one fails on its folder, one finds its link expired.
TEST_F(ToolbarTest, ClearRemovesFinishedDownloadsAndFailedOnesOnlyOnYes)
{
    ServeFile("d.mp3", 4000);
    boost::filesystem::create_directories(MusicFolder());
    WriteFile(MusicFolder() + "Blocked", "a file where the artist's folder would go");
    Add("D1", store.Url("/d.mp3"));
    Settle();
    EXPECT_EQ("--C", Sensitive());
    Add("F1", store.Url("/d.mp3"), "Blocked");
    Add("E1", store.Url("/status/400"));
    Settle();
    EXPECT_EQ("-RC", Sensitive());

    // Resume tries the failed download again, not the expired one.
    Click("Resume");
    EXPECT_EQ(1, resumedSignals);
    EXPECT_EQ("--C", Sensitive());
    Settle();
    EXPECT_EQ(1, events->journal.Count("F1 state 0"));
    EXPECT_EQ(0, events->journal.Count("E1 state 0"));
    EXPECT_EQ("-RC", Sensitive());

    // Closing the question or answering No keeps the failed ones.
    for (const int answer : {Gtk::RESPONSE_DELETE_EVENT, Gtk::RESPONSE_NO}) {
        const auto seen = ClickClear(answer);
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ("Vantor MP3 Downloader: Your download queue contains erroneous downloads, would you like to "
                  "clear these as well?", seen[0].title + ": " + seen[0].text);
        EXPECT_EQ(nullptr, seen[0].parent);
        EXPECT_EQ((Entries{"F1", "E1"}), QueuedPCIDs(*model));
        EXPECT_EQ("-RC", Sensitive());
    }
    EXPECT_EQ(1u, ClickClear(Gtk::RESPONSE_YES).size());
    EXPECT_EQ(0u, model->CountDownloads());
    EXPECT_EQ("---", Sensitive());
}

// A transfer that stalls keeps the queue busy while a second download waits behind it.
TEST_F(ToolbarTest, PauseStopsTheQueueAndResumeOrAQueueFileTakesItUpAgain)
{
    EXPECT_EQ("---", Sensitive());
    Click("Pause");
    EXPECT_EQ(1, pausedSignals);
    EXPECT_TRUE(ClickClear(Gtk::RESPONSE_YES).empty());

    const DownloadPtr stalled = Add("S1", store.Url("/stall/100000"));
    EXPECT_TRUE(RunMainLoopUntil([&] { return Sensitive() == "P--"; }));
    // Paused before the toolbar hears of it, the second download is resumed on arrival.
    const DownloadPtr waiting = Add("W1", store.Url("/stall/100000"));
    waiting->Pause();
    EXPECT_TRUE(RunMainLoopUntil([&] { return waiting->GetState() == Download::Waiting; }));

    Click("Pause");
    EXPECT_EQ(2, pausedSignals);
    Settle();
    EXPECT_EQ(Download::Paused, stalled->GetState());
    EXPECT_EQ(Download::Paused, waiting->GetState());
    EXPECT_EQ("-R-", Sensitive());
    // Nothing finished, nothing asked; the paused downloads keep Resume on offer.
    EXPECT_TRUE(ClickClear(Gtk::RESPONSE_YES).empty());
    EXPECT_EQ((Entries{"S1", "W1"}), QueuedPCIDs(*model));
    EXPECT_EQ("-R-", Sensitive());

    Utility::VLXEnqueuedSignal().emit();
    EXPECT_EQ(1, resumedSignals);
    EXPECT_EQ("---", Sensitive());
    EXPECT_EQ(Download::Waiting, waiting->GetState());
    EXPECT_TRUE(RunMainLoopUntil([&] { return Sensitive() == "P--"; }));
}

} // namespace
