#include "downloader/app/UtilityPaths.h"

#include "tests/support/ScopedCurrentDirectory.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/bin.h>
#include <gtkmm/window.h>

#include <cstdlib>
#include <set>

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

std::string SourceShare()
{
    return std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share";
}

struct NamedWidget {
    const char* root;
    const char* name;
    GType (*type)();
    bool labelChild; // the program sets the text of the widget's child label
};

// Every widget the program fetches by name, under the root it fetches it from, with the
// type it uses it as.
const NamedWidget kWidgets[] = {
    {"MainWindow", "MainWindow", gtk_window_get_type, false},
    {"MainWindow", "FileMenu", gtk_menu_item_get_type, true},
    {"MainWindow", "FileMenuOpenVLX", gtk_menu_item_get_type, true},
    {"MainWindow", "FileMenuPreferences", gtk_menu_item_get_type, true},
    {"MainWindow", "FileMenuQuit", gtk_menu_item_get_type, true},
    {"MainWindow", "HelpMenu", gtk_menu_item_get_type, true},
    {"MainWindow", "HelpMenuShowHelp", gtk_menu_item_get_type, true},
    {"MainWindow", "HelpMenuEnableDownloader", gtk_menu_item_get_type, true},
    {"MainWindow", "HelpMenuCheckForUpdates", gtk_menu_item_get_type, true},
    {"MainWindow", "HelpMenuContactCS", gtk_menu_item_get_type, true},
    {"MainWindow", "HelpMenuAbout", gtk_menu_item_get_type, true},
    {"MainWindow", "PauseButton", gtk_tool_button_get_type, false},
    {"MainWindow", "ResumeButton", gtk_tool_button_get_type, false},
    {"MainWindow", "ClearButton", gtk_tool_button_get_type, false},
    {"MainWindow", "ShowDownloadsButton", gtk_tool_button_get_type, false},
    {"MainWindow", "AlbumArtImage", gtk_image_get_type, false},
    {"MainWindow", "DownloadStatusLabel", gtk_label_get_type, false},
    {"MainWindow", "ShopButton", gtk_button_get_type, false},
    {"MainWindow", "ShopButtonLabel", gtk_label_get_type, false},
    {"MainWindow", "ShopButtonImage", gtk_image_get_type, false},
    {"MainWindow", "DownloadTreeView", gtk_tree_view_get_type, false},

    {"AboutDialog", "AboutDialog", gtk_dialog_get_type, false},
    {"AboutDialog", "CloseButton", gtk_button_get_type, false},
    {"AboutDialog", "VersionLabel", gtk_label_get_type, false},
    {"AboutDialog", "CopyrightLabel", gtk_label_get_type, false},
    {"AboutDialog", "NameLabel", gtk_label_get_type, false},
    {"AboutDialog", "LogoImage", gtk_image_get_type, false},

    {"DiskFullDialog", "DiskFullDialog", gtk_window_get_type, false},
    {"DiskFullDialog", "CloseButton", gtk_button_get_type, false},
    {"DiskFullDialog", "LabelLine1", gtk_label_get_type, false},
    {"DiskFullDialog", "LabelLine2", gtk_label_get_type, false},
    {"DiskFullDialog", "LabelLine3", gtk_label_get_type, false},

    {"PreferencesDialog", "PreferencesDialog", gtk_window_get_type, false},
    {"PreferencesDialog", "GeneralLabel", gtk_label_get_type, false},
    {"PreferencesDialog", "DownloadDirectoryAlignment", gtk_alignment_get_type, false},
    {"PreferencesDialog", "DownloadDirectoryLabel", gtk_label_get_type, false},
    {"PreferencesDialog", "AutoUpdateAlignment", gtk_alignment_get_type, false},
    {"PreferencesDialog", "AutoUpdateCheckBox", gtk_check_button_get_type, false},
    {"PreferencesDialog", "NetworkLabel", gtk_label_get_type, false},
    {"PreferencesDialog", "ProxyAlignment", gtk_alignment_get_type, false},
    {"PreferencesDialog", "ProxyFrameLabel", gtk_widget_get_type, false},
    {"PreferencesDialog", "ProxyTypeLabel", gtk_label_get_type, false},
    {"PreferencesDialog", "ProxyTypeComboBox", gtk_combo_box_get_type, false},
    {"PreferencesDialog", "ProxyPortLabel", gtk_label_get_type, false},
    {"PreferencesDialog", "ProxyPortSpinButton", gtk_spin_button_get_type, false},
    {"PreferencesDialog", "ProxyAddressLabel", gtk_label_get_type, false},
    {"PreferencesDialog", "ProxyAddressTextEntry", gtk_entry_get_type, false},
    {"PreferencesDialog", "ProxyUsernameLabel", gtk_label_get_type, false},
    {"PreferencesDialog", "ProxyUsernameTextEntry", gtk_entry_get_type, false},
    {"PreferencesDialog", "ProxyPasswordLabel", gtk_label_get_type, false},
    {"PreferencesDialog", "ProxyPasswordTextEntry", gtk_entry_get_type, false},
    {"PreferencesDialog", "OKButton", gtk_button_get_type, false},
    {"PreferencesDialog", "CancelButton", gtk_button_get_type, false},

    {"CompletedDialog", "CompletedDialog", gtk_window_get_type, false},
    {"CompletedDialog", "CloseButton", gtk_button_get_type, false},
    {"CompletedDialog", "ShowDownloadDirectoryButton", gtk_button_get_type, false},
    {"CompletedDialog", "ReminderCheckBox", gtk_check_button_get_type, false},
    {"CompletedDialog", "LabelLine1", gtk_label_get_type, false},
    {"CompletedDialog", "LabelLine2", gtk_label_get_type, false},

    {"DownloadFailedDialog", "DownloadFailedDialog", gtk_window_get_type, false},
    {"DownloadFailedDialog", "RetryDownloadButton", gtk_button_get_type, false},
    {"DownloadFailedDialog", "GetHelpButton", gtk_button_get_type, false},
    {"DownloadFailedDialog", "CloseButton", gtk_button_get_type, false},
    {"DownloadFailedDialog", "LabelLine1", gtk_label_get_type, false},
    {"DownloadFailedDialog", "LabelLine2", gtk_label_get_type, false},
};

