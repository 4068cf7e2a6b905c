#include "downloader/ui/PreferencesDialogController.h"

#include "core/data/CryptoUtility.h"
#include "core/localization/TranslationService.h"
#include "core/settings/PreferencesKeys.h"
#include "downloader/app/UtilityPaths.h"
#include "core/settings/UtilityPreferences.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"
#include "tests/support/gui/MainLoop.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <gtkmm.h>

#include <cstdlib>
#include <memory>

using Vantor::Data::CryptoUtility;
using Vantor::DigitalMedia::MusicClient::Downloader::PreferencesDialogController;
using Vantor::Settings::Preferences;
typedef Vantor::DigitalMedia::MusicClient::Downloader::PreferencesKeys Keys;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

std::string Reveal(const std::string& stored)
{
    std::string cipher, plain;
    CryptoUtility::Base64Decode(stored.data(), static_cast<int>(stored.size()), cipher);
    CryptoUtility::DecryptString(cipher, plain);
    return plain;
}

std::string Protect(const std::string& plain)
{
    std::string cipher, text;
    CryptoUtility::EncryptString(plain, cipher);
    CryptoUtility::Base64Encode(cipher.data(), static_cast<int>(cipher.size()), text);
    return text;
}

const std::vector<bool> kSensitive(4, true), kInsensitive(4, false);

// Each test runs in a process of its own: the process-wide preferences come from the HOME
// of the test, loaded on first use.
class PreferencesDialog : public VantorTest::MainLoopTest {
protected:
    PreferencesDialog() : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share") {}
    ~PreferencesDialog() override { saved.disconnect(); }

