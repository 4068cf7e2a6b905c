#include "core/settings/UtilityPreferences.h"

#include "core/settings/PreferencesKeys.h"

#include "tests/support/PrivateTmpfs.h"
#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <sigc++/connection.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesKeys;
using Vantor::Settings::Preferences;
using VantorTest::ReadFile;
using VantorTest::ScopedHome;
using VantorTest::WriteFile;

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

const char kOldSettings[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences>\n"
    "    <setting type=\"2\" key=\"DownloadDirectory\">/old/music</setting>\n</preferences>\n";

int EntriesIn(const std::string& directory)
{
    return static_cast<int>(std::distance(boost::filesystem::directory_iterator(directory), {}));
}

mode_t Permissions(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Saves and says what came of it: how often the save was announced and what the settings
// directory then holds.
std::string SaveAndDescribe()
{
    int announced = 0;
    sigc::connection connection = Utility::PreferencesSavedSignal().connect([&announced]() { ++announced; });
    const bool saved = Utility::SavePreferences();
    connection.disconnect();
    return std::string(saved ? "saved" : "failed") + ", announced " + std::to_string(announced) + ", " +
           std::to_string(EntriesIn(Utility::GetSettingsDirectory())) + " entries";
}

class ProcessPreferences : public ::testing::Test {
protected:
    ScopedHome home;
};

} // namespace

TEST(PreferencesKeys, EachKeyIsItsOwnName)
{
    EXPECT_STREQ("ProxyServerEnabled", PreferencesKeys::ProxyServerEnabled);
    EXPECT_STREQ("ProxyServerType", PreferencesKeys::ProxyServerType);
    EXPECT_STREQ("ProxyServerPort", PreferencesKeys::ProxyServerPort);
    EXPECT_STREQ("ProxyServerAddress", PreferencesKeys::ProxyServerAddress);
    EXPECT_STREQ("ProxyServerUsername", PreferencesKeys::ProxyServerUsername);
    EXPECT_STREQ("ProxyServerPassword", PreferencesKeys::ProxyServerPassword);
    EXPECT_STREQ("DownloadDirectory", PreferencesKeys::DownloadDirectory);
    EXPECT_STREQ("AutoCheckForUpdates", PreferencesKeys::AutoCheckForUpdates);
    EXPECT_STREQ("FirstRunCompleted", PreferencesKeys::FirstRunCompleted);
    EXPECT_STREQ("ShowCompletedDialog", PreferencesKeys::ShowCompletedDialog);
}

TEST_F(ProcessPreferences, SaveWritesSettingsXmlInTheSettingsDirectoryAndAnnouncesIt)
{
    const std::string settings = Utility::PreferencesFilename();
    EXPECT_EQ(home.File(".vantormp3/Settings.xml"), settings);
    ASSERT_EQ("saved, announced 1, 1 entries", SaveAndDescribe());
    // A new file is private; a file that is replaced keeps the permissions it was given.
    EXPECT_EQ(0600u, Permissions(settings));
    ASSERT_EQ(0, chmod(settings.c_str(), 0640));

    const boost::shared_ptr<Preferences> preferences = Utility::Preferences();
    EXPECT_EQ(preferences, Utility::Preferences());
    preferences->SetBool(PreferencesKeys::ShowCompletedDialog, false);
    preferences->SetString(PreferencesKeys::ProxyServerAddress, "proxy.example \xE9");
    ASSERT_EQ("saved, announced 1, 1 entries", SaveAndDescribe());
    EXPECT_EQ(0640u, Permissions(settings));
    Preferences written;
    ASSERT_TRUE(written.Load(VantorTest::OpenFile(std::fopen(settings.c_str(), "rb")).get()));
    EXPECT_FALSE(written.GetBool(PreferencesKeys::ShowCompletedDialog, true));
    EXPECT_EQ("proxy.example \xC3\xA9", written.GetString(PreferencesKeys::ProxyServerAddress, ""));
}

// Every way a save can fail leaves the old "Settings.xml" byte for byte, reports failure,
// announces nothing and leaves no temporary file. Each case runs in a child process, which
// may mount a file system of its own or limit its file sizes; it passes over ("skip") a case
// this system doesn't let it set up.
TEST_F(ProcessPreferences, FailedSaveKeepsTheOldFileByteForByte)
{
    const std::string directory = Utility::GetSettingsDirectory();
    const struct {
        const char* name;
        std::function<std::string()> setUp;
    } cases[] = {
        {"read-only file",
         [] {
             WriteFile(Utility::PreferencesFilename(), kOldSettings);
             return geteuid() == 0 ? "skip" : chmod(Utility::PreferencesFilename().c_str(), 0444) == 0 ? "" : "chmod";
         }},
        {"read-only directory",
         [&directory] {
             const bool mounted = VantorTest::MountPrivateTmpfs(directory, 64 * 1024);
             if (!mounted && geteuid() == 0)
                 return "skip";
             WriteFile(Utility::PreferencesFilename(), kOldSettings);
             if (!mounted)
                 return chmod(directory.c_str(), 0555) == 0 ? "" : "chmod";
             return mount(nullptr, directory.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0 ? "" : "remount";
         }},
        {"full disk",
         [&directory] {
             if (!VantorTest::MountPrivateTmpfs(directory, 64 * 1024))
                 return "skip";
             WriteFile(Utility::PreferencesFilename(), kOldSettings);
             FILE* filler = std::fopen((directory + "filler").c_str(), "wb");
             const std::string block(4096, 'f');
             while (filler && std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
                    std::fflush(filler) == 0) {
             }
             if (filler)
                 std::fclose(filler);
             return "";
         }},
        // Works for any user without mounting anything: writes beyond the limit fail as on
        // a full disk.
        {"file-size limit",
         [] {
             WriteFile(Utility::PreferencesFilename(), kOldSettings);
             signal(SIGXFSZ, SIG_IGN);
             const rlimit limit = {16 * 1024, 16 * 1024};
             return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? "" : "setrlimit";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                std::string report = c.setUp();
                if (report.empty()) {
                    const int entries = EntriesIn(Utility::GetSettingsDirectory());
                    Utility::Preferences()->SetString("Big", std::string(200 * 1024, 'v').c_str());
                    report = SaveAndDescribe() +
                             (ReadFile(Utility::PreferencesFilename()) == kOldSettings ? "" : ", old file changed");
                    if (report == "failed, announced 0, " + std::to_string(entries) + " entries")
                        report = "ok";
                }
                std::fputs(report.c_str(), stderr);
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(0), "^(ok|skip)$");
    }
}
