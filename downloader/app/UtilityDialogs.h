#ifndef DOWNLOADER_APP_UTILITYDIALOGS_H
#define DOWNLOADER_APP_UTILITYDIALOGS_H

#include <gtkmm/window.h>

#include <string>

namespace Vantor {
namespace DigitalMedia {
namespace MusicClient {
namespace Downloader {
namespace Utility {

// Makes the window manager's close button hide `dialog` instead of destroying it: the dialogs
// live in cached glade trees and their controllers keep pointing at them.
void HideOnDelete(Gtk::Window& dialog);

// Shows `dialog` without blocking the main window, centred on and transient for `parent`;
// a dialog already showing is raised.
void ShowDialog(Gtk::Window& dialog, Gtk::Window& parent);

} // namespace Utility
} // namespace Downloader
} // namespace MusicClient
} // namespace DigitalMedia
} // namespace Vantor

#endif
