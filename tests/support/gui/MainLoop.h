#ifndef TESTS_SUPPORT_GUI_MAINLOOP_H
#define TESTS_SUPPORT_GUI_MAINLOOP_H

// Turns of the default Glib main loop on the test's own thread, the one that built the
// process-wide call queue before main and so its main thread.

#include "tests/support/ThreadSync.h"

#include <glibmm/main.h>
#include <glibmm/thread.h>
#include <gtest/gtest.h>

#include <functional>

namespace VantorTest {

// One turn that does not wait; true when it dispatched something.
inline bool RunOneTurn()
{
    return Glib::MainContext::get_default()->iteration(false);
}

// Turns until `done` holds; false when the wait limit ran out first. A periodic wake-up
// keeps a turn from waiting for ever.
inline bool RunMainLoopUntil(const std::function<bool()>& done)
{
    sigc::connection wake = Glib::signal_timeout().connect([] { return true; }, 10);
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        Glib::MainContext::get_default()->iteration(true);
    wake.disconnect();
    return done();
}

// Does what the program's start does before any thread is made.
class MainLoopTest : public ::testing::Test {
protected:
    MainLoopTest() { Glib::thread_init(); }
};

} // namespace VantorTest

#endif