const char* const kImages[] = {"vantormp3_icon.png", "vantormp3_logo.png", "toolbar_pause.png",
                               "toolbar_resume.png", "toolbar_clear.png"};

} // namespace

TEST(MainGlade, EveryRootBuildsHiddenAndHoldsEveryNamedWidgetWithItsType)
{
    VantorTest::ScopedCurrentDirectory share(SourceShare());
    std::set<std::string> roots;
    for (const NamedWidget& entry : kWidgets) {
        SCOPED_TRACE(std::string(entry.root) + "/" + entry.name);
        const Glib::RefPtr<Gnome::Glade::Xml> tree = Utility::GetGlade(entry.root);
        ASSERT_TRUE(tree);
        if (roots.insert(entry.root).second) {
            // The program shows each window itself, when it is wanted.
            Gtk::Window* window = nullptr;
            tree->get_widget(entry.root, window);
            ASSERT_TRUE(window);
            EXPECT_FALSE(window->get_visible());
        }

        Gtk::Widget* widget = tree->get_widget(entry.name);
        ASSERT_TRUE(widget);
        EXPECT_TRUE(g_type_is_a(G_OBJECT_TYPE(widget->gobj()), entry.type()))
            << "is a " << G_OBJECT_TYPE_NAME(widget->gobj()) << ", wanted " << g_type_name(entry.type());
        if (entry.labelChild) {
            Gtk::Widget* child = static_cast<Gtk::Bin*>(widget)->get_child();
            ASSERT_TRUE(child);
            EXPECT_TRUE(GTK_IS_LABEL(child->gobj()));
        }
    }
    EXPECT_EQ(6u, roots.size());
}

TEST(MainGlade, EveryImageTheProgramAsksForLoads)
{
    for (const char* name : kImages) {
        SCOPED_TRACE(name);
        Glib::RefPtr<Gdk::Pixbuf> image;
        EXPECT_NO_THROW(image = Gdk::Pixbuf::create_from_file(SourceShare() + "/pixmaps/" + name));
        EXPECT_TRUE(image && image->get_width() > 0);
    }
}
