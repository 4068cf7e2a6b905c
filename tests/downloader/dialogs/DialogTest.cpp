#include "core/localization/TranslationService.h"
#include "downloader/app/UtilityPaths.h"
#include "downloader/ui/AboutDialogController.h"
#include "downloader/ui/DiskFullDialogController.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>

using Vantor::DigitalMedia::MusicClient::Downloader::AboutDialogController;
using Vantor::DigitalMedia::MusicClient::Downloader::DiskFullDialogController;

namespace {

// The program's own glade file and images (the checkout's share folder is the current
// directory), a shown main window, and translations the test chooses.
class DialogFixture {
public:
    DialogFixture()
        : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share")
    {
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

// Every text of both dialogs, by key, as shown when no translation has it.
const std::map<std::string, std::string> kEnglish = {
    {"sonvel_button_close", "Close"},
    {"sonvel_about_title", "About"},
    {"sonvel_about_copyright", "Copyright \xC2\xA9 2009 Vantor. All rights reserved."},
    {"sonvel_ruq_branding", "Vantor MP3 Downloader"},
    {"sonvel_diskfull_title", "Out of Disk Space"},
    {"sonvel_diskfull_desc1", "The disk that your Download Folder is located on is full."},
    {"sonvel_diskfull_desc2",
     "There is not enough free space on the disk to complete additional downloads. You may solve this problem by:"},
    {"sonvel_diskfull_desc3_osx_gtk", "1. Removing files from your computer and/or emptying the Trash."},
    {"sonvel_diskfull_desc4_w32_gtk",
     "2. Changing the download path to a different drive. To do this select Preferences from the File menu in the "
     "main window."},
    {"sonvel_diskfull_desc5",
     "All of your remaining downloads have been automatically paused. You may resume them when more space is "
     "available by clicking Resume Downloads in the Vantor MP3 Downloader."},
};

struct TextCase {
    const char* name;
    const char* locale;
    std::map<std::string, std::string> translated;
};

// Keys without a translation fall back to English; markup characters in translations, in the
// labels that use markup above all, are shown as they stand.
const TextCase kCases[] = {
    {"EnglishDefaults", "en_US", {}},
    {"Translated",
     "fr_FR",
     {
         {"sonvel_about_title", "\xC3\x80 propos"},
         {"sonvel_about_copyright", "<i>Copyright</i> Vantor & Co"},
         {"sonvel_ruq_branding", "Vantor <MP3> & Co"},
         {"sonvel_diskfull_desc1", "Disque <plein> & satur\xC3\xA9."},
         {"sonvel_diskfull_desc2", "Plus de place & rien \xC3\xA0 faire <sauf>:"},
         {"sonvel_diskfull_desc5", "Tout est en pause <b>"},
     }},
};

// True when the label shows exactly its first `length` bytes in bold.
bool BoldPrefix(Gtk::Label& label, size_t length)
{
    PangoAttrIterator* it = pango_attr_list_get_iterator(pango_layout_get_attributes(label.get_layout()->gobj()));
    bool found = false;
    do {
        const PangoAttribute* weight = pango_attr_iterator_get(it, PANGO_ATTR_WEIGHT);
        if (weight && reinterpret_cast<const PangoAttrInt*>(weight)->value == PANGO_WEIGHT_BOLD)
            found = weight->start_index == 0 && weight->end_index == length;
    } while (!found && pango_attr_iterator_next(it));
    pango_attr_iterator_destroy(it);
    return found;
}

class DialogTexts : public testing::TestWithParam<TextCase>, protected DialogFixture {
protected:
    // What the dialogs must show for `key` in this case.
    std::string Shown(const std::string& key) const
    {
        const auto translated = GetParam().translated.find(key);
        return translated != GetParam().translated.end() ? translated->second : kEnglish.at(key);
    }
};

using ShowFunction = std::function<void(Gtk::Window& parent)>;

// Builds a controller, kept alive by the function that shows its dialog.
template <class Controller>
ShowFunction Build()
{
    const std::shared_ptr<Controller> controller = std::make_shared<Controller>();
    return [controller](Gtk::Window& parent) { controller->Show(parent); };
}

struct DialogKind {
    const char* root;
    const char* titleKey;
    ShowFunction (*build)();
};

const DialogKind kDialogs[] = {
    {"AboutDialog", "sonvel_about_title", &Build<AboutDialogController>},
    {"DiskFullDialog", "sonvel_diskfull_title", &Build<DiskFullDialogController>},
};

// What the window manager's close button sends.
void SendDelete(Gtk::Window& window)
{
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(window.get_window()->gobj()));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
}

void MarkDestroyed(GtkObject*, gpointer destroyed)
{
    *static_cast<bool*>(destroyed) = true;
}

class DialogLifecycle : public testing::TestWithParam<DialogKind>, protected DialogFixture {};

} // namespace

TEST_P(DialogTexts, AboutDialogShowsItsTextsVersionLocaleAndLogo)
{
    Translate(GetParam().locale, GetParam().translated);
    AboutDialogController about;

    EXPECT_EQ(Shown("sonvel_about_title"), Get<Gtk::Window>("AboutDialog", "AboutDialog")->get_title());
    EXPECT_EQ(Shown("sonvel_button_close"), Get<Gtk::Button>("AboutDialog", "CloseButton")->get_label());
    EXPECT_EQ(Shown("sonvel_about_copyright"), Get<Gtk::Label>("AboutDialog", "CopyrightLabel")->get_text());
    EXPECT_EQ(Shown("sonvel_ruq_branding"), Get<Gtk::Label>("AboutDialog", "NameLabel")->get_text());
    Gtk::Label* version = Get<Gtk::Label>("AboutDialog", "VersionLabel");
    EXPECT_EQ(std::string("1.0.9 ") + GetParam().locale, version->get_text());
    EXPECT_TRUE(BoldPrefix(*version, version->get_text().bytes()));

    const Glib::RefPtr<Gdk::Pixbuf> logo = Get<Gtk::Image>("AboutDialog", "LogoImage")->get_pixbuf();
    ASSERT_TRUE(logo);
    EXPECT_EQ(75, logo->get_width());
    EXPECT_EQ(75, logo->get_height());
}

TEST_P(DialogTexts, DiskFullDialogShowsTheProblemTheRemediesAndThePausedNote)
{
    Translate(GetParam().locale, GetParam().translated);
    DiskFullDialogController diskFull;

    EXPECT_EQ(Shown("sonvel_diskfull_title"), Get<Gtk::Window>("DiskFullDialog", "DiskFullDialog")->get_title());
    Gtk::Label* line1 = Get<Gtk::Label>("DiskFullDialog", "LabelLine1");
    EXPECT_EQ(Shown("sonvel_diskfull_desc1") + "\n\n" + Shown("sonvel_diskfull_desc2"), line1->get_text());
    EXPECT_TRUE(BoldPrefix(*line1, Shown("sonvel_diskfull_desc1").size()));
    EXPECT_EQ(Shown("sonvel_diskfull_desc3_osx_gtk") + "\n\n" + Shown("sonvel_diskfull_desc4_w32_gtk"),
              Get<Gtk::Label>("DiskFullDialog", "LabelLine2")->get_text());
    EXPECT_EQ(Shown("sonvel_diskfull_desc5"), Get<Gtk::Label>("DiskFullDialog", "LabelLine3")->get_text());

    Gtk::Button* close = Get<Gtk::Button>("DiskFullDialog", "CloseButton");
    EXPECT_EQ(Shown("sonvel_button_close"), close->get_label());
    EXPECT_TRUE(close->get_image());
}

INSTANTIATE_TEST_SUITE_P(Texts, DialogTexts, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<TextCase>& info) { return info.param.name; });

