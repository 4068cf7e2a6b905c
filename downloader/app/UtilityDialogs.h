#ifndef DOWNLOADER_APP_UTILITYDIALOGS_H
#define DOWNLOADER_APP_UTILITYDIALOGS_H

#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Makes the window manager's close button hide `dialog` instead of destroying it: the dialogs
// live in cached glade trees and their controllers keep pointing at them.
void HideOnDelete(Gtk::Window& dialog);

// Shows `dialog` without blocking the main window, centred on and transient for `parent`;
// a dialog already showing is raised.
void ShowDialog(Gtk::Window& dialog, Gtk::Window& parent);

// Gives a message box the program's title and an "OK" button of its own (the stock label
// follows the system's language, not the program's), and waits until it is answered.
void RunMessage(Gtk::MessageDialog& box);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
