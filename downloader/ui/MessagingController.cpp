#include "downloader/ui/MessagingController.h"

#include "core/localization/TranslationService.h"
#include "core/net/StoreWebHost.h"
#include "core/settings/PreferencesKeys.h"
#include "downloader/app/UtilityBrowser.h"
#include "downloader/app/UtilityDialogs.h"
#include "downloader/app/UtilityPaths.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/model/DownloadModelDownload.h"

#include <boost/thread/recursive_mutex.hpp>
#include <glibmm/markup.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/togglebutton.h>
#include <gtkmm/window.h>

#include <algorithm>
#include <string>

using Vantor::Localization::Translate;
using Vantor::Net::Download;

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const char kCompletedRoot[] = "CompletedDialog";
const char kDownloadFailedRoot[] = "DownloadFailedDialog";
const char kIcon[] = "vantormp3_icon.png";

// The store's help page on downloads, at the section `fragment`; `ref` tells the store which
// dialog sent the user.
std::string HelpAddress(const std::string& ref, const std::string& fragment)
{
    return std::string(Net::kStoreWebHost) + "/gp/help/customer/display.html/ref=" + ref + "?ie=UTF8&nodeId=200154210#"
           + fragment;
}

// Translations are data: markup characters in them are shown as they are.
std::string Bold(const std::string& text)
{
    return "<b>" + Glib::Markup::escape_text(text) + "</b>";
}

// Keeps a wrapping label at the width the dialog gave it, so a long text wraps instead of
// widening the dialog.
void PinWidth(Gtk::Label& label)
{
    label.set_size_request(label.get_allocation().get_width(), -1);
}

void Present(Gtk::Window& dialog, Gtk::Window& parent)
{
    Utility::ShowDialog(dialog, parent);
    dialog.set_icon(Utility::GetPixbuf(kIcon));
}

} // namespace

MessagingController::MessagingController(Gtk::Window* parent, DownloadModelSignalProxy& proxy)
    : parent(parent),
      proxy(proxy),
      completedViews(new CompletedDialogViews),
      failedViews(new DownloadFailedDialogViews),
      queuePaused(false)
{
    Initialize();
}

void MessagingController::SetQueuePaused(bool paused)
{
    queuePaused = paused;
}

bool MessagingController::ShowExpiredMessaging()
{
    return !expiredDownloads.empty() && expiredDownloads.size() == failedDownloads.size();
}

void MessagingController::Initialize()
{
    InitializeCompletedDialog();
    InitializeDownloadFailedDialog();
    proxy.DownloadFinishedSignal.connect(sigc::mem_fun(*this, &MessagingController::OnDownloadFinished));
    proxy.DownloadStartedSignal.connect(sigc::mem_fun(*this, &MessagingController::OnDownloadStarted));
    proxy.DownloadRemovedSignal.connect(sigc::mem_fun(*this, &MessagingController::OnDownloadRemoved));
    proxy.DownloadDiskFullSignal.connect(sigc::mem_fun(*this, &MessagingController::OnDownloadDiskFull));
    proxy.DownloadQueueFinishedSignal.connect(sigc::mem_fun(*this, &MessagingController::OnDownloadQueueFinished));
}

void MessagingController::InitializeCompletedDialog()
{
    const Glib::RefPtr<Gnome::Glade::Xml> glade = Utility::GetGlade(kCompletedRoot);
    CompletedDialogViews& views = *completedViews;
    glade->get_widget(kCompletedRoot, views.dialog);
    glade->get_widget("CloseButton", views.closeButton);
    glade->get_widget("ShowDownloadDirectoryButton", views.showDirectoryButton);
    glade->get_widget("ReminderCheckBox", views.reminderCheckBox);
    glade->get_widget("LabelLine1", views.line1);
    glade->get_widget("LabelLine2", views.line2);

    views.showDirectoryButton->signal_clicked().connect(
        sigc::mem_fun(*this, &MessagingController::OnCompletedShowDirClicked));
    views.closeButton->signal_clicked().connect(sigc::mem_fun(*this, &MessagingController::OnCompletedCloseClicked));
    views.reminderCheckBox->signal_toggled().connect(
        sigc::mem_fun(*this, &MessagingController::OnCompletedReminderToggled));
    Utility::HideOnDelete(*views.dialog);
}

void MessagingController::InitializeDownloadFailedDialog()
{
    const Glib::RefPtr<Gnome::Glade::Xml> glade = Utility::GetGlade(kDownloadFailedRoot);
    DownloadFailedDialogViews& views = *failedViews;
    glade->get_widget(kDownloadFailedRoot, views.dialog);
    glade->get_widget("RetryDownloadButton", views.retryButton);
    glade->get_widget("GetHelpButton", views.helpButton);
    glade->get_widget("CloseButton", views.closeButton);
    glade->get_widget("LabelLine1", views.line1);
    glade->get_widget("LabelLine2", views.line2);

    views.retryButton->signal_clicked().connect(
        sigc::mem_fun(*this, &MessagingController::OnDownloadFailedRetryClicked));
    views.helpButton->signal_clicked().connect(sigc::mem_fun(*this, &MessagingController::OnDownloadFailedHelpClicked));
    views.closeButton->signal_clicked().connect(
        sigc::mem_fun(*this, &MessagingController::OnDownloadFailedCloseClicked));
    Utility::HideOnDelete(*views.dialog);
}

