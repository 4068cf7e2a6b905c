#include "downloader/app/UtilityPreferences.h"

#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/app/PreferencesKeys.h"

#include "tests/support/ForkedChild.h"
#include "tests/support/ScopedHome.h"
#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <sigc++/connection.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility;
using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesKeys;
using Vantor::Settings::Preferences;
using VantorTest::ChildResult;
using VantorTest::ReadFile;
using VantorTest::RunInChild;
using VantorTest::ScopedHome;
using VantorTest::WriteFile;

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

const char kOldSettings[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences>\n"
    "    <setting type=\"2\" key=\"DownloadDirectory\">/old/music</setting>\n</preferences>\n";

// Counts emissions of the preferences-saved signal while it lives.
class SavedCounter {
public:
    SavedCounter() : connection(Utility::PreferencesSavedSignal().connect([this]() { ++count; })) {}
    ~SavedCounter() { connection.disconnect(); }
    int count = 0;

private:
    sigc::connection connection;
};

Preferences LoadFrom(const std::string& path)
{
    Preferences preferences;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        preferences.Load(file);
        std::fclose(file);
    }
    return preferences;
}

int EntriesIn(const std::string& directory)
{
    int count = 0;
    for (boost::filesystem::directory_iterator it(directory), end; it != end; ++it)
        ++count;
    return count;
}

// The check shared by every failing save: false, the old file byte for byte, nothing
// announced and no temporary file left beside it. Runs where a gtest assertion can't
// report, so it answers in words; "ok" when all holds.
std::string FailedSaveKeepsOldFile(int expectedEntries)
{
    Utility::Preferences()->SetString("Big", std::string(200 * 1024, 'v').c_str());
    int announced = 0;
    sigc::connection connection = Utility::PreferencesSavedSignal().connect([&announced]() { ++announced; });
    const bool saved = Utility::SavePreferences();
    connection.disconnect();
    if (saved)
        return "the save reported success";
    if (announced != 0)
        return "a failed save was announced";
    if (ReadFile(Utility::PreferencesFilename()) != kOldSettings)
        return "the old file changed: " + ReadFile(Utility::PreferencesFilename());
    const int entries = EntriesIn(Utility::GetSettingsDirectory());
    if (entries != expectedEntries)
        return "the settings directory holds " + std::to_string(entries) + " entries";
    return "ok";
}

class ProcessPreferences : public ::testing::Test {
protected:
    ~ProcessPreferences() override { Utility::Preferences()->SetString("Big", ""); }
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

TEST(PreferencesKeys, EmptyPreferencesGiveTheApplicationsDefaults)
{
    const Preferences none;
    EXPECT_FALSE(none.GetBool(PreferencesKeys::ProxyServerEnabled, false));
    EXPECT_EQ(-1, none.GetInt(PreferencesKeys::ProxyServerType, -1));
    EXPECT_EQ("", none.GetString(PreferencesKeys::DownloadDirectory, ""));
    EXPECT_TRUE(none.GetBool(PreferencesKeys::AutoCheckForUpdates, true));
    EXPECT_FALSE(none.GetBool(PreferencesKeys::FirstRunCompleted, false));
    EXPECT_TRUE(none.GetBool(PreferencesKeys::ShowCompletedDialog, true));
}

TEST_F(ProcessPreferences, SettingsDirectoryIsMadeWhenMissing)
{
    const std::string directory = Utility::GetSettingsDirectory();
    EXPECT_EQ(home.File(".vantormp3/"), directory);
    struct stat info;
    ASSERT_EQ(0, stat(directory.c_str(), &info));
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(home.File(".vantormp3/Settings.xml"), Utility::PreferencesFilename());
}

TEST_F(ProcessPreferences, SaveWritesTheFileAndAnnouncesIt)
{
    SavedCounter saved;
    const boost::shared_ptr<Preferences> preferences = Utility::Preferences();
    EXPECT_EQ(preferences, Utility::Preferences());
    preferences->SetBool(PreferencesKeys::ShowCompletedDialog, false);
    preferences->SetString(PreferencesKeys::ProxyServerAddress, "proxy.example \xE9");

    ASSERT_TRUE(Utility::SavePreferences());
    EXPECT_EQ(1, saved.count);
    const Preferences written = LoadFrom(home.File(".vantormp3/Settings.xml"));
    EXPECT_TRUE(written.IsLoaded());
    EXPECT_FALSE(written.GetBool(PreferencesKeys::ShowCompletedDialog, true));
    EXPECT_EQ("proxy.example \xC3\xA9", written.GetString(PreferencesKeys::ProxyServerAddress, ""));
    EXPECT_EQ(1, EntriesIn(home.File(".vantormp3")));
}

TEST_F(ProcessPreferences, DeletedFileIsWrittenAnewByTheNextSave)
{
    ASSERT_TRUE(Utility::SavePreferences());
    boost::filesystem::remove_all(home.File(".vantormp3"));
    Utility::Preferences()->SetInt("Marker", 17);
    ASSERT_TRUE(Utility::SavePreferences());
    EXPECT_EQ(17, LoadFrom(Utility::PreferencesFilename()).GetInt("Marker", 0));
}

TEST_F(ProcessPreferences, SettingsDirectoryThatIsAPlainFileFailsTheSave)
{
    SavedCounter saved;
    WriteFile(home.File(".vantormp3"), "in the way");
    EXPECT_FALSE(Utility::SavePreferences());
    EXPECT_EQ(0, saved.count);
    EXPECT_EQ("in the way", ReadFile(home.File(".vantormp3")));
}

TEST_F(ProcessPreferences, ReadOnlySettingsFileIsLeftAlone)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write any file";
    WriteFile(Utility::PreferencesFilename(), kOldSettings);
    ASSERT_EQ(0, chmod(Utility::PreferencesFilename().c_str(), 0444));
    EXPECT_EQ("ok", FailedSaveKeepsOldFile(1));
}

