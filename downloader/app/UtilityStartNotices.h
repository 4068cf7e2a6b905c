#ifndef DOWNLOADER_APP_UTILITYSTARTNOTICES_H
#define DOWNLOADER_APP_UTILITYSTARTNOTICES_H

#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include <memory>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Why a launch ends without a window: on standard error, and in a message box that it waits
// for, since a launch from a file manager has no terminal. Neither the queue nor the files
// named were touched. Each starts the translation service itself: the launch ends before the
// program would.
//
// The settings directory can't be locked, so whether the program already runs can't be told.
void TellGuardUnusable();
// The running instance does not take this launch's command line.
void TellHandOverRefused();

// Over `parent`, without holding the window up: the playlist database can't be opened, so
// downloads go on but purchases with playlists wait. The box hides when answered; it is the
// caller's to keep until then.
std::unique_ptr<Gtk::MessageDialog> TellPlaylistsUnavailable(Gtk::Window& parent);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
