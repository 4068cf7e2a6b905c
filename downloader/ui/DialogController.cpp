#include "downloader/ui/DialogController.h"

#include "downloader/app/UtilityDialogs.h"
#include "downloader/app/UtilityPaths.h"

#include <gtkmm/button.h>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

DialogController::DialogController(const std::string& root)
    : glade(Utility::GetGlade(root)), dialog(Fetch<Gtk::Window>(root.c_str()))
{
    Fetch<Gtk::Button>("CloseButton")->signal_clicked().connect(
        sigc::mem_fun(*this, &DialogController::OnCloseButtonClicked));
    Utility::HideOnDelete(*dialog);
}

void DialogController::Show(Gtk::Window& parent)
{
    Utility::ShowDialog(*dialog, parent);
}

void DialogController::OnCloseButtonClicked()
{
    dialog->hide();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
