// Where the program's windows come from, and its dialogs: disk full and preferences.
#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/ui/DiskFullDialogController.h"
#include "downloader/ui/PreferencesDialogController.h"
#include "tests/support/gui/MainLoop.h"

#include <boost/filesystem.hpp>
#include <gtkmm.h>

using namespace VantorTest;
using namespace Vantor::DigitalMedia::MusicClient::Downloader;
namespace fs = boost::filesystem;

// Share folders are searched in turn: current, "../share/vantormp3/", installed; finds are kept.
TEST(SharePaths, GladeTreesAndImagesComeFromTheFirstFolderHoldingThem)
{
    if (fs::exists("/usr/share/vantormp3") || fs::exists("/usr/local/share/vantormp3"))
        GTEST_SKIP() << "an installed copy of the program's data would be found";
    TempDirectory root;
    const std::string current = root.File("bin/"), beside = root.File("share/vantormp3/");
    for (const std::string& folder : {current + "glade", beside + "glade"})
        fs::create_directories(folder);
    ScopedCurrentDirectory program(current);
    WriteFile(current + "glade/main.glade", "<glade-interface><widget class=\"GtkWindow\" id=\"Near\"/></glade-interface>");
    WriteFile(beside + "glade/main.glade", "<glade-interface><widget class=\"GtkWindow\" id=\"Near\"><property "
                                           "name=\"title\">beside</property></widget><widget class=\"GtkWindow\" "
                                           "id=\"Far\"/></glade-interface>");
    const auto window = [](const char* root) { return ShareFolder::Get<Gtk::Window>(root, root); };
    EXPECT_TRUE(window("Near")->get_title().empty() && window("Far")); // a file lacking a root leaves it to the next
    fs::remove(current + "glade/main.glade");
    EXPECT_EQ("", window("Near")->get_title());
    EXPECT_FALSE(Utility::GetGlade("Missing"));
    // An image that can't be loaded is reported and stands in as a blank, which is not kept.
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, Utility::GetPixbuf("icon.png")->get_width());
    EXPECT_EQ("ERROR: failed to load icon.png", testing::internal::GetCapturedStderr());
    fs::create_directories(beside + "pixmaps");
    Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, 3, 2)->save(beside + "pixmaps/icon.png", "png");
    EXPECT_EQ(3, Utility::GetPixbuf("icon.png")->get_width());
    EXPECT_EQ(Utility::GetPixbuf("icon.png")->gobj(), Utility::GetPixbuf("icon.png")->gobj());
}

namespace {

const char kRoot[] = "PreferencesDialog";

class DialogTest : public MainLoopTest, protected ShareFolder {
protected:
    DialogTest()
    {
        Translate("de_DE", {{"sonvel_advprefs_enable_proxy_osx", "Keiner"}});
        Utility::PreferencesSavedSignal().connect([this] { ++saves; });
    }

    // Clicks `button`, which must hide the dialog, then shows it again expecting `expected`.
    void Click(const char* button, const std::string& expected)
    {
        Get<Gtk::Button>(kRoot, button)->clicked();
        EXPECT_FALSE(dialog->is_visible());
        dialog->show();
        Shows(expected);
    }

    // Waits for "<folder>|<update check>|<proxy type> <+/- per editable proxy field>|<port>|<address>|
    // <user>|<password>" (the folder chooser takes its folder up in the background).
    void Shows(const std::string& expected)
    {
        const auto shown = [this] {
            std::string type = "(none)";
            if (const Gtk::TreeModel::iterator row = types->get_active())
                row->get_value(1, type);
            type += " ";
            for (Gtk::Widget* field : std::initializer_list<Gtk::Widget*>{port, address, user, password})
                type += field->is_sensitive() ? "+" : "-";
            const auto folder = static_cast<Gtk::FileChooserButton*>(Get<Gtk::Alignment>(kRoot, "DownloadDirectoryAlignment")->get_child());
            return folder->get_current_folder() + "|" + std::to_string(update->get_active()) + "|" + type + "|" +
                   port->get_text() + "|" + address->get_text() + "|" + user->get_text() + "|" + password->get_text();
        };
        RunMainLoopUntil([&] { return shown() == expected; });
        EXPECT_EQ(expected, shown());
    }

    ScopedHome home;
    int saves = 0;
    Gtk::Window* dialog = Get<Gtk::Window>(kRoot, kRoot);
    Gtk::ToggleButton* update = Get<Gtk::ToggleButton>(kRoot, "AutoUpdateCheckBox");
    Gtk::ComboBox* types = Get<Gtk::ComboBox>(kRoot, "ProxyTypeComboBox");
    Gtk::SpinButton* port = Get<Gtk::SpinButton>(kRoot, "ProxyPortSpinButton");
    Gtk::Entry *address = Get<Gtk::Entry>(kRoot, "ProxyAddressTextEntry"), *user = Get<Gtk::Entry>(kRoot, "ProxyUsernameTextEntry"),
               *password = Get<Gtk::Entry>(kRoot, "ProxyPasswordTextEntry");
};

} // namespace

