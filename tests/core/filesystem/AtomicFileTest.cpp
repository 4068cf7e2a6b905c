#include "core/filesystem/AtomicFile.h"

#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

using Vantor::Filesystem::AtomicFile;
using VantorTest::ReadFile;
using VantorTest::TempDirectory;
using VantorTest::WriteFile;

namespace {

std::function<bool(FILE*)> Writing(const std::string& text)
{
    return [text](FILE* file) { return std::fwrite(text.data(), 1, text.size(), file) == text.size(); };
}

int EntriesIn(const std::string& directory)
{
    int count = 0;
    for (boost::filesystem::directory_iterator it(directory), end; it != end; ++it)
        ++count;
    return count;
}

mode_t Permissions(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(AtomicFile, CreatesAndReplacesWithoutLeavingTemporaryFiles)
{
    TempDirectory dir;
    const std::string path = dir.File("Settings.xml");
    ASSERT_TRUE(AtomicFile::Replace(path, Writing("first")));
    EXPECT_EQ("first", ReadFile(path));
    ASSERT_TRUE(AtomicFile::Replace(path, Writing("second, longer")));
    EXPECT_EQ("second, longer", ReadFile(path));
    ASSERT_TRUE(AtomicFile::Replace(path, Writing("")));
    EXPECT_EQ("", ReadFile(path));
    EXPECT_EQ(1, EntriesIn(dir.Path()));
}

TEST(AtomicFile, FailedWriteKeepsTheOldFile)
{
    TempDirectory dir;
    const std::string path = dir.File("Settings.xml");
    WriteFile(path, "old contents");
    const bool replaced = AtomicFile::Replace(path, [](FILE* file) {
        std::fputs("half of the new", file);
        return false;
    });
    EXPECT_FALSE(replaced);
    EXPECT_EQ("old contents", ReadFile(path));
    EXPECT_EQ(1, EntriesIn(dir.Path()));
}

TEST(AtomicFile, KeepsThePermissionsOfTheFileItReplaces)
{
    TempDirectory dir;
    const std::string path = dir.File("shared.txt");
    WriteFile(path, "old");
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    ASSERT_TRUE(AtomicFile::Replace(path, Writing("new")));
    EXPECT_EQ(0640u, Permissions(path));

    const std::string fresh = dir.File("fresh.txt");
    ASSERT_TRUE(AtomicFile::Replace(fresh, Writing("new")));
    EXPECT_EQ(0600u, Permissions(fresh));
}