    // Writes "Settings.xml" as `fill` leaves it (no file without one), then builds the dialog.
    void Start(void (*fill)(Preferences&) = nullptr)
    {
        if (fill) {
            Preferences stored;
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

    Gtk::Entry* Entry(const char* name) { return Get<Gtk::Entry>(name); }
    Gtk::ComboBox* Types() { return Get<Gtk::ComboBox>("ProxyTypeComboBox"); }
    Gtk::SpinButton* Port() { return Get<Gtk::SpinButton>("ProxyPortSpinButton"); }
    Gtk::ToggleButton* AutoUpdate() { return Get<Gtk::ToggleButton>("AutoUpdateCheckBox"); }
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
        while (Gtk::Main::events_pending())
            Gtk::Main::iteration();
    }

    void Click(const char* button)
    {
        Get<Gtk::Button>(button)->clicked();
        EXPECT_FALSE(Get<Gtk::Window>("PreferencesDialog")->is_visible());
    }

    std::string ActiveTypeName()
    {
        gchar* name = nullptr;
        GtkTreeIter row;
        if (gtk_combo_box_get_active_iter(Types()->gobj(), &row))
            gtk_tree_model_get(gtk_combo_box_get_model(Types()->gobj()), &row, 1, &name, -1);
        const std::string text = name ? name : "(none)";
        g_free(name);
        return text;
    }

    // Typed as a user would, replacing what the field held.
    void TypePort(const std::string& text)
    {
        Port()->delete_text(0, -1);
        int position = 0;
        Port()->insert_text(text, static_cast<int>(text.size()), position);
    }

    std::vector<bool> ProxyFieldSensitivity()
    {
        std::vector<bool> sensitive;
        for (const char* field :
             {"ProxyPortSpinButton", "ProxyAddressTextEntry", "ProxyUsernameTextEntry", "ProxyPasswordTextEntry"})
            sensitive.push_back(Get<Gtk::Widget>(field)->is_sensitive());
        return sensitive;
    }

    // What "Settings.xml" now holds.
    Preferences Saved()
    {
        Preferences stored;
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

} // namespace

TEST_F(PreferencesDialog, WithoutSettingsOffersNoProxyAndTheFieldsFollowTheProxyType)
{
    Start();
    Show();
    EXPECT_EQ("Einstellungen", std::string(Get<Gtk::Window>("PreferencesDialog")->get_title()));
    EXPECT_EQ("Port:", std::string(Get<Gtk::Label>("ProxyPortLabel")->get_text()));
    EXPECT_TRUE(AutoUpdate()->get_active());
    EXPECT_EQ(80, Port()->get_value_as_int());
    EXPECT_EQ("Keiner", ActiveTypeName());
    EXPECT_EQ(kInsensitive, ProxyFieldSensitivity());
    const std::string music = home.File("Vantor MP3");
    ASSERT_TRUE(ChooserShows(music));

    Entry("ProxyAddressTextEntry")->set_text("proxy.local");
    const char* const types[] = {"HTTP", "SOCKS4", "SOCKS5"};
    for (int row = 1; row <= 3; ++row) {
        Types()->set_active(row);
        EXPECT_EQ(types[row - 1], ActiveTypeName());
        EXPECT_EQ(kSensitive, ProxyFieldSensitivity()) << types[row - 1];
        Types()->set_active(0);
        EXPECT_EQ(kInsensitive, ProxyFieldSensitivity());
    }
    EXPECT_EQ("proxy.local", std::string(Entry("ProxyAddressTextEntry")->get_text()));

    // Every value is stored, the fields of a proxy that is off too.
    Click("OKButton");
    const Preferences stored = Saved();
    EXPECT_EQ(music, stored.GetString(Keys::DownloadDirectory, ""));
    EXPECT_TRUE(stored.GetBool(Keys::AutoCheckForUpdates, false));
    EXPECT_EQ(80, stored.GetInt(Keys::ProxyServerPort, 0));
    EXPECT_EQ("proxy.local", stored.GetString(Keys::ProxyServerAddress, ""));
    EXPECT_EQ(-1, stored.GetInt(Keys::ProxyServerType, 0));
    EXPECT_FALSE(stored.GetBool(Keys::ProxyServerEnabled, true));
}

TEST_F(PreferencesDialog, ShowsTheSavedValuesAndSavesTheEditedOnesOnce)
{
    Start([](Preferences& stored) {
        stored.SetString(Keys::DownloadDirectory, (std::string(std::getenv("HOME")) + "/Stored").c_str());
        stored.SetBool(Keys::AutoCheckForUpdates, false);
        stored.SetInt(Keys::ProxyServerType, 4);
        stored.SetInt(Keys::ProxyServerPort, 1080);
        stored.SetString(Keys::ProxyServerAddress, "socks.local");
        stored.SetString(Keys::ProxyServerUsername, "ann");
        stored.SetString(Keys::ProxyServerPassword, Protect("old secret").c_str());
    });
    Show();
    ASSERT_TRUE(ChooserShows(home.File("Stored")));
    EXPECT_FALSE(AutoUpdate()->get_active());
    EXPECT_EQ("SOCKS4", ActiveTypeName());
    EXPECT_EQ(kSensitive, ProxyFieldSensitivity());
    EXPECT_EQ(1080, Port()->get_value_as_int());
    EXPECT_EQ("socks.local ann old secret", Entry("ProxyAddressTextEntry")->get_text() + " "
                                                + Entry("ProxyUsernameTextEntry")->get_text() + " "
                                                + Entry("ProxyPasswordTextEntry")->get_text());

    const std::string chosen = home.File("Chosen");
    boost::filesystem::create_directories(chosen);
    Chooser()->set_current_folder(chosen);
    ASSERT_TRUE(ChooserShows(chosen));
    AutoUpdate()->set_active(true);
    Types()->set_active(1);
    TypePort("3128");
    Entry("ProxyAddressTextEntry")->set_text("proxy.local");
    Entry("ProxyUsernameTextEntry")->set_text("bob");
    Entry("ProxyPasswordTextEntry")->set_text("new secret");
    Click("OKButton");

    EXPECT_EQ(1, savedCount);
    const Preferences stored = Saved();
    EXPECT_EQ(chosen, stored.GetString(Keys::DownloadDirectory, ""));
    EXPECT_TRUE(stored.GetBool(Keys::AutoCheckForUpdates, false));
    EXPECT_EQ(0, stored.GetInt(Keys::ProxyServerType, -1));
    EXPECT_TRUE(stored.GetBool(Keys::ProxyServerEnabled, false));
    EXPECT_EQ(3128, stored.GetInt(Keys::ProxyServerPort, 0));
    EXPECT_EQ("proxy.local", stored.GetString(Keys::ProxyServerAddress, ""));
    EXPECT_EQ("bob", stored.GetString(Keys::ProxyServerUsername, ""));
    EXPECT_EQ("new secret", Reveal(stored.GetString(Keys::ProxyServerPassword, "")));
}

TEST_F(PreferencesDialog, PasswordIsStoredEncryptedAndComesBackAsTyped)
{
    Start();
    // The long one takes more than one line of base64.
    for (const std::string& password : std::vector<std::string>{"", "us:er@host", "pässwörd €", std::string(60, 'x') + ":@ü"}) {
        SCOPED_TRACE(password);
        Show();
        Entry("ProxyPasswordTextEntry")->set_text(password);
        Click("OKButton");

        const std::string stored = Saved().GetString(Keys::ProxyServerPassword, "");
        EXPECT_EQ(password.empty(), stored.empty());
        if (!password.empty()) {
            EXPECT_EQ(std::string::npos, stored.find(password));
            EXPECT_EQ(password, Reveal(stored));
        }
        Show();
        EXPECT_EQ(password, std::string(Entry("ProxyPasswordTextEntry")->get_text()));
        Click("CancelButton");
    }
}

TEST_F(PreferencesDialog, CancelLeavesTheSettingsAsTheyWere)
{
    Start([](Preferences& stored) {
        stored.SetInt(Keys::ProxyServerType, 5);
        stored.SetString(Keys::ProxyServerAddress, "socks.local");
        stored.SetString(Keys::ProxyServerPassword, "not*base64"); // shown as no password
    });
    const std::string before = VantorTest::ReadFile(Utility::PreferencesFilename());
    for (int showing = 0; showing < 2; ++showing) {
        Show();
        EXPECT_EQ("SOCKS5", ActiveTypeName());
        EXPECT_TRUE(AutoUpdate()->get_active());
        EXPECT_EQ("socks.local", std::string(Entry("ProxyAddressTextEntry")->get_text()));
        EXPECT_EQ("", std::string(Entry("ProxyPasswordTextEntry")->get_text()));
        Types()->set_active(0);
        AutoUpdate()->set_active(false);
        Entry("ProxyAddressTextEntry")->set_text("elsewhere");
        Entry("ProxyPasswordTextEntry")->set_text("secret");
        Click("CancelButton");
    }
    EXPECT_EQ(0, savedCount);
    EXPECT_EQ(before, VantorTest::ReadFile(Utility::PreferencesFilename()));
}

// Nothing is checked: the fields are stored as typed, except that the port field takes no
// text that is not a port and keeps the last one instead.
TEST_F(PreferencesDialog, PortTakesOnlyPortNumbersAndAnEmptyAddressIsStoredAsTyped)
{
    Start([](Preferences& stored) {
        stored.SetInt(Keys::ProxyServerType, 0);
        stored.SetInt(Keys::ProxyServerPort, 3128);
        stored.SetString(Keys::ProxyServerAddress, "proxy.local");
    });
    const struct {
        const char* typed;
        int stored;
    } ports[] = {{"http", 3128}, {"80a", 3128}, {"", 3128}, {"99999", 3128}, {"8080", 8080}};
    for (const auto& port : ports) {
        SCOPED_TRACE(port.typed);
        Show();
        Entry("ProxyAddressTextEntry")->set_text("");
        TypePort(port.typed);
        Click("OKButton");

        const Preferences stored = Saved();
        EXPECT_EQ(port.stored, stored.GetInt(Keys::ProxyServerPort, 0));
        EXPECT_EQ(0, stored.GetInt(Keys::ProxyServerType, -1));
        EXPECT_TRUE(stored.GetBool(Keys::ProxyServerEnabled, false));
        EXPECT_EQ("", stored.GetString(Keys::ProxyServerAddress, ""));
    }
}
