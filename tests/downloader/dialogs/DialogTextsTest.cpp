#include "downloader/ui/AboutDialogController.h"
#include "downloader/ui/DiskFullDialogController.h"
#include "tests/downloader/dialogs/DialogFixture.h"

#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <pango/pango.h>

using Vantor::DigitalMedia::MusicClient::Downloader::AboutDialogController;
using Vantor::DigitalMedia::MusicClient::Downloader::DiskFullDialogController;

namespace {

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

// Names the case in test lists.
void PrintTo(const TextCase& textCase, std::ostream* out)
{
    *out << textCase.name;
}

// Markup characters in translations, in the labels that use markup above all, are shown as
// they stand.
const TextCase kCases[] = {
    {"EnglishDefaults", "en_US", {}},
    {"Translated",
     "fr_FR",
     {
         {"sonvel_button_close", "Fermer"},
         {"sonvel_about_title", "\xC3\x80 propos"},
         {"sonvel_about_copyright", "<i>Copyright</i> Vantor & Co"},
         {"sonvel_ruq_branding", "Vantor <MP3> & Co"},
         {"sonvel_diskfull_title", "Disque plein"},
         {"sonvel_diskfull_desc1", "Disque <plein> & satur\xC3\xA9."},
         {"sonvel_diskfull_desc2", "Plus de place & rien \xC3\xA0 faire <sauf>:"},
         {"sonvel_diskfull_desc3_osx_gtk", "1. <Effacer>"},
         {"sonvel_diskfull_desc4_w32_gtk", "2. Changer & d\xC3\xA9placer"},
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

// The shipped German file has every key of both dialogs (a misspelt key would leave English).
TEST(ShippedTranslation, GermanCoversEveryDialogText)
{
    DialogFixture fixture;
    Vantor::DigitalMedia::MusicClient::Downloader::Utility::InitializeTranslationService();
    Vantor::Localization::TranslationService* service = Vantor::Localization::TranslationService::Instance();
    for (const auto& text : kEnglish) {
        if (text.first != "sonvel_ruq_branding") { // the product's name stays as it is
            EXPECT_NE(text.second, service->Translate(text.first, text.second)) << text.first;
        }
    }
}
