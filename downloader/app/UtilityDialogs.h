#ifndef DOWNLOADER_APP_UTILITYDIALOGS_H
#define DOWNLOADER_APP_UTILITYDIALOGS_H

#include <gtkmm/window.h>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Makes the window manager's close button hide `dialog` instead of destroying it: the dialogs
// live in cached glade trees and their controllers keep pointing at them.
void HideOnDelete(Gtk::Window& dialog);

// Shows `dialog` without blocking the main window, centred on and transient for `parent`;
// a dialog already showing is raised.
void ShowDialog(Gtk::Window& dialog, Gtk::Window& parent);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
