#ifndef DOWNLOADER_APP_UTILITYSTARTNOTICES_H
#define DOWNLOADER_APP_UTILITYSTARTNOTICES_H

#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include <memory>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Over `parent`, without holding the window up: the playlist database can't be opened, so
// downloads go on but purchases with playlists wait. The box hides when answered; it is the
// caller's to keep until then.
std::unique_ptr<Gtk::MessageDialog> TellPlaylistsUnavailable(Gtk::Window& parent);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
