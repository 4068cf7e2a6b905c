#ifndef DOWNLOADER_UI_PREFERENCESDIALOGCONTROLLER_H
#define DOWNLOADER_UI_PREFERENCESDIALOGCONTROLLER_H

#include "core/settings/Preferences.h"

#include <boost/scoped_ptr.hpp>
#include <boost/shared_ptr.hpp>
#include <glibmm/ustring.h>
#include <gtkmm/liststore.h>
#include <gtkmm/treemodelcolumn.h>
#include <libglademm/xml.h>
#include <sigc++/trackable.h>

namespace Gtk {
class Alignment;
class Button;
class ComboBox;
class Entry;
class FileChooserButton;
class Label;
class SpinButton;
class ToggleButton;
class Widget;
class Window;
} // namespace Gtk

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The preferences dialog: the download folder, the automatic update check and the proxy.
// Every showing loads the fields from the process-wide preferences; OK stores them all and
// saves "Settings.xml", Cancel only hides the dialog. Whoever shows the dialog reaches it
// through the cached glade tree of "PreferencesDialog". Main thread only.
class PreferencesDialogController : public sigc::trackable {
public:
    PreferencesDialogController();
    ~PreferencesDialogController();

    PreferencesDialogController(const PreferencesDialogController&) = delete;
    PreferencesDialogController& operator=(const PreferencesDialogController&) = delete;

private:
    // The proxy type as "Settings.xml" stores it: -1 for none, else the transfer engine's
    // ProxyType number. Held as an int, since -1 is no ProxyType.
    class ProxyTypeComboColumns : public Gtk::TreeModel::ColumnRecord {
    public:
        ProxyTypeComboColumns();

        Gtk::TreeModelColumn<int> value;
        Gtk::TreeModelColumn<Glib::ustring> displayName;
    };

    struct ViewHolder;

    void Initialize();
    void ConnectSignals();
    void Localize();
    void LoadPreferences();
    void SavePreferences();
    void EnableProxyControls(bool enabled);
    void SetProxyTypeComboBox(int type);
    int SelectedProxyType() const;

    void OnDialogShow();
    bool OnDialogDelete(GdkEventAny* event);
    void OnOKButtonClicked();
    void OnCancelButtonClicked();
    void OnProxyTypeComboBoxChanged();

    boost::shared_ptr<Settings::Preferences> preferences;
    ProxyTypeComboColumns comboColumns;
    Glib::RefPtr<Gtk::ListStore> proxyTypes;
    boost::scoped_ptr<ViewHolder> views;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
