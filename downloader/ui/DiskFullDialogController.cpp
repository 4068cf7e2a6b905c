#include "downloader/ui/DiskFullDialogController.h"

#include "core/localization/TranslationService.h"

#include <glibmm/markup.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/stock.h>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const char kRoot[] = "DiskFullDialog";

} // namespace

DiskFullDialogController::DiskFullDialogController()
    : DialogController(kRoot)
{
    Initialize();
}

void DiskFullDialogController::Initialize()
{
    dialog->set_title(Translate("sonvel_diskfull_title", "Out of Disk Space"));

    // The first sentence in bold; translations are data, so their own markup characters are
    // shown as they are.
    const std::string problem =
        Translate("sonvel_diskfull_desc1", "The disk that your Download Folder is located on is full.");
    const std::string explanation = Translate(
        "sonvel_diskfull_desc2",
        "There is not enough free space on the disk to complete additional downloads. You may solve this problem by:");
    Fetch<Gtk::Label>("LabelLine1")
        ->set_markup("<b>" + Glib::Markup::escape_text(problem) + "</b>\n\n" + Glib::Markup::escape_text(explanation));
    Fetch<Gtk::Label>("LabelLine2")
        ->set_text(Translate("sonvel_diskfull_desc3_osx_gtk",
                             "1. Removing files from your computer and/or emptying the Trash.")
                   + "\n\n"
                   + Translate("sonvel_diskfull_desc4_w32_gtk",
                               "2. Changing the download path to a different drive. To do this select Preferences "
                               "from the File menu in the main window."));
    Fetch<Gtk::Label>("LabelLine3")
        ->set_text(Translate("sonvel_diskfull_desc5",
                             "All of your remaining downloads have been automatically paused. You may resume them "
                             "when more space is available by clicking Resume Downloads in the Vantor MP3 Downloader."));

    Gtk::Button* closeButton = Fetch<Gtk::Button>("CloseButton");
    Gtk::Image* closeImage = Gtk::manage(new Gtk::Image(Gtk::Stock::CLOSE, Gtk::ICON_SIZE_BUTTON));
    closeImage->show();
    closeButton->set_label(Translate("sonvel_button_close", "Close"));
    closeButton->set_image(*closeImage);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
