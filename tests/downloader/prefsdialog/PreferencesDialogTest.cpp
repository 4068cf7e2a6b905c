#include "downloader/ui/PreferencesDialogController.h"

#include "core/data/CryptoUtility.h"
#include "core/localization/TranslationService.h"
#include "downloader/app/PreferencesKeys.h"
#include "downloader/app/UtilityPaths.h"
#include "downloader/app/UtilityPreferences.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"
#include "tests/support/gui/MainLoop.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <gtkmm/alignment.h>
#include <gtkmm/button.h>
#include <gtkmm/combobox.h>
#include <gtkmm/entry.h>
#include <gtkmm/filechooserbutton.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/togglebutton.h>
#include <gtkmm/window.h>

#include <cstdlib>
#include <functional>
#include <memory>

using Vantor::Data::CryptoUtility;
using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesDialogController;
using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesKeys;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

const char* const kProxyFields[] = {"ProxyPortSpinButton", "ProxyAddressTextEntry", "ProxyUsernameTextEntry",
                                    "ProxyPasswordTextEntry"};

std::string Reveal(const std::string& stored)
{
    std::string cipher;
    CryptoUtility::Base64Decode(stored.data(), static_cast<int>(stored.size()), cipher);
    std::string plain;
    CryptoUtility::DecryptString(cipher, plain);
    return plain;
}

std::string Protect(const std::string& plain)
{
    std::string cipher;
    CryptoUtility::EncryptString(plain, cipher);
    std::string text;
    CryptoUtility::Base64Encode(cipher.data(), static_cast<int>(cipher.size()), text);
    return text;
}

// Each test runs in a process of its own: the process-wide preferences are loaded from the
// HOME of the test that asks for them first.
class PreferencesDialog : public VantorTest::MainLoopTest {
protected:
    PreferencesDialog()
        : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share")
    {
    }

    ~PreferencesDialog() override { saved.disconnect(); }

    // Writes "Settings.xml" as `fill` leaves it (no file for none), then builds the dialog.
    void Start(const std::function<void(Vantor::Settings::Preferences&)>& fill = nullptr)
    {
        if (fill) {
            Vantor::Settings::Preferences stored;
            fill(stored);
            VantorTest::OpenFile file(std::fopen(Utility::PreferencesFilename().c_str(), "w"));
            ASSERT_TRUE(file && stored.Save(file.get()));
        }
        boost::filesystem::create_directories(home.File("translations"));
        VantorTest::WriteTranslationFile(home.File("translations/de_DE.xml"), "de_DE",
                                         {{"sonvel_prefs_title", "Einstellungen"},
                                          {"sonvel_advprefs_enable_proxy_osx", "Keiner"}});
        Vantor::Localization::TranslationService::Initialize(home.File("translations"), "de_DE");
        controller.reset(new PreferencesDialogController());
        saved = Utility::PreferencesSavedSignal().connect([this] { ++savedCount; });
    }

    template <typename T>
    T* Get(const char* name)
    {
        T* widget = nullptr;
        Utility::GetGlade("PreferencesDialog")->get_widget(name, widget);
        EXPECT_TRUE(widget) << name;
        return widget;
    }

    Gtk::FileChooserButton* Chooser()
    {
        return dynamic_cast<Gtk::FileChooserButton*>(Get<Gtk::Alignment>("DownloadDirectoryAlignment")->get_child());
    }

    // The chooser takes up a folder in the background.
    bool ChooserShows(const std::string& folder)
    {
        return VantorTest::RunMainLoopUntil([&] { return Chooser()->get_current_folder() == folder; });
    }

    void Show()
    {
        Get<Gtk::Window>("PreferencesDialog")->show();
        Pump();
    }

    void Click(const char* button)
    {
        Get<Gtk::Button>(button)->clicked();
        Pump();
        EXPECT_FALSE(Get<Gtk::Window>("PreferencesDialog")->is_visible());
    }

    static void Pump()
    {
        while (Gtk::Main::events_pending())
            Gtk::Main::iteration();
    }

    Gtk::ComboBox* Types() { return Get<Gtk::ComboBox>("ProxyTypeComboBox"); }

