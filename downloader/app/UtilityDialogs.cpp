#include "downloader/app/UtilityDialogs.h"

#include "core/data/StringUtility.h"
#include "core/localization/TranslationService.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {


void HideOnDelete(Gtk::Window& dialog)
{
    // The window owns the connection, so it cannot outlive the pointer it holds.
    dialog.signal_delete_event().connect([&dialog](GdkEventAny*) {
        dialog.hide();
        return true;
    });
}

void ShowDialog(Gtk::Window& dialog, Gtk::Window& parent)
{
    dialog.set_transient_for(parent);
    dialog.set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
    dialog.set_modal(false);
    dialog.present();
}

void RunMessage(Gtk::MessageDialog& box)
{
    box.set_title(Localization::Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"));
    box.add_button(Localization::Translate("sonvel_button_ok", "OK"), Gtk::RESPONSE_OK);
    box.run();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
