#include "downloader/ui/PreferencesDialogController.h"

#include "core/data/StringUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/settings/PreferencesKeys.h"
#include "downloader/app/UtilityPaths.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityProxyPassword.h"
#include "downloader/app/UtilityStoredProxy.h"

#include <gtkmm/alignment.h>
#include <gtkmm/button.h>
#include <gtkmm/cellrenderertext.h>
#include <gtkmm/combobox.h>
#include <gtkmm/entry.h>
#include <gtkmm/filechooserbutton.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/stock.h>
#include <gtkmm/togglebutton.h>
#include <gtkmm/window.h>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Localization::Translate;

namespace {

const char kRoot[] = "PreferencesDialog";
const int kNoProxy = -1;
const int kDefaultProxyPort = 80;


template <typename T>
T* Fetch(const Glib::RefPtr<Gnome::Glade::Xml>& tree, const char* name)
{
    T* widget = nullptr;
    tree->get_widget(name, widget);
    return widget;
}

void SetButton(Gtk::Button* button, const char* key, const char* english, const Gtk::StockID& stock)
{
    button->set_label(Translate(key, english));
    Gtk::Image* image = Gtk::manage(new Gtk::Image(stock, Gtk::ICON_SIZE_BUTTON));
    button->set_image(*image);
    image->show();
}

} // namespace

PreferencesDialogController::ProxyTypeComboColumns::ProxyTypeComboColumns()
{
    add(value);
    add(displayName);
}

struct PreferencesDialogController::ViewHolder {
    ViewHolder()
        : glade(Utility::GetGlade(kRoot)),
          dialog(Fetch<Gtk::Window>(glade, "PreferencesDialog")),
          generalTabLabel(Fetch<Gtk::Label>(glade, "GeneralLabel")),
          directoryAlignment(Fetch<Gtk::Alignment>(glade, "DownloadDirectoryAlignment")),
          directoryLabel(Fetch<Gtk::Label>(glade, "DownloadDirectoryLabel")),
          updateAlignment(Fetch<Gtk::Alignment>(glade, "AutoUpdateAlignment")),
          updateCheckBox(Fetch<Gtk::ToggleButton>(glade, "AutoUpdateCheckBox")),
          networkTabLabel(Fetch<Gtk::Label>(glade, "NetworkLabel")),
          proxyAlignment(Fetch<Gtk::Alignment>(glade, "ProxyAlignment")),
          proxyFrameLabel(Fetch<Gtk::Widget>(glade, "ProxyFrameLabel")),
          typeLabel(Fetch<Gtk::Label>(glade, "ProxyTypeLabel")),
          typeCombo(Fetch<Gtk::ComboBox>(glade, "ProxyTypeComboBox")),
          portLabel(Fetch<Gtk::Label>(glade, "ProxyPortLabel")),
          portSpinButton(Fetch<Gtk::SpinButton>(glade, "ProxyPortSpinButton")),
          addressLabel(Fetch<Gtk::Label>(glade, "ProxyAddressLabel")),
          addressEntry(Fetch<Gtk::Entry>(glade, "ProxyAddressTextEntry")),
          usernameLabel(Fetch<Gtk::Label>(glade, "ProxyUsernameLabel")),
          usernameEntry(Fetch<Gtk::Entry>(glade, "ProxyUsernameTextEntry")),
          passwordLabel(Fetch<Gtk::Label>(glade, "ProxyPasswordLabel")),
          passwordEntry(Fetch<Gtk::Entry>(glade, "ProxyPasswordTextEntry")),
          okButton(Fetch<Gtk::Button>(glade, "OKButton")),
          cancelButton(Fetch<Gtk::Button>(glade, "CancelButton"))
    {
    }