TEST_P(DialogLifecycle, ShownBesideTheMainWindowHiddenByCloseAndByTheWindowManagerAndReused)
{
    Translate("de_DE", {{GetParam().titleKey, "eins"}, {"sonvel_button_close", "Zu"}});
    const ShowFunction show = GetParam().build();
    Gtk::Window* dialog = Get<Gtk::Window>(GetParam().root, GetParam().root);
    Gtk::Button* close = Get<Gtk::Button>(GetParam().root, "CloseButton");
    ASSERT_TRUE(dialog && close);
    bool destroyed = false;
    const gulong destroyHandler = g_signal_connect(dialog->gobj(), "destroy", G_CALLBACK(MarkDestroyed), &destroyed);
    EXPECT_FALSE(dialog->get_visible());

    show(mainWindow);
    Pump();
    EXPECT_TRUE(dialog->get_visible());
    EXPECT_FALSE(dialog->get_modal());
    EXPECT_EQ(&mainWindow, dialog->get_transient_for());

    // The texts were taken once: another language later changes nothing, the dialog shown
    // again is the one built.
    Translate("de_DE", {{GetParam().titleKey, "zwei"}, {"sonvel_button_close", "Weg"}});

    close->clicked();
    Pump();
    EXPECT_FALSE(dialog->get_visible());
    EXPECT_TRUE(mainWindow.get_visible());

    show(mainWindow);
    show(mainWindow);
    Pump();
    EXPECT_TRUE(dialog->get_visible());
    EXPECT_EQ("eins", dialog->get_title());
    EXPECT_EQ("Zu", close->get_label());

    SendDelete(*dialog);
    Pump();
    ASSERT_FALSE(destroyed);
    g_signal_handler_disconnect(dialog->gobj(), destroyHandler);
    EXPECT_FALSE(dialog->get_visible());

    show(mainWindow);
    Pump();
    EXPECT_TRUE(dialog->get_visible());
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogLifecycle, testing::ValuesIn(kDialogs),
                         [](const testing::TestParamInfo<DialogKind>& info) { return info.param.root; });
