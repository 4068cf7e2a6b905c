#include "downloader/app/UtilityStartNotices.h"

#include "core/localization/TranslationService.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityDialogs.h"

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

std::unique_ptr<Gtk::MessageDialog> TellPlaylistsUnavailable(Gtk::Window& parent)
{
    std::unique_ptr<Gtk::MessageDialog> box(new Gtk::MessageDialog(
        parent, Translate("sonvel_playlists_unavailable_title", "Playlists can't be kept"), false,
        Gtk::MESSAGE_WARNING, Gtk::BUTTONS_NONE, false));
    box->set_secondary_text(Translate("sonvel_playlists_unavailable_desc",
                                      "The playlist database in the settings folder can't be opened. Downloads go "
                                      "on, but a purchase that comes with playlists is added only once the "
                                      "database opens again; its file stays until then. Please check the folder:") +
                            "\n\n" + GetSettingsDirectory());
    box->add_button(Translate("sonvel_button_ok", "OK"), Gtk::RESPONSE_OK);
    box->set_title(Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"));
    Gtk::MessageDialog* shown = box.get();
    box->signal_response().connect([shown](int) { shown->hide(); });
    ShowDialog(*box, parent);
    return box;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
