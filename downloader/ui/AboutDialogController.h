#ifndef DOWNLOADER_UI_ABOUTDIALOGCONTROLLER_H
#define DOWNLOADER_UI_ABOUTDIALOGCONTROLLER_H

#include <gtkmm/dialog.h>
#include <sigc++/trackable.h>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The About dialog: product name, version and language, copyright line and logo. Its texts
// are set once, when it is built; Close hides it until it is shown again. Main thread only.
class AboutDialogController : public sigc::trackable {
public:
    AboutDialogController();

    // Fetches the dialog's widgets from the glade tree and fills them.
    void Initialize();
    // Shows the dialog at its usual size, centred on and transient for `parent`.
    void Show(Gtk::Window& parent);
    void OnCloseButtonClicked();

private:
    Gtk::Dialog* dialog; // the glade tree owns it
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
