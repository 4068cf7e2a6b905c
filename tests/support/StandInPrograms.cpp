#include "tests/support/StandInPrograms.h"

#include "tests/support/ThreadSync.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

namespace VantorTest {

StandInPrograms::StandInPrograms()
{
    const char* path = std::getenv("PATH");
    hadPath = path != nullptr;
    if (hadPath)
        previousPath = path;
    setenv("PATH", programs.Path().c_str(), 1);
}

StandInPrograms::~StandInPrograms()
{
    if (hadPath)
        setenv("PATH", previousPath.c_str(), 1);
    else
        unsetenv("PATH");
}

void StandInPrograms::Add(const std::string& name)
{
    // Written under another name and then moved, so a record is never seen half written.
    const std::string path = programs.File(name);
    WriteFile(path, "#!/bin/sh\n"
                    "printf '%s %s' \"${0##*/}\" \"$*\" > '" + record.File("partial") + "'\n"
                    "/bin/mv '" + record.File("partial") + "' '" + record.File("done") + "'\n");
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

void StandInPrograms::Clear()
{
    boost::filesystem::remove_all(programs.Path());
    boost::filesystem::create_directory(programs.Path());
    boost::filesystem::remove(record.File("done"));
}

std::string StandInPrograms::TakeRecord()
{
    const std::string done = record.File("done");
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (!boost::filesystem::exists(done) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string text = ReadFile(done);
    boost::filesystem::remove(done);
    return text;
}

} // namespace VantorTest
