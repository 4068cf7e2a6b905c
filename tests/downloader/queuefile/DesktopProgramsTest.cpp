// The browser and the folder viewer: which program is started with what, and the running
// instance hearing of a folder viewer that can't be started.
#include "downloader/app/UtilityBrowser.h"

#include "core/filesystem/LinuxFilesystemUtility.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"
#include "tests/support/gui/MainLoop.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <thread>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::SingleInstance;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

// A folder of stand-in programs that PATH holds alone, so no real browser ever starts. Each
// stand-in writes "<its name> <its arguments>" to the record file and ends.
class StandInPrograms : public MainLoopTest {
protected:
    StandInPrograms() { setenv("PATH", programs.Path().c_str(), 1); }

    void AddProgram(const std::string& name)
    {
        const std::string path = programs.File(name);
        WriteFile(path, "#!/bin/sh\n"
                        "printf '%s %s' \"${0##*/}\" \"$*\" > '" + record.File("partial") + "'\n"
                        "/bin/mv '" + record.File("partial") + "' '" + record.File("done") + "'\n");
        ASSERT_EQ(chmod(path.c_str(), 0755), 0);
    }

    // What the started program recorded; empty when nothing did within the wait limit.
    std::string WaitForRecord()
    {
        const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
        while (!boost::filesystem::exists(record.File("done")) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return ReadFile(record.File("done"));
    }

    ScopedHome home;
    TempDirectory programs;
    TempDirectory record;
};

} // namespace

TEST_F(StandInPrograms, OpenURLStartsBrowserFromTheEnvironmentElseTheFirstOpenerThatStarts)
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
        boost::filesystem::remove_all(programs.Path());
        boost::filesystem::create_directory(programs.Path());
        boost::filesystem::remove(record.File("done"));
        for (const std::string& program : c.installed)
            AddProgram(program);
        if (c.browser)
            setenv("BROWSER", c.browser, 1);
        else
            unsetenv("BROWSER");

        Utility::OpenURL(url.c_str());
        EXPECT_EQ(WaitForRecord(), c.started + " " + url);
    }
}

TEST_F(StandInPrograms, ShowDownloadDirectoryOpensTheMusicFolderMakingItFirst)
{
    AddProgram("xdg-open");
    const std::string music =
        Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility().GetMusicDirectory();
    boost::filesystem::remove_all(music);

    SingleInstance guard;
    Utility::ShowDownloadDirectory(guard);
    EXPECT_EQ(WaitForRecord(), "xdg-open " + music);
    EXPECT_TRUE(boost::filesystem::is_directory(music));
}

TEST_F(StandInPrograms, ShowDownloadDirectoryWithoutAFolderViewerTellsTheRunningInstance)
{
    SingleInstance guard;
    ASSERT_TRUE(guard.StartAsMainInstance());
    std::vector<std::string> messages;
    guard.AnotherInstanceMessageSignal.connect([&messages](std::string message) { messages.push_back(message); });

    Utility::ShowDownloadDirectory(guard);
    EXPECT_TRUE(RunMainLoopUntil([&messages] { return !messages.empty(); }));
    EXPECT_EQ(messages, std::vector<std::string>{"--show-downloads-failed"});
}
