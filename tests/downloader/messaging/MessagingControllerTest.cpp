// The end-of-queue dialogs over a real model and proxy: downloads from local servers that
// complete, fail on an album folder that can't be made, or fail on an expired link.
#include "core/localization/TranslationService.h"
#include "core/net/StoreWebHost.h"
#include "downloader/app/UtilityPaths.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/ui/MessagingController.h"
#include "tests/downloader/download/DownloadTestSupport.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/TranslationFile.h"
#include "tests/support/gui/MainLoop.h"

#include <boost/filesystem.hpp>
#include <gmock/gmock.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/togglebutton.h>
#include <gtkmm/window.h>

#include <sys/stat.h>

using namespace VantorTest;
using testing::HasSubstr;
namespace Downloader = Vantor::DigitalMedia::MusicClient::Downloader;
namespace fs = boost::filesystem;

namespace {

enum Outcome { Completed, LinkExpired, FolderBlocked };

const std::string kCompletedText = "CompletedDialog: Your music has been downloaded successfully.";
const std::string kExpiredText = "DownloadFailedDialog: Expired Links";
const std::string kFailedText = "DownloadFailedDialog: Fehler <1> & mehr +Retry";
const std::string kHelpPage = std::string(Vantor::Net::kStoreWebHost) + "/gp/help/customer/display.html/ref=";

template <class Widget = Gtk::Button>
Widget* Get(const char* root, const char* name)
{
    Widget* widget = nullptr;
    Downloader::Utility::GetGlade(root)->get_widget(name, widget);
    return widget;
}

// The browser and folder viewer are one stand-in that writes its arguments to "started".
class MessagingTest : public DownloadFixture {
protected:
    MessagingTest()
        : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share")
    {
        Glib::thread_init();
        WriteTranslationFile(translations.File("de.xml"), "de_DE",
                             {{"sonvel_url_report_service", store.Url("/report/")},
                              {"sonvel_dlg_download_failed_desc1", "Fehler <1> & mehr"}});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
        const std::string opener = programs.File("xdg-open");
        WriteFile(opener, "#!/bin/sh\necho \"$*\" > " + opener + ".x && mv " + opener + ".x " + programs.File("started"));
        chmod(opener.c_str(), 0755);
        setenv("BROWSER", opener.c_str(), 1);
        setenv("PATH", (programs.Path() + ":" + std::getenv("PATH")).c_str(), 1);
        ServeFile("a.mp3", 1000);
        fs::create_directories(MusicFolder());
        proxy.DownloadStartedSignal.connect([this](DownloadPtr download) { lastStarted = download; });
        proxy.DownloadQueueFinishedSignal.connect([this] { ++queueEnds; });
        messaging.RetryFailedSignal.connect([this] { ++retries; });
    }

    // A download that ends as `outcome`; a file in the way of the folder blocks it.
    DownloadPtr Add(Outcome outcome, Fields fields = {})
    {
        if (outcome == FolderBlocked)
            WriteFile(MusicFolder() + "Blocked", "");
        fields.insert(fields.end(), {{"PCID", "P" + std::to_string(++added)},
                                     {"location", store.Url(outcome == LinkExpired ? "/status/400" : "/a.mp3")},
                                     {"albumPrimaryArtist", outcome == FolderBlocked ? "Blocked" : "Air"}});
        const DownloadPtr download = NewDownload(fields);
        model->AddDownload(download);
        return download;
    }

    // Closes both dialogs and runs the queue once: a stalling transfer holds the worker while
    // `queue` runs, then is paused, so the queue empties once. Expects `shown` once that end
    // has reached the controller.
    void ExpectRun(const std::function<void()>& queue, const std::string& shown)
    {
        Get("CompletedDialog", "CloseButton")->clicked();
        Get("DownloadFailedDialog", "CloseButton")->clicked();
        const int ends = queueEnds;
        const DownloadPtr gate = NewDownload({{"PCID", "gate"}, {"location", store.Url("/stall/200/g.mp3")}});
        model->AddDownload(gate);
        ASSERT_TRUE(RunMainLoopUntil([&] { return lastStarted == gate; }));
        queue();
        gate->Pause();
        ASSERT_TRUE(RunMainLoopUntil([&] { return queueEnds > ends; }));
        EXPECT_EQ(shown, Shown());
    }

