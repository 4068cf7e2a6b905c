#include "core/filesystem/LinuxFilesystemUtility.h"

#include "core/diagnostic/Debug.h"
#include "downloader/app/PreferencesKeys.h"
#include "downloader/app/UtilityPreferences.h"

#include "tests/support/ForkedChild.h"
#include "tests/support/ScopedHome.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
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

// Sets the download-directory preference in memory for one test.
class ScopedDownloadDirectory {
public:
    explicit ScopedDownloadDirectory(const std::string& value)
    {
        Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, value.c_str());
    }
    ~ScopedDownloadDirectory() { Utility::Preferences()->SetString(PreferencesKeys::DownloadDirectory, ""); }
};

// Copies log lines to stderr, where a death test can match them.
class StderrLog : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    StderrLog() { Vantor::Diagnostic::Debug::StringLoggedSignal().connect(this, &StderrLog::Write); }
    void Write(std::string line) { std::fprintf(stderr, "%s\n", line.c_str()); }
};

class SpecialDirectories : public ::testing::Test {
protected:
    ScopedHome home;
    LinuxFilesystemUtility fs;
};

} // namespace

TEST_F(SpecialDirectories, SettingsAndTempLieUnderHomeAndAreNotCreated)
{
    EXPECT_EQ(home.Path() + "/", fs.GetHomeDirectory());
    EXPECT_EQ(home.File(".vantormp3/"), fs.GetSpecialDirectory(FilesystemUtility::SettingsDirectory));
    EXPECT_EQ(home.File(".vantormp3/temp/"), fs.GetSpecialDirectory(FilesystemUtility::TempDirectory));
    EXPECT_FALSE(fs.DirectoryExists(home.File(".vantormp3").c_str()));

    setenv("HOME", (home.Path() + "/").c_str(), 1);
    EXPECT_EQ(home.Path() + "//", fs.GetHomeDirectory());
}

TEST_F(SpecialDirectories, UnknownDirectoryThrows)
{
    EXPECT_THROW(fs.GetSpecialDirectory(static_cast<FilesystemUtility::SpecialDirectory>(0)), std::exception);
    EXPECT_THROW(fs.GetSpecialDirectory(static_cast<FilesystemUtility::SpecialDirectory>(4)), std::exception);
}

TEST_F(SpecialDirectories, MusicGoesUnderHomeWithoutMusicFolder)
{
    const std::string music = fs.GetSpecialDirectory(FilesystemUtility::MusicDirectory);
    EXPECT_EQ(home.File("Vantor MP3/"), music);
    EXPECT_TRUE(IsDirectory(music));
    EXPECT_FALSE(fs.DirectoryExists(home.File("Music").c_str()));
}

TEST_F(SpecialDirectories, MusicGoesUnderMusicFolderWhenThereIsOne)
{
    ASSERT_TRUE(fs.CreateDirectory(home.File("Music").c_str()));
    const std::string music = fs.GetMusicDirectory();
    EXPECT_EQ(home.File("Music/Vantor MP3/"), music);
    EXPECT_TRUE(IsDirectory(music));
    EXPECT_FALSE(fs.DirectoryExists(home.File("Vantor MP3").c_str()));
}

TEST_F(SpecialDirectories, PreferredDownloadDirectoryThatExists)
{
    TempDirectory elsewhere;
    ScopedDownloadDirectory preference(elsewhere.Path());
    EXPECT_EQ(elsewhere.Path() + "/", fs.GetMusicDirectory());
    EXPECT_FALSE(fs.DirectoryExists(home.File("Vantor MP3").c_str()));
}

TEST_F(SpecialDirectories, PreferredDownloadDirectoryIsCreated)
{
    TempDirectory elsewhere;
    const std::string preferred = elsewhere.File("deep/er/music/");
    ScopedDownloadDirectory preference(preferred);
    EXPECT_EQ(preferred, fs.GetMusicDirectory());
    EXPECT_TRUE(IsDirectory(preferred));
}

TEST_F(SpecialDirectories, PreferredDownloadDirectoryThatCannotBeCreatedFallsBack)
{
    const std::string plainFile = home.File("not-a-folder");
    WriteFile(plainFile, "x");
    const std::string preferred = plainFile + "/music";
    ScopedDownloadDirectory preference(preferred);

    EXPECT_EQ(home.File("Vantor MP3/"), fs.GetMusicDirectory());
    EXPECT_TRUE(IsDirectory(home.File("Vantor MP3")));
    EXPECT_EQ(preferred, Utility::Preferences()->GetString(PreferencesKeys::DownloadDirectory, ""));
}

TEST_F(SpecialDirectories, DefaultThatCannotBeCreatedIsStillReturned)
{
    setenv("HOME", home.File("plain").c_str(), 1);
    WriteFile(home.File("plain"), "x");
    EXPECT_EQ(home.File("plain/Vantor MP3/"), fs.GetMusicDirectory());
    EXPECT_FALSE(IsDirectory(home.File("plain/Vantor MP3")));
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

TEST(DiskOperations, CreateDirectoryMakesEveryMissingLevelWithMode0750)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const mode_t previous = umask(022);
    const bool created = fs.CreateDirectory(dir.File("a/b//c/").c_str());
    umask(previous);
    ASSERT_TRUE(created);
    for (const char* level : {"a", "a/b", "a/b/c"}) {
        struct stat info;
        ASSERT_EQ(0, stat(dir.File(level).c_str(), &info)) << level;
        EXPECT_EQ(0750u, info.st_mode & 07777) << level;
    }
    EXPECT_TRUE(fs.CreateDirectory(dir.File("a/b").c_str()));
    EXPECT_TRUE(fs.CreateDirectory("/"));
}