// The disk-full dialog: not modal, beside the main window, shown again as often as asked.
// No proxy without settings. OK stores every field (of a proxy that is off too), the password
// unreadable in the file, the port only when it is one. Each showing reads what is stored; Cancel
// stores nothing; a stored password that is not base64 shows as none, a type or port that no
// proxy can have as none and 80.
TEST_F(DialogTest, DiskFullShowsBesideTheMainWindowAndPreferencesStoreWhatIsTypedOnOK)
{
    DiskFullDialogController diskFull;
    Gtk::Window mainWindow;
    mainWindow.show();
    Gtk::Window* diskFullDialog = Get<Gtk::Window>("DiskFullDialog", "DiskFullDialog");
    for (int time = 0; time < 2; ++time) {
        diskFull.Show(mainWindow);
        RunPendingTurns();
        EXPECT_TRUE(diskFullDialog->get_visible() && !diskFullDialog->get_modal() && diskFullDialog->get_transient_for() == &mainWindow);
        Get<Gtk::Button>("DiskFullDialog", "CloseButton")->clicked();
        RunPendingTurns();
        EXPECT_FALSE(diskFullDialog->get_visible());
    }

    PreferencesDialogController controller;
    EXPECT_FALSE(dialog->is_visible());
    dialog->show();
    const std::string music = home.File("Vantor MP3");
    Shows(music + "|1|Keiner ----|80|||");
    for (const char* type : {"HTTP ++++", "SOCKS4 ++++", "SOCKS5 ++++", "Keiner ----"}) {
        types->set_active((types->get_active_row_number() + 1) % 4);
        Shows(music + "|1|" + type + "|80|||");
    }
    address->set_text("proxy.local");
    Click("OKButton", music + "|1|Keiner ----|80|proxy.local||");
    const auto stored = Utility::Preferences();
    EXPECT_FALSE(stored->GetBool(PreferencesKeys::ProxyServerEnabled, true));
    types->set_active(1);
    const struct {
        const char* port;
        std::string password; // the long one takes more than one line of base64
        const char* stored;
    } typed[] = {{"http", "pässwörd €:@", "80"}, {"80a", "", "80"}, {"", std::string(60, 'x'), "80"}, {"99999", "", "80"},
                 {"8080", "", "8080"}};
    for (const auto& entry : typed) {
        port->set_text(entry.port);
        password->set_text(entry.password);
        Click("OKButton", music + "|1|HTTP ++++|" + entry.stored + "|proxy.local||" + entry.password);
        const std::string protectedPassword = stored->GetString(PreferencesKeys::ProxyServerPassword, "");
        EXPECT_EQ(entry.password.empty(), protectedPassword.empty());
        EXPECT_TRUE(entry.password.empty() || protectedPassword.find(entry.password) == std::string::npos);
    }
    EXPECT_TRUE(stored->GetBool(PreferencesKeys::ProxyServerEnabled, false));
    EXPECT_EQ(6, saves);

    stored->SetString(PreferencesKeys::DownloadDirectory, home.File("Stored").c_str());
    stored->SetBool(PreferencesKeys::AutoCheckForUpdates, false);
    stored->SetInt(PreferencesKeys::ProxyServerType, 4);
    stored->SetInt(PreferencesKeys::ProxyServerPort, 1080);
    stored->SetString(PreferencesKeys::ProxyServerAddress, "socks.local");
    stored->SetString(PreferencesKeys::ProxyServerUsername, "ann");
    stored->SetString(PreferencesKeys::ProxyServerPassword, "6qbWcWQp3ppYSGp89YKwIw=="); // "old secret"
    const std::string shown = home.File("Stored") + "|0|SOCKS4 ++++|1080|socks.local|ann|";
    Click("CancelButton", shown + "old secret");
    types->set_active(0);
    password->set_text("new secret");
    Click("CancelButton", shown + "old secret");
    stored->SetString(PreferencesKeys::ProxyServerPassword, "not*base64");
    Click("CancelButton", shown);
    Click("OKButton", shown);
    EXPECT_EQ("", stored->GetString(PreferencesKeys::ProxyServerPassword, "?"));
    EXPECT_EQ(7, saves);
    stored->SetInt(PreferencesKeys::ProxyServerType, 8);
    stored->SetInt(PreferencesKeys::ProxyServerPort, 70000);
    Click("CancelButton", home.File("Stored") + "|0|Keiner ----|80|socks.local|ann|");
}
