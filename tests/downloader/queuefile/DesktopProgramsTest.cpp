// The browser and the folder viewer: which program is started with what, and the running
// instance hearing of a folder viewer that can't be started.
#include "downloader/app/UtilityBrowser.h"

#include "core/filesystem/LinuxFilesystemUtility.h"
#include "tests/support/StandInPrograms.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/gui/MainLoop.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::SingleInstance;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

class DesktopPrograms : public MainLoopTest {
protected:
    ScopedHome home;
    StandInPrograms programs;
};

} // namespace

TEST_F(DesktopPrograms, OpenURLStartsBrowserFromTheEnvironmentElseTheFirstOpenerThatStarts)
{
    const std::string url = "http://127.0.0.1:9/page?a=1&b=2";
    const struct {
        const char* browser;  // nullptr: BROWSER unset
        std::vector<std::string> installed;
        std::string started;
    } cases[] = {
        {"my-browser", {"my-browser", "xdg-open"}, "my-browser"},
        {nullptr, {"xdg-open", "gnome-open", "firefox"}, "xdg-open"},
        {"no-such-browser", {"firefox", "mozilla"}, "firefox"},
        {nullptr, {"mozilla"}, "mozilla"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.started);
        programs.Clear();
        for (const std::string& program : c.installed)
            programs.Add(program);
        if (c.browser)
            setenv("BROWSER", c.browser, 1);
        else
            unsetenv("BROWSER");

        Utility::OpenURL(url.c_str());
        EXPECT_EQ(programs.TakeRecord(), c.started + " " + url);
    }
}

TEST_F(DesktopPrograms, ShowDownloadDirectoryOpensTheMusicFolderMakingItFirst)
{
    programs.Add("xdg-open");
    const std::string music =
        Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility().GetMusicDirectory();
    boost::filesystem::remove_all(music);

    SingleInstance guard;
    Utility::ShowDownloadDirectory(guard);
    EXPECT_EQ(programs.TakeRecord(), "xdg-open " + music);
    EXPECT_TRUE(boost::filesystem::is_directory(music));
}

TEST_F(DesktopPrograms, ShowDownloadDirectoryWithoutAFolderViewerTellsTheRunningInstance)
{
    SingleInstance guard;
    ASSERT_TRUE(guard.StartAsMainInstance());
    std::vector<std::string> messages;
    guard.AnotherInstanceMessageSignal.connect([&messages](std::string message) { messages.push_back(message); });

    Utility::ShowDownloadDirectory(guard);
    EXPECT_TRUE(RunMainLoopUntil([&messages] { return !messages.empty(); }));
    EXPECT_EQ(messages, std::vector<std::string>{"--show-downloads-failed"});
}
