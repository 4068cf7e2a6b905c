#include "core/filesystem/FilesystemUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"

#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility;
using Vantor::Filesystem::FilesystemUtility;
using Vantor::Filesystem::invalid_path_exception;
using VantorTest::TempDirectory;
using VantorTest::WriteFile;

namespace {

// Counts the disk lookups the path rules make.
class CountingFilesystem : public LinuxFilesystemUtility {
public:
    bool FileExists(const char* path) override
    {
        ++lookups;
        return LinuxFilesystemUtility::FileExists(path);
    }
    int lookups = 0;
};

class PathRules : public ::testing::Test {
protected:
    boost::shared_ptr<FilesystemUtility> fs = FilesystemUtility::NewInstance();
};

std::vector<std::string> Explode(FilesystemUtility& fs, const std::string& path)
{
    std::vector<std::string> parts;
    fs.ExplodePath(path, parts);
    return parts;
}

} // namespace

TEST_F(PathRules, LinuxLimitsAndCharacters)
{
    EXPECT_EQ(255u, fs->MaxFilenameLength());
    EXPECT_EQ(255u, fs->MaxSubdirectoryLength());
    EXPECT_EQ(3841u, fs->MaxDirectoryLength());
    EXPECT_EQ("/", fs->DirectorySeparator());
    EXPECT_EQ("/", fs->GetPathRoot());
    EXPECT_EQ("\\:*?\"<>|/", fs->InvalidPathChars());
    EXPECT_EQ('_', fs->InvalidCharReplacement());
}

TEST_F(PathRules, ExplodePathSkipsEmptyPiecesAndAppends)
{
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), Explode(*fs, "/a//b/"));
    EXPECT_EQ((std::vector<std::string>{"a", "b c"}), Explode(*fs, "a/b c"));
    EXPECT_TRUE(Explode(*fs, "///").empty());
    EXPECT_TRUE(Explode(*fs, "").empty());

    std::vector<std::string> parts{"kept"};
    fs->ExplodePath("/x", parts);
    EXPECT_EQ((std::vector<std::string>{"kept", "x"}), parts);
}

TEST_F(PathRules, DirectoryAndFilenameSplitAtTheLastSeparator)
{
    EXPECT_EQ("/a/", fs->GetDirectory("/a/b.mp3"));
    EXPECT_EQ("b.mp3", fs->GetFilename("/a/b.mp3"));
    EXPECT_EQ("/a/b/", fs->GetDirectory("/a/b/"));
    EXPECT_EQ("", fs->GetFilename("/a/b/"));
    EXPECT_THROW(fs->GetDirectory("b.mp3"), invalid_path_exception);
    EXPECT_THROW(fs->GetFilename("b.mp3"), invalid_path_exception);
    EXPECT_THROW(fs->GetFilename(""), invalid_path_exception);
}

TEST_F(PathRules, ExtensionIsTakenFromTheFileNameOnly)
{
    EXPECT_EQ("", fs->GetFileExtension("/a.b/c"));
    EXPECT_EQ("", fs->GetFileExtension("/a/c."));
    EXPECT_EQ("gz", fs->GetFileExtension("/a/c.tar.gz"));
    EXPECT_EQ("mp3", fs->GetFileExtension("song.mp3"));
    EXPECT_EQ("vlx", fs->GetFileExtension("/m/.vlx"));
    EXPECT_EQ("tmp", fs->GetFileExtension(".vlx.tmp"));
    EXPECT_EQ("", fs->GetFileExtension("/m/song"));
}

TEST_F(PathRules, InvalidCharactersAndSubstituteByteBecomeUnderscores)
{
    std::string text = "a\\b:c*d?e\"f<g>h|i/j\x1Ak";
    fs->ReplaceInvalidPathChars(text);
    EXPECT_EQ("a_b_c_d_e_f_g_h_i_j_k", text);

    // Bytes of 128 and above, other control bytes and blanks are left alone.
    std::string high = "caf\xE9 \xC3\xA9\x01\x7F\xFF";
    const std::string unchanged = high;
    fs->ReplaceInvalidPathChars(high);
    EXPECT_EQ(unchanged, high);
}

TEST_F(PathRules, LongFileNameIsCutKeepingItsExtension)
{
    const std::string name = std::string(296, 'n') + ".mp3";
    EXPECT_EQ(std::string(251, 'n') + ".mp3", fs->ValidateFilename(name));

    // A one-character extension goes back without its dot.
    EXPECT_EQ(std::string(254, 'n') + "a", fs->ValidateFilename(std::string(300, 'n') + ".a"));
    // No extension: a plain cut.
    EXPECT_EQ(std::string(255, 'n'), fs->ValidateFilename(std::string(300, 'n')));
    // Exactly at the limit nothing is cut; invalid characters are replaced either way.
    const std::string atLimit = std::string(250, 'n') + "?.mp3";
    EXPECT_EQ(std::string(250, 'n') + "_.mp3", fs->ValidateFilename(atLimit));
}

TEST_F(PathRules, ExtensionLongerThanTheLimitIsGivenUp)
{
    const std::string name = "a." + std::string(300, 'e');
    const std::string valid = fs->ValidateFilename(name);
    EXPECT_EQ(255u, valid.size());
    EXPECT_EQ(name.substr(0, 255), valid);
}

