#include "core/filesystem/FilesystemUtility.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using Vantor::Filesystem::FilesystemUtility;
using Vantor::Filesystem::invalid_path_exception;

namespace {

typedef std::vector<std::pair<std::string, std::string>> Cases;

class PathRules : public ::testing::Test {
protected:
    boost::shared_ptr<FilesystemUtility> fs = FilesystemUtility::NewInstance();
};

// Fifteen components of 254 characters: 3826 characters, under the limit of 3840.
std::string FifteenLongComponents()
{
    std::string directory;
    for (int i = 0; i < 15; ++i)
        directory += "/" + std::string(254, static_cast<char>('a' + i));
    return directory;
}

} // namespace

TEST_F(PathRules, LinuxLimitsAndCharacters)
{
    EXPECT_EQ(255u, fs->MaxFilenameLength());
    EXPECT_EQ(255u, fs->MaxSubdirectoryLength());
    EXPECT_EQ(3841u, fs->MaxDirectoryLength());

    std::string text = "a\\b:c*d?e\"f<g>h|i/j\x1Ak caf\xE9 \xC3\xA9\x01\x7F\xFF";
    fs->ReplaceInvalidPathChars(text);
    // Bytes of 128 and above, other control bytes and blanks are left alone.
    EXPECT_EQ("a_b_c_d_e_f_g_h_i_j_k caf\xE9 \xC3\xA9\x01\x7F\xFF", text);
}

TEST_F(PathRules, LongFileNamesAreCutKeepingTheirExtension)
{
    const Cases cases = {
        {std::string(296, 'n') + ".mp3", std::string(251, 'n') + ".mp3"},
        // A one-character extension goes back without its dot.
        {std::string(300, 'n') + ".a", std::string(254, 'n') + "a"},
        {std::string(300, 'n'), std::string(255, 'n')},
        // Exactly at the limit nothing is cut; invalid characters are replaced either way.
        {std::string(250, 'n') + "?.mp3", std::string(250, 'n') + "_.mp3"},
        // An extension longer than the limit is given up.
        {"a." + std::string(300, 'e'), "a." + std::string(253, 'e')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, fs->ValidateFilename(c.first)) << c.first.size();
}

TEST_F(PathRules, DirectoriesAreRootedTrimmedCleanedAndShortened)
{
    const std::string fifteen = FifteenLongComponents();
    // Two more components: the excess over 3840, measured on the text as given, comes off
    // the deepest ones, each keeping at least one character; the shallow ones stay whole.
    const std::string longer = fifteen + "/" + std::string(200, 'x') + "/" + std::string(30, 'y') + "/";
    const size_t excess = longer.size() - 3840;
    const Cases cases = {
        {"a/b", "/a/b/"},
        {"", "/"},
        {"/x/\t\r\n y\v\f/", "/x/y/"},
        {"/AC:DC/Back in Black?", "/AC_DC/Back in Black_/"},
        {"/Bj\xC3\xB6rk/caf\xE9", "/Bj\xC3\xB6rk/caf\xE9/"},
        {"/m/" + std::string(300, 'c') + "/d", "/m/" + std::string(254, 'c') + "/d/"},
        {fifteen, fifteen + "/"},
        {longer, fifteen + "/" + std::string(200 - (excess - 29), 'x') + "/y/"},
        // The excess is measured before any component is cut to 254: one of 5000 characters
        // keeps just its first one.
        {"/" + std::string(5000, 'z'), "/z/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, fs->ValidateDirectory(c.first)) << c.first.substr(0, 40);

    // 2500 one-character components can't give anything up: 5001 characters stay.
    std::string tooDeep;
    for (int i = 0; i < 2500; ++i)
        tooDeep += "/a";
    EXPECT_THROW(fs->ValidateDirectory(tooDeep), invalid_path_exception);
}

TEST_F(PathRules, ValidatePathJoinsDirectoryAndName)
{
    EXPECT_EQ("/Artist/Album/01 Song_.mp3", fs->ValidatePath("Artist //Album/01 Song?.mp3", false));
    EXPECT_EQ("/a/", fs->ValidatePath("/a/", true));
    EXPECT_THROW(fs->ValidatePath("song.mp3", false), invalid_path_exception);

    const std::string path = "/" + std::string(5000, 'p') + "/" + std::string(5000, 'q') + ".mp3";
    EXPECT_EQ("/p/" + std::string(251, 'q') + ".mp3", fs->ValidatePath(path, false));
}
