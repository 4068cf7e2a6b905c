#ifndef TESTS_SUPPORT_SCOPEDCURRENTDIRECTORY_H
#define TESTS_SUPPORT_SCOPEDCURRENTDIRECTORY_H

#include <string>

namespace VantorTest {

// Makes `path` the current directory for the object's lifetime, then goes back to the
// directory it was made in. Fails the current test when either change is refused.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::string& path);
    ~ScopedCurrentDirectory();
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

private:
    std::string previous;
};

} // namespace VantorTest

#endif
