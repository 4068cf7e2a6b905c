#ifndef DOWNLOADER_UI_DISKFULLDIALOGCONTROLLER_H
#define DOWNLOADER_UI_DISKFULLDIALOGCONTROLLER_H

#include <gtkmm/window.h>
#include <sigc++/trackable.h>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The dialog telling the user that the disk of the download folder is full and the remaining
// downloads were paused. The main window decides when to show it; its texts are set once, when
// it is built, and Close only hides it (the downloads stay paused). Main thread only.
class DiskFullDialogController : public sigc::trackable {
public:
    DiskFullDialogController();

    // Fetches the dialog's widgets from the glade tree, connects Close and sets every text.
    void Initialize();
    // Shows the dialog, centred on and transient for `parent`; raises it when already shown.
    void Show(Gtk::Window& parent);
    void OnCloseButtonClicked();

private:
    Gtk::Window* dialog; // the glade tree owns it
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