    Glib::RefPtr<Gnome::Glade::Xml> glade;
    Gtk::Window* dialog;
    Gtk::Label* generalTabLabel;
    Gtk::Alignment* directoryAlignment;
    Gtk::Label* directoryLabel;
    // Made by Initialize; destroying it takes it out of its alignment.
    boost::scoped_ptr<Gtk::FileChooserButton> folderChooser;
    Gtk::Alignment* updateAlignment;
    Gtk::ToggleButton* updateCheckBox;
    Gtk::Label* networkTabLabel;
    Gtk::Alignment* proxyAlignment;
    Gtk::Widget* proxyFrameLabel;
    Gtk::Label* typeLabel;
    Gtk::ComboBox* typeCombo;
    Gtk::Label* portLabel;
    Gtk::SpinButton* portSpinButton;
    Gtk::Label* addressLabel;
    Gtk::Entry* addressEntry;
    Gtk::Label* usernameLabel;
    Gtk::Entry* usernameEntry;
    Gtk::Label* passwordLabel;
    Gtk::Entry* passwordEntry;
    Gtk::Button* okButton;
    Gtk::Button* cancelButton;
};

PreferencesDialogController::PreferencesDialogController()
    : preferences(Utility::Preferences()),
      views(new ViewHolder())
{
    Initialize();
}

PreferencesDialogController::~PreferencesDialogController() = default;

void PreferencesDialogController::Initialize()
{
    ConnectSignals();
    Localize();

    views->folderChooser.reset(new Gtk::FileChooserButton(
        Translate("sonvel_prefs_select_directory", "Select a directory"), Gtk::FILE_CHOOSER_ACTION_SELECT_FOLDER));
    views->directoryAlignment->set_padding(4, 0, 12, 0);
    views->directoryAlignment->add(*views->folderChooser);
    views->folderChooser->show();

    views->updateAlignment->set_padding(0, 0, 4, 0);
    views->proxyAlignment->set_padding(4, 0, 12, 0);

    views->passwordEntry->set_visibility(false);

    proxyTypes = Gtk::ListStore::create(comboColumns);
    views->typeCombo->set_model(proxyTypes);
    const struct {
        int value;
        std::string name;
    } rows[] = {
        {kNoProxy, Translate("sonvel_advprefs_enable_proxy_osx", "None (disabled)")},
        {0, "HTTP"},
        {4, "SOCKS4"},
        {5, "SOCKS5"},
    };
    for (const auto& row : rows) {
        Gtk::TreeModel::Row added = *proxyTypes->append();
        added[comboColumns.value] = row.value;
        added[comboColumns.displayName] = row.name;
    }

    Gtk::CellRendererText* renderer = Gtk::manage(new Gtk::CellRendererText());
    renderer->property_editable() = false;
    views->typeCombo->pack_start(*renderer, true);
    views->typeCombo->add_attribute(renderer->property_text(), comboColumns.displayName);
    views->typeCombo->show_all_children();
}

void PreferencesDialogController::ConnectSignals()
{
    views->dialog->signal_show().connect(sigc::mem_fun(*this, &PreferencesDialogController::OnDialogShow));
    // The window manager's close would destroy the window that the tree still hands out.
    views->dialog->signal_delete_event().connect(sigc::mem_fun(*this, &PreferencesDialogController::OnDialogDelete));
    views->okButton->signal_clicked().connect(sigc::mem_fun(*this, &PreferencesDialogController::OnOKButtonClicked));
    views->cancelButton->signal_clicked().connect(
        sigc::mem_fun(*this, &PreferencesDialogController::OnCancelButtonClicked));
    views->typeCombo->signal_changed().connect(
        sigc::mem_fun(*this, &PreferencesDialogController::OnProxyTypeComboBoxChanged));
}

void PreferencesDialogController::Localize()
{
    views->dialog->set_title(Translate("sonvel_prefs_title", "Preferences"));
    views->generalTabLabel->set_text(Translate("sonvel_prefs_general_tab", "General"));
    views->directoryLabel->set_text(Translate("sonvel_prefs_music_dir_gtk", "Download Directory"));
    views->updateCheckBox->set_label(
        Translate("sonvel_prefs_auto_update_check", "Automatically check for program updates"));
    views->networkTabLabel->set_text(Translate("sonvel_prefs_network_tab", "Network"));
    views->typeLabel->set_text(Translate("sonvel_advprefs_proxy_type", "Type:"));
    views->portLabel->set_text(Translate("sonvel_advprefs_proxy_port", "Port:"));
    views->addressLabel->set_text(Translate("sonvel_advprefs_proxy_address", "Address:"));
    views->usernameLabel->set_text(Translate("sonvel_advprefs_proxy_username", "Username:"));
    views->passwordLabel->set_text(Translate("sonvel_advprefs_proxy_password", "Password:"));
    SetButton(views->okButton, "sonvel_button_ok", "OK", Gtk::Stock::OK);
    SetButton(views->cancelButton, "sonvel_button_cancel", "Cancel", Gtk::Stock::CANCEL);
}