TEST_F(ProcessPreferences, FullDiskKeepsTheOldFile)
{
    const std::string directory = Utility::GetSettingsDirectory();
    const ChildResult child = RunInChild([&directory]() -> std::string {
        if (!VantorTest::MountPrivateTmpfs(directory, 64 * 1024))
            return "skip";
        WriteFile(Utility::PreferencesFilename(), kOldSettings);
        // Fill what is left of the file system.
        FILE* filler = std::fopen((directory + "filler").c_str(), "wb");
        const std::string block(4096, 'f');
        while (filler && std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
        }
        if (filler)
            std::fclose(filler);
        return FailedSaveKeepsOldFile(2);
    });
    ASSERT_TRUE(child.exited);
    if (child.report == "skip")
        GTEST_SKIP() << "no private tmpfs on this system; the file-size limit case covers a failing write";
    EXPECT_EQ("ok", child.report);
}

TEST_F(ProcessPreferences, WriteCutShortByAFileSizeLimitKeepsTheOldFile)
{
    // Works for any user without mounting anything: writes beyond the limit fail as on a
    // full disk.
    WriteFile(Utility::PreferencesFilename(), kOldSettings);
    const ChildResult child = RunInChild([]() -> std::string {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {16 * 1024, 16 * 1024};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return "setrlimit failed";
        return FailedSaveKeepsOldFile(1);
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ("ok", child.report);
    EXPECT_EQ(kOldSettings, ReadFile(Utility::PreferencesFilename()));
}

TEST_F(ProcessPreferences, ReadOnlyDirectoryKeepsTheOldFile)
{
    const std::string directory = Utility::GetSettingsDirectory();
    const ChildResult child = RunInChild([&directory]() -> std::string {
        if (VantorTest::MountPrivateTmpfs(directory, 64 * 1024)) {
            WriteFile(Utility::PreferencesFilename(), kOldSettings);
            if (mount(nullptr, directory.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                return std::string("remount read-only failed: ") + std::strerror(errno);
        } else if (geteuid() != 0) {
            WriteFile(Utility::PreferencesFilename(), kOldSettings);
            chmod(directory.c_str(), 0555);
        } else {
            return "skip";
        }
        return FailedSaveKeepsOldFile(1);
    });
    ASSERT_TRUE(child.exited);
    if (child.report == "skip")
        GTEST_SKIP() << "running as root without a private tmpfs: no directory is read-only";
    EXPECT_EQ("ok", child.report);
}

TEST(FirstUse, LoadsSettingsFileAndFeedsTheMusicDirectory)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScopedHome home;
    VantorTest::TempDirectory music;
    boost::filesystem::create_directories(home.File(".vantormp3"));
    WriteFile(home.File(".vantormp3/Settings.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences>\n"
              "    <setting type=\"1\" key=\"AutoCheckForUpdates\">0</setting>\n"
              "    <setting type=\"2\" key=\"DownloadDirectory\">" + music.Path() + "</setting>\n"
              "</preferences>\n");
    // A fresh process, so that this is the very first use of the preferences object.
    EXPECT_EXIT(
        {
            const bool loaded = !Utility::Preferences()->GetBool(PreferencesKeys::AutoCheckForUpdates, true);
            const bool followed = LinuxFilesystemUtility().GetMusicDirectory() == music.Path() + "/";
            std::exit(loaded && followed ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(FirstUse, ReadOnlySettingsFileIsNotLoaded)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may open any file for writing";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScopedHome home;
    boost::filesystem::create_directories(home.File(".vantormp3"));
    const std::string settings = home.File(".vantormp3/Settings.xml");
    WriteFile(settings, "<preferences><setting type=\"1\" key=\"FirstRunCompleted\">1</setting></preferences>");
    ASSERT_EQ(0, chmod(settings.c_str(), 0444));
    EXPECT_EXIT(std::exit(Utility::Preferences()->GetBool(PreferencesKeys::FirstRunCompleted, false) ? 1 : 0),
                ::testing::ExitedWithCode(0), "");
}
