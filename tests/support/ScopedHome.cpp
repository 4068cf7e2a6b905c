#include "tests/support/ScopedHome.h"

#include <cstdlib>

namespace VantorTest {

ScopedHome::ScopedHome()
{
    const char* current = std::getenv("HOME");
    hadHome = current != nullptr;
    if (hadHome)
        previousHome = current;
    setenv("HOME", home.Path().c_str(), 1);
}

ScopedHome::~ScopedHome()
{
    if (hadHome)
        setenv("HOME", previousHome.c_str(), 1);
    else
        unsetenv("HOME");
}

} // namespace VantorTest
