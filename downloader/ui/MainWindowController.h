#ifndef DOWNLOADER_UI_MAINWINDOWCONTROLLER_H
#define DOWNLOADER_UI_MAINWINDOWCONTROLLER_H

#include <gtkmm/window.h>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The "MainWindow" window of the cached "MainWindow" glade tree: the parent of the
// program's dialogs. Main thread only.
Gtk::Window* GetMainWindow();

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
