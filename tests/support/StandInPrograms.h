#ifndef TESTS_SUPPORT_STANDINPROGRAMS_H
#define TESTS_SUPPORT_STANDINPROGRAMS_H

#include "tests/support/TempDirectory.h"

#include <string>

namespace VantorTest {

// A folder of stand-in programs that PATH holds alone for the object's lifetime, so no real
// browser or folder viewer ever starts. Each stand-in records "<its name> <its arguments>"
// and ends.
class StandInPrograms {
public:
    StandInPrograms();
    ~StandInPrograms();
    StandInPrograms(const StandInPrograms&) = delete;
    StandInPrograms& operator=(const StandInPrograms&) = delete;

    void Add(const std::string& name);
    // Removes every stand-in and a record not yet taken.
    void Clear();
    // The next record, taken away so that the following call waits for a new one; empty when
    // nothing was recorded within the wait limit.
    std::string TakeRecord();

private:
    TempDirectory programs;
    TempDirectory record;
    bool hadPath;
    std::string previousPath;
};

} // namespace VantorTest

#endif
