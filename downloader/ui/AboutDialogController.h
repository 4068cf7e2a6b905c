#ifndef DOWNLOADER_UI_ABOUTDIALOGCONTROLLER_H
#define DOWNLOADER_UI_ABOUTDIALOGCONTROLLER_H

#include "downloader/ui/DialogController.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The About dialog: product name, version and language, copyright line and logo. Its texts
// are set once, when it is built; Close hides it until it is shown again. Main thread only.
class AboutDialogController : public DialogController {
public:
    AboutDialogController();

    // Fills the dialog's widgets.
    void Initialize();
    // Runs the dialog modally at its usual size, centred on and transient for `parent`, until
    // Close or the window manager hides it.
    void Run(Gtk::Window& parent);
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