    std::string ActiveTypeName()
    {
        gchar* name = nullptr;
        GtkTreeIter iter;
        if (gtk_combo_box_get_active_iter(Types()->gobj(), &iter))
            gtk_tree_model_get(gtk_combo_box_get_model(Types()->gobj()), &iter, 1, &name, -1);
        const std::string text = name ? name : "(none)";
        g_free(name);
        return text;
    }

    std::string Text(const char* entry) { return Get<Gtk::Entry>(entry)->get_text(); }

    // Types into the port field as a user would, replacing what it held.
    void TypePort(const std::string& text)
    {
        Gtk::SpinButton* port = Get<Gtk::SpinButton>("ProxyPortSpinButton");
        port->delete_text(0, -1);
        int position = 0;
        port->insert_text(text, static_cast<int>(text.size()), position);
    }

    std::vector<bool> ProxyFieldSensitivity()
    {
        std::vector<bool> sensitive;
        for (const char* field : kProxyFields)
            sensitive.push_back(Get<Gtk::Widget>(field)->is_sensitive());
        return sensitive;
    }

    // What "Settings.xml" now holds.
    Vantor::Settings::Preferences Saved()
    {
        Vantor::Settings::Preferences stored;
        VantorTest::OpenFile file(std::fopen(Utility::PreferencesFilename().c_str(), "rb"));
        EXPECT_TRUE(file && stored.Load(file.get()));
        return stored;
    }

    VantorTest::ScopedHome home;
    VantorTest::ScopedCurrentDirectory share;
    std::unique_ptr<PreferencesDialogController> controller;
    sigc::connection saved;
    int savedCount = 0;
};

const std::vector<bool> kSensitive(4, true);
const std::vector<bool> kInsensitive(4, false);

} // namespace

TEST_F(PreferencesDialog, FirstShowingOffersTheDefaultsAndOKStoresEveryValue)
{
    Start();
    Show();

    EXPECT_EQ("Einstellungen", std::string(Get<Gtk::Window>("PreferencesDialog")->get_title()));
    EXPECT_EQ("Port:", std::string(Get<Gtk::Label>("ProxyPortLabel")->get_text()));
    EXPECT_EQ("Keiner", ActiveTypeName());
    EXPECT_EQ(kInsensitive, ProxyFieldSensitivity());
    EXPECT_TRUE(Get<Gtk::ToggleButton>("AutoUpdateCheckBox")->get_active());
    EXPECT_EQ(80, Get<Gtk::SpinButton>("ProxyPortSpinButton")->get_value_as_int());
    EXPECT_EQ("", Text("ProxyAddressTextEntry") + Text("ProxyUsernameTextEntry") + Text("ProxyPasswordTextEntry"));
    EXPECT_FALSE(Get<Gtk::Entry>("ProxyPasswordTextEntry")->get_visibility());
    const std::string music = home.File("Vantor MP3");
    ASSERT_TRUE(ChooserShows(music));

    Click("OKButton");
    EXPECT_EQ(1, savedCount);
    const Vantor::Settings::Preferences stored = Saved();
    EXPECT_EQ(music, stored.GetString(PreferencesKeys::DownloadDirectory, ""));
    EXPECT_TRUE(stored.GetBool(PreferencesKeys::AutoCheckForUpdates, false));
    EXPECT_EQ(80, stored.GetInt(PreferencesKeys::ProxyServerPort, 0));
    EXPECT_EQ(-1, stored.GetInt(PreferencesKeys::ProxyServerType, 0));
    EXPECT_FALSE(stored.GetBool(PreferencesKeys::ProxyServerEnabled, true));
    EXPECT_EQ("", stored.GetString(PreferencesKeys::ProxyServerPassword, ""));
}

