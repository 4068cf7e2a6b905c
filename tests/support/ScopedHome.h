#ifndef TESTS_SUPPORT_SCOPEDHOME_H
#define TESTS_SUPPORT_SCOPEDHOME_H

#include "tests/support/TempDirectory.h"

#include <string>

namespace VantorTest {

// Points HOME at a fresh temporary folder for the object's lifetime, then puts back the
// value it had (or unsets it again).
class ScopedHome {
public:
    ScopedHome();
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    // The home folder, without a final slash.
    const std::string& Path() const { return home.Path(); }
    // Path() + "/" + relative
    std::string File(const std::string& relative) const { return home.File(relative); }

private:
    TempDirectory home;
    bool hadHome;
    std::string previousHome;
};

} // namespace VantorTest

#endif
