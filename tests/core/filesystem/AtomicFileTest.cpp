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

namespace {

std::function<bool(FILE*)> Writing(const std::string& text)
{
    return [text](FILE* file) { return std::fwrite(text.data(), 1, text.size(), file) == text.size(); };
}

mode_t Permissions(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(AtomicFile, ReplacesKeepingPermissionsAndLeavingNoTemporaryFile)
{
    TempDirectory dir;
    const std::string path = dir.File("Settings.xml");
    ASSERT_TRUE(AtomicFile::Replace(path, Writing("first, longer")));
    EXPECT_EQ(0600u, Permissions(path));
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    ASSERT_TRUE(AtomicFile::Replace(path, Writing("second")));
    EXPECT_EQ("second", ReadFile(path));
    EXPECT_EQ(0640u, Permissions(path));

    EXPECT_EQ(1, std::distance(boost::filesystem::directory_iterator(dir.Path()), {}));
}
