#include "core/filesystem/LinuxFilesystemUtility.h"

#include "core/diagnostic/Debug.h"
#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"

#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

using Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility;
using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesKeys;
using Vantor::Filesystem::FilesystemUtility;
using Vantor::Filesystem::invalid_path_exception;
using VantorTest::ReadFile;
using VantorTest::ScopedHome;
using VantorTest::TempDirectory;
using VantorTest::WriteFile;

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

bool IsDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void SetDownloadDirectory(const std::string& value)
{
    Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, value.c_str());
}

// Copies log lines to stderr, where a death test can match them.
class StderrLog : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    StderrLog() { Vantor::Diagnostic::Debug::StringLoggedSignal().connect(this, &StderrLog::Write); }
    void Write(std::string line) { std::fprintf(stderr, "%s\n", line.c_str()); }
};

class LinuxFilesystem : public ::testing::Test {
protected:
    ~LinuxFilesystem() override { SetDownloadDirectory(""); }

    ScopedHome home;
    LinuxFilesystemUtility fs;
};

} // namespace

TEST_F(LinuxFilesystem, SpecialDirectoriesLieUnderHomeAndOnlyMusicIsCreated)
{
    EXPECT_EQ(home.File(".vantormp3/"), fs.GetSpecialDirectory(FilesystemUtility::SettingsDirectory));
    EXPECT_EQ(home.File(".vantormp3/temp/"), fs.GetSpecialDirectory(FilesystemUtility::TempDirectory));
    EXPECT_FALSE(fs.DirectoryExists(home.File(".vantormp3").c_str()));

    EXPECT_EQ(home.File("Vantor MP3/"), fs.GetSpecialDirectory(FilesystemUtility::MusicDirectory));
    EXPECT_TRUE(IsDirectory(home.File("Vantor MP3/")));
    // With a "Music" folder, music goes into it.
    ASSERT_TRUE(fs.CreateDirectory(home.File("Music").c_str()));
    EXPECT_EQ(home.File("Music/Vantor MP3/"), fs.GetMusicDirectory());
    EXPECT_TRUE(IsDirectory(home.File("Music/Vantor MP3/")));
}

TEST_F(LinuxFilesystem, MusicFollowsTheDownloadDirectoryPreferenceWhenItCanBeMade)
{
    TempDirectory elsewhere;
    WriteFile(home.File("plain"), "x");
    const struct {
        std::string preferred;
        std::string music;
    } cases[] = {
        {elsewhere.Path(), elsewhere.Path() + "/"},
        {elsewhere.File("deep/er/music/"), elsewhere.File("deep/er/music/")},
        // Below a plain file it can't be made: the default, and the preference stays.
        {home.File("plain/music"), home.File("Vantor MP3/")},
    };
    for (const auto& c : cases) {
        SetDownloadDirectory(c.preferred);
        EXPECT_EQ(c.music, fs.GetMusicDirectory()) << c.preferred;
        EXPECT_TRUE(IsDirectory(c.music)) << c.music;
        EXPECT_EQ(c.preferred, Utility::Preferences()->GetString(PreferencesKeys::DownloadDirectory, ""));
    }
}

TEST(HomeDirectory, MissingHomeEndsTheProcessWithStatus255)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            StderrLog log;
            unsetenv("HOME");
            LinuxFilesystemUtility().GetSettingsDirectory();
        },
        ::testing::ExitedWithCode(255),
        "\\[RUQ\\] \\(\\*CRITICAL\\*\\) Failed to determine user's home directory\\. Aborting");
}

TEST_F(LinuxFilesystem, CreateDirectoryMakesEveryMissingLevelWithMode0750)
{
    const mode_t previous = umask(022);
    const bool created = fs.CreateDirectory(home.File("a/b//c/").c_str());
    umask(previous);
    ASSERT_TRUE(created);
    for (const char* level : {"a", "a/b", "a/b/c"}) {
        struct stat info;
        ASSERT_EQ(0, stat(home.File(level).c_str(), &info)) << level;
        EXPECT_EQ(0750u, info.st_mode & 07777) << level;
    }
    EXPECT_TRUE(fs.CreateDirectory(home.File("a/b").c_str()));
}