TEST_F(PathRules, DirectoryIsRootedTrimmedAndCleaned)
{
    EXPECT_EQ("/a/b/", fs->ValidateDirectory("a/b"));
    EXPECT_EQ("/x/y/", fs->ValidateDirectory("/x/ y /"));
    EXPECT_EQ("/x/y/", fs->ValidateDirectory("/x/\t\r\n y\v\f/"));
    EXPECT_EQ("/", fs->ValidateDirectory(""));
    EXPECT_EQ("/AC_DC/Back in Black_/", fs->ValidateDirectory("/AC:DC/Back in Black?"));
    // Bytes of 128 and above pass through.
    EXPECT_EQ("/Bj\xC3\xB6rk/caf\xE9/", fs->ValidateDirectory("/Bj\xC3\xB6rk/caf\xE9"));
}

TEST_F(PathRules, LongDirectoryComponentIsCutTo254)
{
    const std::string valid = fs->ValidateDirectory("/m/" + std::string(300, 'c') + "/d");
    EXPECT_EQ("/m/" + std::string(254, 'c') + "/d/", valid);
}

TEST_F(PathRules, LongDirectoryIsShortenedFromTheDeepestComponent)
{
    // Fifteen components of 254 characters: 3826 characters, under the limit of 3840.
    std::string directory;
    for (int i = 0; i < 15; ++i)
        directory += "/" + std::string(254, static_cast<char>('a' + i));
    EXPECT_EQ(directory + "/", fs->ValidateDirectory(directory));

    // Two more components: the excess over 3840 comes off the deepest ones, each keeping
    // at least one character; the shallow ones stay whole. (The excess is measured on the
    // text as given, so a missing final separator would count one short.)
    const std::string longer = directory + "/" + std::string(200, 'x') + "/" + std::string(30, 'y') + "/";
    const long long excess = static_cast<long long>(longer.size()) - 3840;
    ASSERT_GT(excess, 30);
    const std::string valid = fs->ValidateDirectory(longer);
    EXPECT_EQ(directory + "/" + std::string(200 - (excess - 29), 'x') + "/y/", valid);
    EXPECT_LE(valid.size(), 3840u);
}

TEST_F(PathRules, DirectoryThatCannotBeShortenedEnoughThrows)
{
    // 2500 one-character components can't give anything up: 5001 characters stay.
    std::string directory;
    for (int i = 0; i < 2500; ++i)
        directory += "/a";
    EXPECT_THROW(fs->ValidateDirectory(directory), invalid_path_exception);

    // The excess is measured on the text as given, before any component is cut to 254, so
    // a single component of 5000 characters keeps just its first one.
    EXPECT_EQ("/z/", fs->ValidateDirectory("/" + std::string(5000, 'z')));
}

TEST_F(PathRules, ValidatePathJoinsDirectoryAndName)
{
    EXPECT_EQ("/Artist/Album/01 Song_.mp3", fs->ValidatePath("Artist /Album/01 Song?.mp3", false));
    EXPECT_EQ("/a/", fs->ValidatePath("/a/", true));
    EXPECT_THROW(fs->ValidatePath("song.mp3", false), invalid_path_exception);

    const std::string path = "/" + std::string(5000, 'p') + "/" + std::string(5000, 'q') + ".mp3";
    EXPECT_EQ("/p/" + std::string(251, 'q') + ".mp3", fs->ValidatePath(path, false));
}

TEST(UniqueNames, AlwaysNumberedAndSkipTakenNames)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const std::string song = dir.File("song.mp3");
    EXPECT_EQ(dir.File("song(1).mp3"), fs.GetUniqueFilename(song));

    WriteFile(song, "x");
    WriteFile(dir.File("song(1).mp3"), "x");
    EXPECT_EQ(dir.File("song(2).mp3"), fs.GetUniqueFilename(song));
    WriteFile(dir.File("song(2).mp3"), "x");
    EXPECT_EQ(dir.File("song(3).mp3"), fs.GetUniqueFilename(song));

    EXPECT_EQ(dir.File("song(1)"), fs.GetUniqueFilename(dir.File("song")));
    EXPECT_EQ(dir.File("song.(1)a"), fs.GetUniqueFilename(dir.File("song.a")));
    EXPECT_EQ(dir.File(".vlx(1).tmp"), fs.GetUniqueFilename(dir.File(".vlx.tmp")));
    EXPECT_THROW(fs.GetUniqueFilename("song.mp3"), invalid_path_exception);
}

TEST(UniqueNames, LongNameIsCutToMakeRoomForTheNumber)
{
    TempDirectory dir;
    LinuxFilesystemUtility fs;
    const std::string name = std::string(251, 'n') + ".mp3";
    const std::string unique = fs.GetUniqueFilename(dir.File(name));
    EXPECT_EQ(dir.File(std::string(248, 'n') + "(1).mp3"), unique);
    EXPECT_EQ(255u, fs.GetFilename(unique).size());

    // An extension with no room left is given up rather than cutting into the directory.
    const std::string hugeExtension = "a." + std::string(253, 'e');
    const std::string cut = fs.GetUniqueFilename(dir.File(hugeExtension));
    EXPECT_EQ(dir.Path() + "/", fs.GetDirectory(cut));
    EXPECT_EQ(hugeExtension.substr(0, 252) + "(1)", fs.GetFilename(cut));
}

TEST(UniqueNames, ValidatePathLooksAtTheDiskOnlyWhenAskedForAUniqueName)
{
    TempDirectory dir;
    CountingFilesystem fs;
    const std::string song = dir.File("song.mp3");
    WriteFile(song, "x");

    EXPECT_EQ(song, fs.ValidatePath(song, false));
    EXPECT_EQ(0, fs.lookups);

    EXPECT_EQ(dir.File("song(1).mp3"), fs.ValidatePath(song, true));
    EXPECT_GT(fs.lookups, 0);

    const std::string missing = dir.File("other.mp3");
    EXPECT_EQ(missing, fs.ValidatePath(missing, true));
}
