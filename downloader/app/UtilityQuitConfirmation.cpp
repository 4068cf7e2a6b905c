#include "downloader/app/UtilityQuitConfirmation.h"

#include "core/settings/UtilityPreferences.h"
#include "core/localization/TranslationService.h"
#include "core/reporting/ReportService.h"
#include "downloader/model/DownloadModelDownload.h"

#include <gtkmm/messagedialog.h>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

namespace {

bool UserWantsToQuit()
{
    Gtk::MessageDialog question(Translate("sonvel_dlg_confirm_quit_desc",
                                          "There are still active downloads, are you sure you want to exit?"),
                                false, Gtk::MESSAGE_QUESTION, Gtk::BUTTONS_NONE, true);
    // Labels of our own: the stock ones follow the system's language, not the program's.
    question.add_button(Translate("sonvel_button_no", "No"), Gtk::RESPONSE_NO);
    question.add_button(Translate("sonvel_button_yes", "Yes"), Gtk::RESPONSE_YES);
    question.set_title(Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"));
    // Closing the box counts as yes: only an explicit no keeps the program running.
    return question.run() != Gtk::RESPONSE_NO;
}

} // namespace

bool ConfirmQuit(DownloadModel& model, QueueFileWorker& queueFiles)
{
    // Nothing new starts unless the user stays: the worker takes the next download as soon as
    // the one under way ends, before the pausing below would come to it.
    model.StopStarts();
    // A file being read, or handed over, is imported, saved and deleted (or warned about)
    // first: the question is asked when its tracks are to download, the save below is the
    // last, and nothing may be left half done when the program ends. With a long file the user
    // waits for it here.
    queueFiles.Finish();
    if (model.HasActiveDownloads() && !UserWantsToQuit()) {
        model.AllowStarts();
        return false;
    }

    model.ClearFinished();
    for (unsigned index = model.CountDownloads(); index-- > 0;)
        model.GetDownloadAt(index)->Pause();
    // Reports end first: the last save then holds each report the store has not answered, and
    // none that it answers after the save is sent again at the next start.
    Reporting::ReportService::Stop();
    // A failure is told before the program ends.
    queueFiles.SaveNow();
    SavePreferences();
    return true;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