void MessagingController::ShowCompletedDialog()
{
    const CompletedDialogViews& views = *completedViews;
    Present(*views.dialog, *parent);
    views.dialog->set_title(Translate("sonvel_dlg_completed_no_library_title", "Vantor MP3 Downloader"));
    views.showDirectoryButton->set_label(Translate("sonvel_button_show_download_directory", "View Download Folder"));
    // The box's state stays as the user last left it: it is what the preference holds.
    views.reminderCheckBox->set_label(
        Translate("sonvel_dlg_completed_do_not_remind_me_again", "Don't show this message again."));
    views.line1->set_markup(
        Bold(Translate("sonvel_dlg_completed_no_library_desc1", "Your music has been downloaded successfully.")));
    views.line2->set_text(Translate("sonvel_dlg_completed_no_library_desc2",
                                    "You can find your music by browsing the Downloads Directory.")
                          + "    ");
    PinWidth(*views.line1);
    PinWidth(*views.line2);
}

void MessagingController::ShowDownloadFailedDialog()
{
    const DownloadFailedDialogViews& views = *failedViews;
    views.dialog->set_title(Translate("sonvel_dlg_download_failed_title", "Vantor MP3 Downloader"));
    views.retryButton->set_label(Translate("sonvel_button_retry_download", "Retry"));
    views.helpButton->set_label(Translate("sonvel_button_get_help", "Get Help"));
    Present(*views.dialog, *parent);
    // Trying an expired link again is pointless: the user needs the help page instead.
    if (ShowExpiredMessaging()) {
        views.retryButton->hide();
        views.line1->set_markup(Bold(Translate("sonvel_dlg_download_expired_desc1", "Expired Links")));
        views.line2->set_text(Translate("sonvel_dlg_download_expired_desc2",
                                        "One or more of your downloads failed because too much time has passed since "
                                        "the download started. Click Get Help for more information to help you "
                                        "continue."));
    } else {
        views.retryButton->show_all();
        views.line1->set_markup(Bold(Translate("sonvel_dlg_download_failed_desc1", "Download Failed")));
        views.line2->set_text(
            Translate("sonvel_dlg_download_failed_desc2", "One or more of your downloads failed."));
    }
    PinWidth(*views.line1);
    PinWidth(*views.line2);
}

void MessagingController::OnDownloadFinished(DownloadModel::DownloadPtr download)
{
    // The end of a transfer sets its state and error type together under this lock.
    boost::recursive_mutex::scoped_lock lock(download->stateMutex);
    const Download::State state = download->GetState();
    if (state != Download::LocalFileError && state != Download::NetworkError)
        return;
    failedDownloads.insert(download);
    // A local failure still carries the error type of the last transfer, which may be an
    // expired link of an earlier run; only a transfer that failed on its link is worded so.
    if (state == Download::NetworkError && download->networkErrorType == Download::LinkExpired)
        expiredDownloads.insert(download);
}

void MessagingController::OnDownloadStarted(DownloadModel::DownloadPtr download)
{
    queuePaused = false;
    failedDownloads.erase(download);
    expiredDownloads.erase(download);
    diskFullDownloads.erase(download);
}

void MessagingController::OnDownloadRemoved(DownloadModel::DownloadPtr download)
{
    failedDownloads.erase(download);
    expiredDownloads.erase(download);
    diskFullDownloads.erase(download);
}

void MessagingController::OnDownloadDiskFull(DownloadModel::DownloadPtr download)
{
    diskFullDownloads.insert(download);
}

bool MessagingController::PausedForDiskFull() const
{
    return std::any_of(diskFullDownloads.begin(), diskFullDownloads.end(),
                       [](const DownloadModel::DownloadPtr& download) { return download->GetState() == Download::Paused; });
}

void MessagingController::OnDownloadQueueFinished()
{
    if (queuePaused || PausedForDiskFull())
        return;
    if (!failedDownloads.empty())
        ShowDownloadFailedDialog();
    else if (Utility::Preferences()->GetBool(PreferencesKeys::ShowCompletedDialog, true))
        ShowCompletedDialog();
}

void MessagingController::OnCompletedCloseClicked()
{
    completedViews->dialog->hide();
}

void MessagingController::OnCompletedShowDirClicked()
{
    Utility::ShowDownloadDirectory();
    completedViews->dialog->hide();
}

void MessagingController::OnCompletedReminderToggled()
{
    Utility::Preferences()->SetBool(PreferencesKeys::ShowCompletedDialog, !completedViews->reminderCheckBox->get_active());
    Utility::SavePreferences();
}

void MessagingController::OnDownloadFailedCloseClicked()
{
    failedViews->dialog->hide();
}

void MessagingController::OnDownloadFailedHelpClicked()
{
    const std::string address =
        ShowExpiredMessaging()
            ? Translate("sonvel_url_expired_download", HelpAddress("hp_dw_exp", "expired"))
            : Translate("sonvel_url_failed_download", HelpAddress("hp_dw_fd", "failed_download"));
    Utility::OpenURL(address.c_str());
    failedViews->dialog->hide();
}

void MessagingController::OnDownloadFailedRetryClicked()
{
    failedDownloads.clear();
    expiredDownloads.clear();
    failedViews->dialog->hide();
    RetryFailedSignal.emit();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