TEST_F(PreferencesDialog, ShowsTheSavedValuesAndSavesTheEditedOnesOnce)
{
    const std::string stored = home.File("Stored"), chosen = home.File("Chosen");
    boost::filesystem::create_directories(chosen);
    Start([&](Vantor::Settings::Preferences& preferences) {
        preferences.SetString(PreferencesKeys::DownloadDirectory, stored.c_str());
        preferences.SetBool(PreferencesKeys::AutoCheckForUpdates, false);
        preferences.SetInt(PreferencesKeys::ProxyServerType, 4);
        preferences.SetInt(PreferencesKeys::ProxyServerPort, 1080);
        preferences.SetString(PreferencesKeys::ProxyServerAddress, "socks.local");
        preferences.SetString(PreferencesKeys::ProxyServerUsername, "ann");
        preferences.SetString(PreferencesKeys::ProxyServerPassword, Protect("old secret").c_str());
    });
    Show();
    ASSERT_TRUE(ChooserShows(stored));
    EXPECT_FALSE(Get<Gtk::ToggleButton>("AutoUpdateCheckBox")->get_active());
    EXPECT_EQ("SOCKS4", ActiveTypeName());
    EXPECT_EQ(kSensitive, ProxyFieldSensitivity());
    EXPECT_EQ(1080, Get<Gtk::SpinButton>("ProxyPortSpinButton")->get_value_as_int());
    EXPECT_EQ("socks.local", Text("ProxyAddressTextEntry"));
    EXPECT_EQ("ann", Text("ProxyUsernameTextEntry"));
    EXPECT_EQ("old secret", Text("ProxyPasswordTextEntry"));

    Chooser()->set_current_folder(chosen);
    ASSERT_TRUE(ChooserShows(chosen));
    Get<Gtk::ToggleButton>("AutoUpdateCheckBox")->set_active(true);
    Types()->set_active(1);
    TypePort("3128");
    Get<Gtk::Entry>("ProxyAddressTextEntry")->set_text("proxy.local");
    Get<Gtk::Entry>("ProxyUsernameTextEntry")->set_text("bob");
    Get<Gtk::Entry>("ProxyPasswordTextEntry")->set_text("new:secret@home");
    Click("OKButton");

    EXPECT_EQ(1, savedCount);
    const Vantor::Settings::Preferences saved = Saved();
    EXPECT_EQ(chosen, saved.GetString(PreferencesKeys::DownloadDirectory, ""));
    EXPECT_TRUE(saved.GetBool(PreferencesKeys::AutoCheckForUpdates, false));
    EXPECT_EQ(0, saved.GetInt(PreferencesKeys::ProxyServerType, -1));
    EXPECT_TRUE(saved.GetBool(PreferencesKeys::ProxyServerEnabled, false));
    EXPECT_EQ(3128, saved.GetInt(PreferencesKeys::ProxyServerPort, 0));
    EXPECT_EQ("proxy.local", saved.GetString(PreferencesKeys::ProxyServerAddress, ""));
    EXPECT_EQ("bob", saved.GetString(PreferencesKeys::ProxyServerUsername, ""));
    EXPECT_EQ("new:secret@home", Reveal(saved.GetString(PreferencesKeys::ProxyServerPassword, "")));
}

TEST_F(PreferencesDialog, PasswordIsStoredEncryptedAndComesBackAsTyped)
{
    Start();
    // The long one fills more than one line of base64.
    const std::string passwords[] = {"", "us:er@host", "pässwörd €", std::string(60, 'x') + ":@ü"};
    for (const std::string& password : passwords) {
        SCOPED_TRACE(password);
        Show();
        Get<Gtk::Entry>("ProxyPasswordTextEntry")->set_text(password);
        Click("OKButton");

        const std::string stored = Saved().GetString(PreferencesKeys::ProxyServerPassword, "");
        if (password.empty()) {
            EXPECT_EQ("", stored);
        } else {
            EXPECT_EQ(std::string::npos, stored.find(password));
            EXPECT_EQ(password, Reveal(stored));
        }
        Show();
        EXPECT_EQ(password, Text("ProxyPasswordTextEntry"));
        Click("CancelButton");
    }
}

