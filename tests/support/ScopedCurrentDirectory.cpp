#include "tests/support/ScopedCurrentDirectory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

namespace VantorTest {

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string& path)
{
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer))
        previous = buffer;
    EXPECT_EQ(0, chdir(path.c_str())) << "cannot change to " << path;
}

ScopedCurrentDirectory::~ScopedCurrentDirectory()
{
    EXPECT_EQ(0, chdir(previous.c_str())) << "cannot change back to " << previous;
}

} // namespace VantorTest
