#ifndef TESTS_DOWNLOADER_DIALOGS_DIALOGFIXTURE_H
#define TESTS_DOWNLOADER_DIALOGS_DIALOGFIXTURE_H

#include "core/localization/TranslationService.h"
#include "downloader/app/UtilityPaths.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

// The program's own glade file and images (the checkout's share folder is the current
// directory), a shown main window, and translations the test chooses.
class DialogFixture {
public:
    DialogFixture()
        : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share")
    {
        mainWindow.set_title("Main window");
        mainWindow.show();
        Pump();
    }

    // Starts (or restarts) the translation service in `locale` with just these texts.
    void Translate(const std::string& locale, const std::map<std::string, std::string>& texts)
    {
        translations.reset(new VantorTest::TempDirectory);
        VantorTest::WriteTranslationFile(translations->File(locale + ".xml"), locale, texts);
        Vantor::Localization::TranslationService::Initialize(translations->Path(), locale);
    }

    template <class Widget>
    static Widget* Get(const std::string& root, const std::string& name)
    {
        Widget* widget = nullptr;
        Vantor::DigitalMedia::MusicClient::Downloader::Utility::GetGlade(root)->get_widget(name, widget);
        EXPECT_TRUE(widget) << root << "/" << name;
        return widget;
    }

    static void Pump()
    {
        while (Gtk::Main::events_pending())
            Gtk::Main::iteration();
    }

    Gtk::Window mainWindow;

private:
    VantorTest::ScopedCurrentDirectory share;
    std::unique_ptr<VantorTest::TempDirectory> translations;
};

#endif
