// What the user is shown and asked: the warning over a failed import and the question
// before quitting with downloads under way, each answered by the test.
#include "tests/downloader/queuefile/QueueFileSupport.h"

#include "downloader/app/UtilityPaths.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityQueue.h"
#include "downloader/app/UtilityQuitConfirmation.h"
#include "tests/support/gui/MessageDialogAnswerer.h"

#include <boost/filesystem.hpp>
#include <gtkmm/window.h>

using namespace VantorTest;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;
using State = Vantor::Net::Download::State;

namespace {

const char kBranding[] = "Vantor MP3 Downloader";

std::vector<State> States(DownloadModel& model)
{
    std::vector<State> states;
    for (unsigned i = 0; i < model.CountDownloads(); ++i)
        states.push_back(model.GetDownloadAt(i)->GetState());
    return states;
}

} // namespace

TEST_F(QueueFileFixture, FailedImportWithParentWarnsOverItAndKeepsTheFile)
{
    const std::string path = home.File("a <b> & c.vlx");
    WriteFile(path, "this is not a queue file\n");
    Gtk::Window parent;
    MessageDialogAnswerer answerer(Gtk::RESPONSE_OK);

    EXPECT_FALSE(Utility::EnqueueVLXFromFilename(path.c_str(), *model, &parent));
    ASSERT_EQ(answerer.seen.size(), 1u);
    const MessageDialogAnswerer::Seen& warning = answerer.seen[0];
    EXPECT_EQ(warning.title, kBranding);
    EXPECT_TRUE(warning.markup);
    EXPECT_EQ(warning.parent, &parent);
    EXPECT_EQ(warning.text, "Unable to add the VLX file at:\n\n<b>" + Glib::Markup::escape_text(path) +
                                "</b>\n\nPlease make sure you have permission to read this file and try again.");
    EXPECT_TRUE(boost::filesystem::exists(path));
    EXPECT_EQ(model->CountDownloads(), 0u);
}

TEST_F(QueueFileFixture, QuitWithoutActiveDownloadsAsksNothingClearsFinishedAndSavesBoth)
{
    const Fields expired = Track("E1", "http://127.0.0.1:9/E1", {{"downloadState", "9"}, {"expired", "1"}});
    const std::string purchase = home.File("purchase.vlx");
    WriteQueueFile(purchase, {DownloadedTrack("D1"), expired});
    OpenFile file(std::fopen(purchase.c_str(), "rb"));
    ASSERT_TRUE(model->AddTracks(file.get()));
    MessageDialogAnswerer answerer(Gtk::RESPONSE_NO);

    EXPECT_TRUE(Utility::ConfirmQuit(*model));
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_EQ(QueuedPCIDs(*model), Entries{"E1"});
    NewModel();
    ASSERT_TRUE(Utility::EnqueueVLXFromFilename(Utility::DownloadQueueFilename().c_str(), *model, nullptr));
    EXPECT_EQ(QueuedPCIDs(*model), Entries{"E1"});
    EXPECT_TRUE(boost::filesystem::exists(Utility::PreferencesFilename()));
}

// Two downloads from a server that stops sending: the first transfers, the second waits
// behind it. "No" leaves everything running and unsaved; "Yes", or closing the box, clears
// the finished one, pauses both and saves the queue and the preferences.
TEST_F(QueueFileFixture, QuitWithActiveDownloadsAsksFirstAndFollowsTheAnswer)
{
    for (const int answer : {Gtk::RESPONSE_NO, Gtk::RESPONSE_YES, Gtk::RESPONSE_DELETE_EVENT}) {
        SCOPED_TRACE(answer);
        const bool quit = answer != Gtk::RESPONSE_NO;
        NewModel();
        const std::string purchase = home.File("purchase.vlx");
        WriteQueueFile(purchase, {DownloadedTrack("D1"), Track("S1", store.Url("/stall/100000")),
                                  Track("S2", store.Url("/stall/100000"))});
        OpenFile file(std::fopen(purchase.c_str(), "rb"));
        ASSERT_TRUE(model->AddTracks(file.get()));
        Expect("S1 state " + std::to_string(State::Downloading));
        boost::filesystem::remove(Utility::DownloadQueueFilename());
        boost::filesystem::remove(Utility::PreferencesFilename());
        MessageDialogAnswerer answerer(answer);

        EXPECT_EQ(Utility::ConfirmQuit(*model), quit);
        ASSERT_EQ(answerer.seen.size(), 1u);
        EXPECT_EQ(answerer.seen[0].title, kBranding);
        EXPECT_EQ(answerer.seen[0].text, "There are still active downloads, are you sure you want to exit?");
        EXPECT_FALSE(answerer.seen[0].markup);
        EXPECT_EQ(answerer.seen[0].parent, nullptr);
        EXPECT_EQ(boost::filesystem::exists(Utility::DownloadQueueFilename()), quit);
        EXPECT_EQ(boost::filesystem::exists(Utility::PreferencesFilename()), quit);
        if (!quit) {
            EXPECT_EQ(QueuedPCIDs(*model), (Entries{"D1", "S1", "S2"}));
            EXPECT_EQ(States(*model), (std::vector<State>{State::Downloaded, State::Downloading, State::Waiting}));
            continue;
        }
        EXPECT_EQ(QueuedPCIDs(*model), (Entries{"S1", "S2"}));
        Expect("S1 state " + std::to_string(State::Paused));
        EXPECT_EQ(States(*model), (std::vector<State>{State::Paused, State::Paused}));
        EXPECT_NE(DecryptedFile(Utility::DownloadQueueFilename()).find("S2"), std::string::npos);
    }
}