TEST(DiskOperations, RelativeDirectoryIsCreatedFromTheRoot)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const std::string relative = dir.File("rel/sub").substr(1);
    ASSERT_TRUE(fs.RecursiveCreateDir(relative.c_str()));
    EXPECT_TRUE(IsDirectory(dir.File("rel/sub")));
}

TEST(DiskOperations, PlainFileCountsAsExistingAndBlocksDirectoriesBelowIt)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const std::string file = dir.File("file");
    WriteFile(file, "x");
    EXPECT_TRUE(fs.FileExists(file.c_str()));
    EXPECT_TRUE(fs.DirectoryExists(file.c_str()));
    EXPECT_FALSE(fs.FileExists(dir.File("missing").c_str()));
    EXPECT_FALSE(fs.DirectoryExists(dir.File("missing").c_str()));
    EXPECT_FALSE(fs.CreateDirectory((file + "/below/deeper").c_str()));
}

TEST(DiskOperations, RenameCreatesTheTargetDirectory)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const std::string from = dir.File("partial");
    WriteFile(from, "track data");
    const std::string to = dir.File("Artist/Album/01 Song.mp3");

    ASSERT_TRUE(fs.RenameFile(from.c_str(), to.c_str()));
    EXPECT_EQ("track data", ReadFile(to));
    EXPECT_FALSE(fs.FileExists(from.c_str()));
}

TEST(DiskOperations, RenameFailures)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    EXPECT_FALSE(fs.RenameFile(dir.File("missing").c_str(), dir.File("new/target").c_str()));

    const std::string from = dir.File("source");
    WriteFile(from, "kept");
    WriteFile(dir.File("plain"), "x");
    EXPECT_FALSE(fs.RenameFile(from.c_str(), dir.File("plain/sub/target").c_str()));
    EXPECT_EQ("kept", ReadFile(from));

    EXPECT_THROW(fs.RenameFile(from.c_str(), "target"), invalid_path_exception);
    EXPECT_EQ("kept", ReadFile(from));
}

TEST(DiskOperations, DeleteFile)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const std::string file = dir.File("file");
    WriteFile(file, "x");
    EXPECT_TRUE(fs.DeleteFile(file.c_str()));
    EXPECT_FALSE(fs.FileExists(file.c_str()));
    EXPECT_FALSE(fs.DeleteFile(file.c_str()));
}

TEST(DiskOperations, TemporaryNamesSkipTakenNumbers)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const std::string album = dir.Path() + "/";
    EXPECT_EQ(album + ".vlx(1).tmp", fs.GetTemporaryFilename(album.c_str()));
    EXPECT_FALSE(fs.FileExists((album + ".vlx(1).tmp").c_str()));

    WriteFile(album + ".vlx(1).tmp", "x");
    EXPECT_EQ(album + ".vlx(2).tmp", fs.GetTemporaryFilename(album.c_str()));
    WriteFile(album + ".vlx(2).tmp", "x");
    EXPECT_EQ(album + ".vlx(3).tmp", fs.GetTemporaryFilename(album.c_str()));
}

TEST(FreeSpace, OfARealPathAndOfAMissingOne)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const unsigned long long space = fs.GetFreeSpaceInBytes(dir.Path().c_str());
    EXPECT_GT(space, 0u);
    EXPECT_NE(ULLONG_MAX, space);
    EXPECT_EQ(ULLONG_MAX, fs.GetFreeSpaceInBytes(dir.File("missing").c_str()));
}

TEST(FreeSpace, OfASmallFileSystemFollowsWhatIsWritten)
{
    TempDirectory dir;
    const VantorTest::ChildResult child = VantorTest::RunInChild([&dir]() -> std::string {
        if (!VantorTest::MountPrivateTmpfs(dir.Path(), 256 * 1024))
            return "skip";
        LinuxFilesystemUtility fs;
        const unsigned long long before = fs.GetFreeSpaceInBytes(dir.Path().c_str());
        if (before == 0 || before > 256 * 1024)
            return "empty file system reports " + std::to_string(before);
        FILE* file = std::fopen(dir.File("filler").c_str(), "wb");
        const std::string block(64 * 1024, 'x');
        const bool written = file && std::fwrite(block.data(), 1, block.size(), file) == block.size();
        if (file)
            std::fclose(file);
        const unsigned long long after = fs.GetFreeSpaceInBytes(dir.Path().c_str());
        if (!written || after + 64 * 1024 > before)
            return "after 64 KiB: " + std::to_string(before) + " -> " + std::to_string(after);
        return "ok";
    });
    ASSERT_TRUE(child.exited);
    if (child.report == "skip")
        GTEST_SKIP() << "no private tmpfs on this system";
    EXPECT_EQ("ok", child.report);
}
