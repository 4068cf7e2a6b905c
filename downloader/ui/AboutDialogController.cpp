#include "downloader/ui/AboutDialogController.h"

#include "core/data/StringUtility.h"
#include "core/localization/TranslationService.h"
#include "core/settings/ProgramVersion.h"
#include "downloader/app/UtilityPaths.h"

#include <boost/format.hpp>
#include <glibmm/markup.h>
#include <gtkmm/button.h>
#include <gtkmm/dialog.h>
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
    : DialogController(kRoot)
{
    Initialize();
}

void AboutDialogController::Initialize()
{
    dialog->set_title(Translate("sonvel_about_title", "About"));
    Fetch<Gtk::Button>("CloseButton")->set_label(Translate("sonvel_button_close", "Close"));
    Fetch<Gtk::Label>("CopyrightLabel")
        ->set_text(Translate("sonvel_about_copyright", "Copyright \xC2\xA9 2009 Vantor. All rights reserved."));
    // Translations are data: markup characters in them are shown as they are.
    Fetch<Gtk::Label>("NameLabel")
        ->set_markup("<big><b>" + Glib::Markup::escape_text(Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"))
                     + "</b></big>");
    const std::string locale = Localization::TranslationService::Instance()->GetLocale();
    Fetch<Gtk::Label>("VersionLabel")
        ->set_markup((boost::format(Data::StringUtility::MakeUTF8("<b>%1% %2%</b>"))
                      % Settings::ProgramVersion().ToString() % Glib::Markup::escape_text(locale))
                         .str());
    Fetch<Gtk::Image>("LogoImage")
        ->set(Utility::GetPixbuf("vantormp3_icon.png")->scale_simple(kLogoSize, kLogoSize, Gdk::INTERP_BILINEAR));
}

void AboutDialogController::Run(Gtk::Window& parent)
{
    // The dialog can't be resized, so its size is asked for rather than set.
    dialog->set_size_request(kWidth, kHeight);
    dialog->set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
    dialog->set_transient_for(parent);
    Fetch<Gtk::Dialog>(kRoot)->run();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
