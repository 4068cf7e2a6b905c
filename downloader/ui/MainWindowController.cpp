#include "downloader/ui/MainWindowController.h"

#include "downloader/app/UtilityPaths.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

Gtk::Window* GetMainWindow()
{
    Gtk::Window* window = nullptr;
    Utility::GetGlade("MainWindow")->get_widget("MainWindow", window);
    return window;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