TEST_F(LinuxFilesystem, RenameCreatesTheTargetDirectoryOrFailsWithoutTouchingTheSource)
{
    const std::string from = home.File("partial");
    WriteFile(from, "track data");
    WriteFile(home.File("plain"), "x");
    // A plain file counts as existing and blocks any directory below it.
    EXPECT_TRUE(fs.DirectoryExists(home.File("plain").c_str()));
    EXPECT_FALSE(fs.RenameFile(from.c_str(), home.File("plain/sub/target").c_str()));
    EXPECT_THROW(fs.RenameFile(from.c_str(), "target"), invalid_path_exception);
    EXPECT_EQ("track data", ReadFile(from));

    const std::string to = home.File("Artist/Album/01 Song.mp3");
    ASSERT_TRUE(fs.RenameFile(from.c_str(), to.c_str()));
    EXPECT_EQ("track data", ReadFile(to));
    EXPECT_FALSE(fs.FileExists(from.c_str()));
    EXPECT_FALSE(fs.RenameFile(from.c_str(), home.File("new/target").c_str()));
    EXPECT_TRUE(fs.DeleteFile(to.c_str()));
    EXPECT_FALSE(fs.DeleteFile(to.c_str()));
}

TEST_F(LinuxFilesystem, UniqueAndTemporaryNamesSkipTakenNumbersAndFitTheNameLimit)
{
    const std::string song = home.File("song.mp3");
    const std::string album = home.Path() + "/";
    EXPECT_EQ(home.File("song(1).mp3"), fs.GetUniqueFilename(song));
    EXPECT_EQ(album + ".vlx(1).tmp", fs.GetTemporaryFilename(album.c_str()));
    for (const char* taken : {"song.mp3", "song(1).mp3", "song(2).mp3", ".vlx(1).tmp", ".vlx(2).tmp"})
        WriteFile(home.File(taken), "x");
    EXPECT_EQ(home.File("song(3).mp3"), fs.GetUniqueFilename(song));
    EXPECT_EQ(home.File("song(3).mp3"), fs.ValidatePath(song, true));
    EXPECT_EQ(song, fs.ValidatePath(song, false));
    EXPECT_EQ(album + ".vlx(3).tmp", fs.GetTemporaryFilename(album.c_str()));

    EXPECT_EQ(home.File("song(1)"), fs.GetUniqueFilename(home.File("song")));
    EXPECT_EQ(home.File("song.(1)a"), fs.GetUniqueFilename(home.File("song.a")));
    EXPECT_THROW(fs.GetUniqueFilename("song.mp3"), invalid_path_exception);

    // A long name is cut to make room for the number; an extension with no room left is
    // given up rather than cutting into the directory.
    const std::string longName = std::string(251, 'n') + ".mp3";
    EXPECT_EQ(home.File(std::string(248, 'n') + "(1).mp3"), fs.GetUniqueFilename(home.File(longName)));
    const std::string hugeExtension = "a." + std::string(253, 'e');
    EXPECT_EQ(home.File(hugeExtension.substr(0, 252) + "(1)"), fs.GetUniqueFilename(home.File(hugeExtension)));
}

TEST_F(LinuxFilesystem, FreeSpaceOfARealPathAndOfAMissingOne)
{
    const unsigned long long space = fs.GetFreeSpaceInBytes(home.Path().c_str());
    EXPECT_GT(space, 0u);
    EXPECT_NE(ULLONG_MAX, space);
    EXPECT_EQ(ULLONG_MAX, fs.GetFreeSpaceInBytes(home.File("missing").c_str()));
}
