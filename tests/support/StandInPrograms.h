#ifndef TESTS_SUPPORT_STANDINPROGRAMS_H
#define TESTS_SUPPORT_STANDINPROGRAMS_H

#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace VantorTest {

// A folder of stand-in programs that PATH holds alone for the object's lifetime, so no real
// browser or folder viewer ever starts. Each stand-in records "<its name> <its arguments>"
// and ends.
class StandInPrograms {
public:
    StandInPrograms() : hadPath(std::getenv("PATH") != nullptr), previousPath(hadPath ? std::getenv("PATH") : "")
    {
        setenv("PATH", programs.Path().c_str(), 1);
    }
    ~StandInPrograms() { hadPath ? setenv("PATH", previousPath.c_str(), 1) : unsetenv("PATH"); }
    StandInPrograms(const StandInPrograms&) = delete;
    StandInPrograms& operator=(const StandInPrograms&) = delete;

    void Add(const std::string& name)
    {
        // Written under another name and then moved, so a record is never seen half written.
        const std::string path = programs.File(name);
        WriteFile(path, "#!/bin/sh\nprintf '%s %s' \"${0##*/}\" \"$*\" > '" + record.File("partial") + "'\n"
                        "/bin/mv '" + record.File("partial") + "' '" + record.File("done") + "'\n");
        ASSERT_EQ(chmod(path.c_str(), 0755), 0);
    }
    // Removes every stand-in and a record not yet taken.
    void Clear()
    {
        boost::filesystem::remove_all(programs.Path());
        boost::filesystem::create_directory(programs.Path());
        boost::filesystem::remove(record.File("done"));
    }
    // The next record, taken away so that the following call waits for a new one; empty when
    // nothing was recorded within the wait limit.
    std::string TakeRecord()
    {
        const std::string done = record.File("done");
        PollUntil([&done] { return boost::filesystem::exists(done); }, kWaitLimit);
        const std::string text = ReadFile(done);
        boost::filesystem::remove(done);
        return text;
    }

private:
    TempDirectory programs;
    TempDirectory record;
    bool hadPath;
    std::string previousPath;
};

} // namespace VantorTest

#endif
