#ifndef TESTS_SUPPORT_GUI_MAINLOOP_H
#define TESTS_SUPPORT_GUI_MAINLOOP_H

// Turns of the default Glib main loop on the test's own thread, the one that built the
// process-wide call queue before main and so its main thread.

#include "core/localization/TranslationService.h"
#include "downloader/app/UtilityPaths.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"
#include "tests/support/TranslationFile.h"

#include <glibmm/main.h>
#include <glibmm/thread.h>
#include <gtest/gtest.h>

namespace VantorTest {

// One turn that does not wait; true when it dispatched something.
inline bool RunOneTurn()
{
    return Glib::MainContext::get_default()->iteration(false);
}

inline void RunPendingTurns()
{
    while (RunOneTurn())
        continue;
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

// The checkout's share folder as the current directory, where the program finds its glade
// file and images; translations of the test's choosing.
class ShareFolder {
public:
    ShareFolder() : current(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share") {}

    template <class Widget>
    static Widget* Get(const std::string& root, const std::string& name)
    {
        Widget* widget = nullptr;
        Vantor::DigitalMedia::MusicClient::Downloader::Utility::GetGlade(root)->get_widget(name, widget);
        EXPECT_TRUE(widget) << root << "/" << name;
        return widget;
    }

    void Translate(const std::string& locale, const std::map<std::string, std::string>& texts)
    {
        WriteTranslationFile(translations.File(locale + ".xml"), locale, texts);
        Vantor::Localization::TranslationService::Initialize(translations.Path(), locale);
    }

private:
    ScopedCurrentDirectory current;
    TempDirectory translations;
};

} // namespace VantorTest

#endif
