#ifndef DOWNLOADER_UI_DIALOGCONTROLLER_H
#define DOWNLOADER_UI_DIALOGCONTROLLER_H

#include <glibmm/refptr.h>
#include <gtkmm/window.h>
#include <libglademm/xml.h>
#include <sigc++/trackable.h>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// What the dialogs of the interface file share: each is fetched once from the cached tree of
// its root and kept; its "CloseButton" and the window manager's close hide it, never destroy
// it, since its controller keeps pointers into the tree; it is shown beside the main window
// without blocking it. Main thread only.
class DialogController : public sigc::trackable {
public:
    // Centred on and transient for `parent`; raised when already shown.
    void Show(Gtk::Window& parent);
    void OnCloseButtonClicked();

protected:
    explicit DialogController(const std::string& root);

    // A widget of the dialog's tree by name; null when the tree lacks it.
    template <class Widget>
    Widget* Fetch(const char* name) const
    {
        Widget* widget = nullptr;
        glade->get_widget(name, widget);
        return widget;
    }

    Glib::RefPtr<Gnome::Glade::Xml> glade;
    Gtk::Window* dialog; // the glade tree owns it
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
