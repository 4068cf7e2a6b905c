#include "downloader/ui/SettingsFolderNotices.h"

#include "core/localization/TranslationService.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/Invokable.h"
#include "downloader/app/UtilityDialogs.h"

#include <boost/make_shared.hpp>

#include <glibmm/convert.h>
#include <glibmm/main.h>
#include <glibmm/markup.h>
#include <gtkmm/messagedialog.h>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

// A translated sentence, a file or folder name in bold on its own, and another sentence, when
// there is one. The translations are data: their own markup characters are shown as they are.
std::string AroundName(const std::string& before, const std::string& name, const std::string& after)
{
    return Glib::Markup::escape_text(before) + "\n\n<b>" +
           Glib::Markup::escape_text(Glib::filename_display_name(name)) + "</b>" +
           (after.empty() ? "" : "\n\n" + Glib::Markup::escape_text(after));
}

// Purchases with playlists wait for the database: why, in a translated sentence, and the folder.
std::string PlaylistsWait(const std::string& why)
{
    return "<b>" + Glib::Markup::escape_text(Translate("sonvel_playlists_unavailable_title", "Playlists can't be kept")) +
           "</b>\n\n" + AroundName(why, Utility::GetSettingsDirectory(), "");
}

} // namespace

SettingsFolderNotices::SettingsFolderNotices(Gtk::Window& window)
    : window(window), alive(boost::make_shared<bool>(true))
{
    troubled.connect(sigc::mem_fun(*this, &SettingsFolderNotices::TellTroubles));
}

SettingsFolderNotices::~SettingsFolderNotices()
{
    // The library may be telling of a trouble on another thread: cut it off before the members go.
    disconnect_all();
}

void SettingsFolderNotices::TellUnreadableSettings()
{
    const std::string keptAt = Utility::UnreadablePreferencesFile();
    if (keptAt.empty())
        return;
    Tell(AroundName(Translate("sonvel_dlg_settings_unreadable_1",
                              "The settings could not be read. The file has been kept unchanged as:"),
                    keptAt,
                    Translate("sonvel_dlg_settings_unreadable_2",
                              "The default settings apply, for the download folder and the proxy too. Please set "
                              "them again under File > Preferences.")));
}

void SettingsFolderNotices::SavedQueueUnreadable(const std::string& keptAt)
{
    Tell(AroundName(Translate("sonvel_dlg_queue_unreadable_1",
                              "The saved download queue could not be read. It has been kept unchanged as:"),
                    keptAt,
                    Translate("sonvel_dlg_queue_unreadable_2",
                              "The download list starts empty; the downloads of the kept queue are not resumed.")));
}

void SettingsFolderNotices::SaveFailed()
{
    if (saveFailureTold)
        return;
    saveFailureTold = true;
    Tell(AroundName(Translate("sonvel_dlg_queue_not_saved_1", "The download queue could not be saved in the folder:"),
                    Utility::GetSettingsDirectory(),
                    Translate("sonvel_dlg_queue_not_saved_2",
                              "Please make sure that this folder can be written to and that its disk has free "
                              "space. Until the queue is saved, the next start does not know of the changes to "
                              "the download list.")));
}

void SettingsFolderNotices::Follow(PlaylistLibrary& followed)
{
    library = &followed;
    library->TroubleSignal.connect(this, &SettingsFolderNotices::OnTrouble);
    TellTroubles();
}

void SettingsFolderNotices::OnTrouble()
{
    EmitOnMainThread(alive, troubled);
}

void SettingsFolderNotices::TellTroubles()
{
    for (const PlaylistLibrary::Trouble& trouble : library->TakeTroubles()) {
        switch (trouble.kind) {
        case PlaylistLibrary::Trouble::Damaged:
            Tell(AroundName(Translate("sonvel_playlists_damaged_1",
                                      "The playlist database could not be read. It has been kept unchanged as:"),
                            trouble.keptAt,
                            Translate("sonvel_playlists_damaged_2", "A new, empty one has taken its place: purchases "
                                                                    "that come with playlists are added as before.")));
            break;
        case PlaylistLibrary::Trouble::Held:
            Tell(PlaylistsWait(Translate(
                "sonvel_playlists_held_desc",
                "Another program is using the playlist database (\"vantormp3.db\"). Downloads go on, but while it "
                "does, a purchase that comes with playlists is not added; its file stays, to be opened again once the "
                "database is free. The database is in the folder:")));
            break;
        case PlaylistLibrary::Trouble::Unopenable:
            Tell(PlaylistsWait(Translate(
                "sonvel_playlists_unavailable_desc",
                "The playlist database in the settings folder can't be opened. Downloads go on, but a purchase that "
                "comes with playlists is added only once the database opens again; its file stays until then. Please "
                "check the folder:")));
            break;
        }
    }
}

void SettingsFolderNotices::Tell(const std::string& markup)
{
    waiting.push_back(markup);
    if (window.get_mapped())
        TellWaiting();
    else if (!mapping.connected())
        mapping = window.signal_map().connect(sigc::mem_fun(*this, &SettingsFolderNotices::OnWindowMapped));
}

void SettingsFolderNotices::OnWindowMapped()
{
    mapping.disconnect();
    // Not inside the window's own mapping: a message box runs a main loop of its own.
    Glib::signal_idle().connect(sigc::mem_fun(*this, &SettingsFolderNotices::TellWaiting));
}

bool SettingsFolderNotices::TellWaiting()
{
    while (!waiting.empty()) {
        const std::string markup = waiting.front();
        waiting.erase(waiting.begin());
        Gtk::MessageDialog dialog(window, markup, true, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_NONE, true);
        Utility::RunMessage(dialog);
    }
    return false; // once
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