TEST_F(PreferencesDialog, CancelLeavesTheSettingsAsTheyWere)
{
    Start([](Vantor::Settings::Preferences& preferences) {
        preferences.SetInt(PreferencesKeys::ProxyServerType, 5);
        preferences.SetString(PreferencesKeys::ProxyServerAddress, "socks.local");
        // Not base64: shown as no password.
        preferences.SetString(PreferencesKeys::ProxyServerPassword, "not*base64");
    });
    const std::string before = VantorTest::ReadFile(Utility::PreferencesFilename());
    Show();
    EXPECT_EQ("", Text("ProxyPasswordTextEntry"));
    Types()->set_active(0);
    Get<Gtk::ToggleButton>("AutoUpdateCheckBox")->set_active(false);
    Get<Gtk::Entry>("ProxyAddressTextEntry")->set_text("elsewhere");
    Get<Gtk::Entry>("ProxyPasswordTextEntry")->set_text("secret");
    Click("CancelButton");

    EXPECT_EQ(0, savedCount);
    EXPECT_EQ(before, VantorTest::ReadFile(Utility::PreferencesFilename()));
    Show();
    EXPECT_EQ("SOCKS5", ActiveTypeName());
    EXPECT_TRUE(Get<Gtk::ToggleButton>("AutoUpdateCheckBox")->get_active());
    EXPECT_EQ("socks.local", Text("ProxyAddressTextEntry"));
    EXPECT_EQ("", Text("ProxyPasswordTextEntry"));
}

TEST_F(PreferencesDialog, ProxyFieldsAreSensitiveOnlyWithAProxyTypeAndKeepTheirContents)
{
    // A type the dialog does not offer counts as none.
    Start([](Vantor::Settings::Preferences& preferences) {
        preferences.SetInt(PreferencesKeys::ProxyServerType, 7);
        preferences.SetString(PreferencesKeys::ProxyServerAddress, "proxy.local");
    });
    Show();
    EXPECT_EQ("Keiner", ActiveTypeName());
    EXPECT_EQ(kInsensitive, ProxyFieldSensitivity());
    const char* const types[] = {"HTTP", "SOCKS4", "SOCKS5"};
    for (int row = 1; row <= 3; ++row) {
        Types()->set_active(row);
        EXPECT_EQ(types[row - 1], ActiveTypeName());
        EXPECT_EQ(kSensitive, ProxyFieldSensitivity()) << types[row - 1];
        Types()->set_active(0);
        EXPECT_EQ(kInsensitive, ProxyFieldSensitivity());
    }
    Click("OKButton");

    const Vantor::Settings::Preferences saved = Saved();
    EXPECT_EQ(-1, saved.GetInt(PreferencesKeys::ProxyServerType, 0));
    EXPECT_FALSE(saved.GetBool(PreferencesKeys::ProxyServerEnabled, true));
    EXPECT_EQ("proxy.local", saved.GetString(PreferencesKeys::ProxyServerAddress, ""));
}

// Nothing is checked: the fields are stored as typed, except that the port field takes no
// text that is not a port and then keeps the last one.
TEST_F(PreferencesDialog, PortTakesOnlyNumbersAndAnEmptyAddressIsStoredAsTyped)
{
    Start([](Vantor::Settings::Preferences& preferences) {
        preferences.SetInt(PreferencesKeys::ProxyServerType, 0);
        preferences.SetInt(PreferencesKeys::ProxyServerPort, 3128);
        preferences.SetString(PreferencesKeys::ProxyServerAddress, "proxy.local");
    });
    const struct {
        const char* typed;
        int stored;
    } ports[] = {{"http", 3128}, {"80a", 3128}, {"", 3128}, {"99999", 3128}, {"8080", 8080}};
    for (const auto& port : ports) {
        SCOPED_TRACE(port.typed);
        Show();
        Get<Gtk::Entry>("ProxyAddressTextEntry")->set_text("");
        TypePort(port.typed);
        Click("OKButton");

        const Vantor::Settings::Preferences saved = Saved();
        EXPECT_EQ(port.stored, saved.GetInt(PreferencesKeys::ProxyServerPort, 0));
        EXPECT_EQ(0, saved.GetInt(PreferencesKeys::ProxyServerType, -1));
        EXPECT_TRUE(saved.GetBool(PreferencesKeys::ProxyServerEnabled, false));
        EXPECT_EQ("", saved.GetString(PreferencesKeys::ProxyServerAddress, ""));
    }
}
