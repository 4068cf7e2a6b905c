#include "downloader/ui/AboutDialogController.h"

#include "core/data/StringUtility.h"
#include "core/localization/TranslationService.h"
#include "core/settings/ProgramVersion.h"
#include "downloader/app/UtilityDialogs.h"
#include "downloader/app/UtilityPaths.h"

#include <boost/format.hpp>
#include <glibmm/markup.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const char kRoot[] = "AboutDialog";
const int kWidth = 320;
const int kHeight = 260;
const int kLogoSize = 75;

} // namespace

AboutDialogController::AboutDialogController()
    : dialog(nullptr)
{
    Initialize();
}

void AboutDialogController::Initialize()
{
    const Glib::RefPtr<Gnome::Glade::Xml> glade = Utility::GetGlade(kRoot);
    Gtk::Button* closeButton = nullptr;
    Gtk::Label* versionLabel = nullptr;
    Gtk::Label* copyrightLabel = nullptr;
    Gtk::Label* nameLabel = nullptr;
    Gtk::Image* logoImage = nullptr;
    glade->get_widget(kRoot, dialog);
    glade->get_widget("CloseButton", closeButton);
    glade->get_widget("VersionLabel", versionLabel);
    glade->get_widget("CopyrightLabel", copyrightLabel);
    glade->get_widget("NameLabel", nameLabel);
    glade->get_widget("LogoImage", logoImage);

    closeButton->signal_clicked().connect(sigc::mem_fun(*this, &AboutDialogController::OnCloseButtonClicked));
    Utility::HideOnDelete(*dialog);

    dialog->set_title(Translate("sonvel_about_title", "About"));
    closeButton->set_label(Translate("sonvel_button_close", "Close"));
    copyrightLabel->set_text(
        Translate("sonvel_about_copyright", "Copyright \xC2\xA9 2009 Vantor. All rights reserved."));
    // Translations are data: markup characters in them are shown as they are.
    nameLabel->set_markup("<big><b>"
                          + Glib::Markup::escape_text(Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"))
                          + "</b></big>");
    const std::string locale = Localization::TranslationService::Instance()->GetLocale();
    versionLabel->set_markup(
        (boost::format(Data::StringUtility::MakeUTF8("<b>%1% %2%</b>")) % Settings::ProgramVersion().ToString()
         % Glib::Markup::escape_text(locale))
            .str());
    logoImage->set(Utility::GetPixbuf("vantormp3_icon.png")->scale_simple(kLogoSize, kLogoSize, Gdk::INTERP_BILINEAR));
}

void AboutDialogController::Show(Gtk::Window& parent)
{
    dialog->resize(kWidth, kHeight);
    Utility::ShowDialog(*dialog, parent);
}

void AboutDialogController::OnCloseButtonClicked()
{
    dialog->hide();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