    // "<root>: <first line>" of each dialog shown, and whether the failed one offers Retry.
    static std::string Shown()
    {
        std::string shown;
        for (const char* root : {"CompletedDialog", "DownloadFailedDialog"})
            if (Get<Gtk::Window>(root, root)->is_visible())
                shown += std::string(root) + ": " + Get<Gtk::Label>(root, "LabelLine1")->get_text();
        const Gtk::Button* retry = Get("DownloadFailedDialog", "RetryDownloadButton");
        return shown + (retry->is_visible() && retry->get_toplevel()->is_visible() ? " +Retry" : "");
    }

    // The stand-in's arguments, once it has ended.
    std::string Started()
    {
        RunMainLoopUntil([&] { return fs::exists(programs.File("started")); });
        const std::string started = ReadFile(programs.File("started"));
        fs::remove(programs.File("started"));
        return started;
    }

    ScopedCurrentDirectory share;
    TempDirectory programs;
    Gtk::Window mainWindow;
    Downloader::DownloadModelSignalProxy proxy{model};
    Downloader::MessagingController messaging{&mainWindow, proxy};
    DownloadPtr lastStarted;
    int queueEnds = 0, retries = 0, added = 0;
};

} // namespace

TEST_F(MessagingTest, EachEndOfTheQueueShowsWhatFailedAndTheDialogButtonsAct)
{
    ExpectRun([&] { Add(Completed); }, kCompletedText);
    // The reminder box switches the dialog off at once and for good; the dialog stays open.
    const auto reminder = Get<Gtk::ToggleButton>("CompletedDialog", "ReminderCheckBox");
    reminder->set_active(true);
    EXPECT_THAT(ReadFile(Downloader::Utility::PreferencesFilename()), HasSubstr("\"ShowCompletedDialog\">0<"));
    EXPECT_EQ(kCompletedText, Shown());
    Get("CompletedDialog", "ShowDownloadDirectoryButton")->clicked();
    EXPECT_EQ(MusicFolder() + "\n", Started());
    EXPECT_EQ("", Shown());
    ExpectRun([&] { Add(Completed); }, "");

    ExpectRun([&] { Add(LinkExpired); }, kExpiredText);
    Get("DownloadFailedDialog", "GetHelpButton")->clicked();
    EXPECT_EQ(kHelpPage + "hp_dw_exp?ie=UTF8&nodeId=200154210#expired\n", Started());
    EXPECT_EQ("", Shown());
    DownloadPtr blocked;
    ExpectRun([&] { blocked = Add(FolderBlocked); Add(Completed); }, kFailedText);
    Get("DownloadFailedDialog", "GetHelpButton")->clicked();
    EXPECT_EQ(kHelpPage + "hp_dw_fd?ie=UTF8&nodeId=200154210#failed_download\n", Started());

    ExpectRun([&] { messaging.SetQueuePaused(true); }, "");
    // Failures left alone are told again; one started again (and done) or removed is not.
    ExpectRun([] {}, kFailedText);
    fs::remove(MusicFolder() + "Blocked");
    ExpectRun([&] { blocked->Resume(); }, kExpiredText);
    model->ClearErroneous();
    reminder->set_active(false);
    EXPECT_THAT(ReadFile(Downloader::Utility::PreferencesFilename()), HasSubstr("\"ShowCompletedDialog\">1<"));
    ExpectRun([] {}, kCompletedText);

    // A local failure is no expired link, even of a download whose link had expired before.
    // Retry forgets every failure, though the failed downloads stay in the queue.
    fs::remove_all(MusicFolder() + "Blocked");
    ExpectRun([&] { Add(FolderBlocked, {{"downloadState", "8"}, {"networkErrorType", "10"}}); }, kFailedText);
    Get("DownloadFailedDialog", "RetryDownloadButton")->clicked();
    EXPECT_EQ(1, retries);
    EXPECT_EQ("", Shown());
    ExpectRun([] {}, kCompletedText);
}
