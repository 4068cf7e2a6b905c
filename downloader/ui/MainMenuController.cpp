#include "downloader/ui/MainMenuController.h"

#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/net/StoreWebHost.h"
#include "downloader/app/UtilityBrowser.h"
#include "downloader/app/UtilityDialogs.h"
#include "downloader/app/UtilityPaths.h"
#include "downloader/app/UtilityQueue.h"
#include "downloader/app/UtilityQuitConfirmation.h"
#include "downloader/ui/MainWindowController.h"
#include "downloader/ui/PreferencesDialogController.h"

#include <gtkmm/filechooserdialog.h>
#include <gtkmm/label.h>
#include <gtkmm/menuitem.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/stock.h>

#include <string>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const char kMainWindow[] = "MainWindow";
const char kPreferencesDialog[] = "PreferencesDialog";
const int kPreferencesMinWidth = 400;
const int kPreferencesMinHeight = 100;

const char kQueueFileFilterName[] = "Vantor MP3 queue files (*.vlx)";

// The program speaks one language, so there is one help page. The folder beside the
// program's own comes first, so a build run from its checkout finds the checkout's page.
const char kHelpPage[] = "help_de_DE.html";
const char* const kHelpFolders[] = {"../share/doc/vantormp3/", "/usr/share/doc/vantormp3/",
                                    "/usr/local/share/doc/vantormp3/"};

// The store takes customers' questions over a secure connection only.
std::string CustomerServiceUrl()
{
    const std::string host = Vantor::Net::kStoreWebHost;
    return "https" + host.substr(host.find("://")) + "/gp/help/contact-us/music-downloads.html";
}

} // namespace

MainMenuController::MainMenuController(boost::shared_ptr<DownloadModel> model, QueueFileWorker& queueFiles)
    : model(model), queueFiles(queueFiles)
{
    Initialize();
}

void MainMenuController::Initialize()
{
    const struct {
        const char* name;
        const char* key;
        const char* english;
        // None for the items that only open their menu, and for "Check for updates".
        void (MainMenuController::*handler)();
    } items[] = {
        {"FileMenu", "sonvel_menu_file", "File", nullptr},
        {"FileMenuOpenVLX", "sonvel_menu_file_open_vlx", "Open VLX File...", &MainMenuController::OnFileOpenVLX},
        {"FileMenuPreferences", "sonvel_menu_file_prefs", "Preferences...", &MainMenuController::OnFilePreferences},
        {"FileMenuQuit", "sonvel_menu_file_exit", "Exit", &MainMenuController::OnFileQuit},
        {"HelpMenu", "sonvel_menu_help", "Help", nullptr},
        {"HelpMenuShowHelp", "sonvel_menu_help_show", "Show Help", &MainMenuController::OnHelpShowHelp},
        {"HelpMenuEnableDownloader", "sonvel_menu_help_enable_in_browser", "Enable Downloader in Browser",
         &MainMenuController::OnHelpEnableDownloader},
        {"HelpMenuCheckForUpdates", "sonvel_menu_help_check_update", "Check for updates", nullptr},
        {"HelpMenuContactCS", "sonvel_menu_help_contact_cs", "Contact Customer Service",
         &MainMenuController::OnHelpContactCS},
        {"HelpMenuAbout", "sonvel_menu_help_about", "About...", &MainMenuController::OnHelpAbout},
    };

    const Glib::RefPtr<Gnome::Glade::Xml> glade = Utility::GetGlade(kMainWindow);
    for (const auto& item : items) {
        Gtk::MenuItem* menuItem = nullptr;
        glade->get_widget(item.name, menuItem);
        // A glade file without the item leaves the menu without it rather than the program
        // without a menu.
        if (!menuItem)
            continue;
        if (Gtk::Label* label = dynamic_cast<Gtk::Label*>(menuItem->get_child()))
            label->set_text(Translate(item.key, item.english));
        if (item.handler)
            menuItem->signal_activate().connect(sigc::mem_fun(*this, item.handler));
    }
}

void MainMenuController::OnFileOpenVLX()
{
    // Declared first so that the chooser, which holds it, goes first.
    Gtk::FileFilter filter;
    filter.set_name(kQueueFileFilterName);
    filter.add_custom(Gtk::FILE_FILTER_FILENAME, sigc::ptr_fun(&IsFileVLX));

    Gtk::FileChooserDialog chooser(Translate("sonvel_dlg_select_vlx_file", "Please select an VLX file to load"),
                                   Gtk::FILE_CHOOSER_ACTION_OPEN);
    chooser.add_button(Gtk::Stock::CANCEL, Gtk::RESPONSE_CANCEL);
    chooser.add_button(Gtk::Stock::OPEN, Gtk::RESPONSE_OK);
    chooser.add_filter(filter);
    if (chooser.run() == Gtk::RESPONSE_OK)
        queueFiles.Import(chooser.get_filename(), GetMainWindow());
}

void MainMenuController::OnFilePreferences()
{
    // Built on first use and kept, so the dialog keeps its controller between showings.
    static PreferencesDialogController preferences;

    Gtk::Window* dialog = nullptr;
    Utility::GetGlade(kPreferencesDialog)->get_widget(kPreferencesDialog, dialog);
    Gdk::Geometry minimum = {};
    minimum.min_width = kPreferencesMinWidth;
    minimum.min_height = kPreferencesMinHeight;
    dialog->set_geometry_hints(*dialog, minimum, Gdk::HINT_MIN_SIZE);
    Utility::ShowDialog(*dialog, *GetMainWindow());
}

void MainMenuController::OnFileQuit()
{
    if (Utility::ConfirmQuit(*model, queueFiles))
        GetMainWindow()->hide();
}

void MainMenuController::OnHelpShowHelp()
{
    LinuxFilesystemUtility filesystem;
    for (const char* folder : kHelpFolders) {
        const std::string path = folder + std::string(kHelpPage);
        if (filesystem.FileExists(path.c_str())) {
            // A page that can't be opened is as good as missing.
            if (Utility::OpenLocalPage(path))
                return;
            break;
        }
    }
    Gtk::MessageDialog missing(*GetMainWindow(),
                               Translate("sonvel_dlg_help_file_missing",
                                         "Unable to locate the help file; please reinstall the application."),
                               false, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK, true);
    missing.run();
}

void MainMenuController::OnHelpAbout()
{
    aboutDialog.Run(*GetMainWindow());
}

void MainMenuController::OnHelpContactCS()
{
    Utility::OpenURL(Translate("sonvel_url_customer_service", CustomerServiceUrl()).c_str());
}

void MainMenuController::OnHelpEnableDownloader()
{
    Utility::OpenPostInstallURL();
}

bool IsFileVLX(const Gtk::FileFilter::Info& info)
{
    // The bytes as the file system has them: a name that is not UTF-8 still ends in ASCII.
    return Utility::IsQueueFileName(info.filename.raw());
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