void PreferencesDialogController::LoadPreferences()
{
    LinuxFilesystemUtility filesystem;
    views->folderChooser->set_current_folder(
        filesystem.GetSpecialDirectory(Filesystem::FilesystemUtility::MusicDirectory));
    views->updateCheckBox->set_active(preferences->GetBool(PreferencesKeys::AutoCheckForUpdates, true));
    views->portSpinButton->set_value(Utility::StoredProxyPort(*preferences, kDefaultProxyPort).value_or(kDefaultProxyPort));
    views->addressEntry->set_text(preferences->GetString(PreferencesKeys::ProxyServerAddress, ""));
    views->usernameEntry->set_text(preferences->GetString(PreferencesKeys::ProxyServerUsername, ""));
    views->passwordEntry->set_text(Utility::RevealProxyPassword(preferences->GetString(PreferencesKeys::ProxyServerPassword, "")));
    const std::optional<Vantor::Net::Download::ProxyHost::ProxyType> type = Utility::StoredProxyType(*preferences);
    SetProxyTypeComboBox(type ? *type : kNoProxy);
}

void PreferencesDialogController::SavePreferences()
{
    preferences->SetString(PreferencesKeys::DownloadDirectory, views->folderChooser->get_current_folder().c_str());
    preferences->SetBool(PreferencesKeys::AutoCheckForUpdates, views->updateCheckBox->get_active());
    // A port still being typed counts as typed; text that is no port gives back the last one.
    views->portSpinButton->update();
    preferences->SetInt(PreferencesKeys::ProxyServerPort, views->portSpinButton->get_value_as_int());
    preferences->SetString(PreferencesKeys::ProxyServerAddress, views->addressEntry->get_text().c_str());
    preferences->SetString(PreferencesKeys::ProxyServerUsername, views->usernameEntry->get_text().c_str());
    preferences->SetString(PreferencesKeys::ProxyServerPassword,
                           Utility::ProtectProxyPassword(views->passwordEntry->get_text()).c_str());
    const int type = SelectedProxyType();
    preferences->SetInt(PreferencesKeys::ProxyServerType, type);
    preferences->SetBool(PreferencesKeys::ProxyServerEnabled, type != kNoProxy);
    Utility::SavePreferences();
}

void PreferencesDialogController::EnableProxyControls(bool enabled)
{
    views->portSpinButton->set_sensitive(enabled);
    views->addressEntry->set_sensitive(enabled);
    views->usernameEntry->set_sensitive(enabled);
    views->passwordEntry->set_sensitive(enabled);
}

void PreferencesDialogController::SetProxyTypeComboBox(int type)
{
    const Gtk::TreeModel::Children rows = proxyTypes->children();
    Gtk::TreeModel::iterator chosen = rows.begin();
    for (Gtk::TreeModel::iterator row = rows.begin(); row != rows.end(); ++row) {
        if ((*row)[comboColumns.value] == type) {
            chosen = row;
            break;
        }
    }
    views->typeCombo->set_active(chosen);
}

// The first row's value when no row is chosen.
int PreferencesDialogController::SelectedProxyType() const
{
    Gtk::TreeModel::iterator active = views->typeCombo->get_active();
    if (!active)
        active = proxyTypes->children().begin();
    return (*active)[comboColumns.value];
}

void PreferencesDialogController::OnDialogShow()
{
    LoadPreferences();
}

bool PreferencesDialogController::OnDialogDelete(GdkEventAny*)
{
    views->dialog->hide();
    return true;
}

void PreferencesDialogController::OnOKButtonClicked()
{
    SavePreferences();
    views->dialog->hide();
}

void PreferencesDialogController::OnCancelButtonClicked()
{
    views->dialog->hide();
}

void PreferencesDialogController::OnProxyTypeComboBoxChanged()
{
    const Gtk::TreeModel::iterator active = views->typeCombo->get_active();
    EnableProxyControls(active && (*active)[comboColumns.value] != kNoProxy);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
