#include "downloader/ui/ToolbarController.h"

#include "core/localization/TranslationService.h"
#include "downloader/app/UtilityBrowser.h"
#include "downloader/app/UtilityPaths.h"
#include "downloader/model/DownloadModelDownload.h"

#include <boost/make_shared.hpp>
#include <gtkmm/image.h>
#include <gtkmm/messagedialog.h>

#include <future>
#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Localization::Translate;
using Vantor::Net::Download;

namespace {

// Gives `button` an icon of its own; the button owns it.
void SetIcon(Gtk::ToolButton& button, const std::string& imageName)
{
    Gtk::Image* icon = Gtk::manage(new Gtk::Image(Utility::GetPixbuf(imageName)));
    button.set_icon_widget(*icon);
    icon->show();
}

// Asks whether the failed downloads should go as well. Closing the question counts as no.
bool UserWantsErroneousCleared()
{
    Gtk::MessageDialog question(
        Translate("sonvel_dlg_clear_erroneous_desc",
                  "Your download queue contains erroneous downloads, would you like to clear these as well?"),
        false, Gtk::MESSAGE_QUESTION, Gtk::BUTTONS_NONE, true);
    question.add_button(Translate("sonvel_button_no", "No"), Gtk::RESPONSE_NO);
    question.add_button(Translate("sonvel_button_yes", "Yes"), Gtk::RESPONSE_YES);
    question.set_title(Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"));
    return question.run() == Gtk::RESPONSE_YES;
}

} // namespace

ToolbarController::ToolbarController(boost::shared_ptr<DownloadModel> model, QueueFileWorker& queueFiles)
    : model(model), queueFiles(queueFiles), proxy(model)
{
    commands.Start();
    Initialize();
    Localize();
}

ToolbarController::~ToolbarController() = default;

void ToolbarController::Initialize()
{
    const Glib::RefPtr<Gnome::Glade::Xml> glade = Utility::GetGlade("MainWindow");
    glade->get_widget("PauseButton", pauseButton);
    glade->get_widget("ResumeButton", resumeButton);
    glade->get_widget("ClearButton", clearButton);
    glade->get_widget("ShowDownloadsButton", showDownloadsButton);

    SetIcon(*pauseButton, "toolbar_pause.png");
    SetIcon(*resumeButton, "toolbar_resume.png");
    SetIcon(*clearButton, "toolbar_clear.png");

    // Nothing to pause, resume or clear yet; the download folder can always be shown.
    pauseButton->set_sensitive(false);
    resumeButton->set_sensitive(false);
    clearButton->set_sensitive(false);

    ConnectSignals();
    ResumeAllDownloads();
}

void ToolbarController::Localize()
{
    pauseButton->set_label(Translate("sonvel_toolbar_pause", "Pause Downloads"));
    resumeButton->set_label(Translate("sonvel_toolbar_resume", "Resume Downloads"));
    clearButton->set_label(Translate("sonvel_toolbar_clear", "Clear Completed"));
    showDownloadsButton->set_label(Translate("sonvel_toolbar_reveal_gtk", "View Download Directory"));
}

void ToolbarController::ConnectSignals()
{
    proxy.DownloadAddedSignal.connect(sigc::mem_fun(*this, &ToolbarController::OnDownloadAdded));
    proxy.DownloadStartedSignal.connect(sigc::mem_fun(*this, &ToolbarController::OnDownloadStarted));
    proxy.DownloadFinishedSignal.connect(sigc::mem_fun(*this, &ToolbarController::OnDownloadFinished));
    proxy.DownloadQueueFinishedSignal.connect(sigc::mem_fun(*this, &ToolbarController::OnDownloadQueueFinished));
    pauseButton->signal_clicked().connect(sigc::mem_fun(*this, &ToolbarController::OnPauseButtonPressed));
    resumeButton->signal_clicked().connect(sigc::mem_fun(*this, &ToolbarController::OnResumeButtonPressed));
    clearButton->signal_clicked().connect(sigc::mem_fun(*this, &ToolbarController::OnClearButtonPressed));
    showDownloadsButton->signal_clicked().connect(sigc::mem_fun(*this, &ToolbarController::OnShowDownloadsPressed));
    Utility::VLXEnqueuedSignal().connect(sigc::mem_fun(*this, &ToolbarController::OnVLXEnqueued));
}

void ToolbarController::PauseAllDownloads()
{
    // The buttons follow from the finished and queue-finished events that pausing causes.
    OnEach(boost::make_shared<const Downloads>(model->GetDownloads()), &DownloadModel::Download::Pause);
}

void ToolbarController::ResumeAllDownloads()
{
    failed = finished = paused = expired = false;
    const boost::shared_ptr<Downloads> resumed = boost::make_shared<Downloads>();
    for (const DownloadModel::DownloadPtr& download : model->GetDownloads()) {
        // An expired link fails again whenever it is tried.
        if (download->GetState() == Download::NetworkError && download->Expired())
            expired = true;
        else if (download->GetState() == Download::Downloaded)
            finished = true;
        else
            resumed->push_back(download);
    }
    OnEach(resumed, &DownloadModel::Download::Resume);
    clearButton->set_sensitive(expired || finished);
    // Pause becomes sensitive with the next download that starts.
    SetResumeSensitive(false);
    ResumedSignal.emit();
}

void ToolbarController::ClearCompletedDownloads()
{
    const bool clearErroneous = (failed || expired) && UserWantsErroneousCleared();
    finished = false;
    if (clearErroneous)
        failed = expired = false;
    clearButton->set_sensitive(failed || expired);
    const boost::shared_ptr<DownloadModel> queue = model;
    const unsigned long resumeSetBefore = resumeSettings;
    Run(
        [queue, clearErroneous] {
            queue->ClearFinished();
            if (clearErroneous)
                queue->ClearErroneous();
        },
        [this, resumeSetBefore] {
            // This comes once the queue files' thread is through the saves ahead of it, seconds
            // later with a long queue: Resume follows the queue as it is now, unless a later
            // event (Pause or Resume clicked meanwhile, the queue's end) has set it since.
            if (resumeSettings == resumeSetBefore)
                SetResumeSensitive(failed || HasPausedDownloads(*model));
            // Asked for once the downloads are gone: a save asked for before, and not begun,
            // would still hold them. When the save fails, the queue saved before stays as it was.
            queueFiles.Save();
        });
}

void ToolbarController::SetResumeSensitive(bool sensitive)
{
    resumeButton->set_sensitive(sensitive);
    ++resumeSettings;
}

void ToolbarController::OnEach(const boost::shared_ptr<const Downloads>& downloads, void (DownloadModel::Download::*operation)())
{
    Run(
        [downloads, operation] {
            for (const DownloadModel::DownloadPtr& download : *downloads)
                ((*download).*operation)();
        },
        QueueFileWorker::Announcement());
}

void ToolbarController::Run(const std::function<void()>& command, const QueueFileWorker::Announcement& then)
{
    // Ready once the command has run, or once it is dropped unrun as the toolbar goes.
    const boost::shared_ptr<std::promise<void>> ran = boost::make_shared<std::promise<void>>();
    const std::shared_future<void> done = ran->get_future().share();
    commands.EnqueueWork([command, ran](const Vantor::Threading::WorkMessage& message) {
        // Nothing asks this thread to pause; a cancel comes only as it closes, and the command
        // under way is waited for.
        if (&message != &Vantor::Threading::WorkMessage::Run)
            return;
        command();
        ran->set_value();
    });
    queueFiles.Run([done, then] {
        done.wait();
        return then;
    });
}

bool ToolbarController::HasPausedDownloads(const DownloadModel& queue)
{
    for (const DownloadModel::DownloadPtr& download : queue.GetDownloads()) {
        switch (download->GetState()) {
        case Download::Paused:
        case Download::Pausing:
        case Download::Canceled:
        case Download::Canceling:
            return true;
        default:
            break;
        }
    }
    return false;
}

void ToolbarController::OnDownloadAdded(DownloadModel::DownloadPtr download)
{
    OnDownloadFinished(download);
    // The paused flag stays set, so Resume is offered at the next queue end.
    if (download->GetState() == Download::Paused)
        download->Resume();
}

void ToolbarController::OnDownloadStarted(const DownloadModel::DownloadPtr)
{
    pauseButton->set_sensitive(true);
}

void ToolbarController::OnDownloadFinished(const DownloadModel::DownloadPtr download)
{
    // Events come late: the state is the one the download has now.
    switch (download->GetState()) {
    case Download::Downloaded:
    case Download::Canceled:
        finished = true;
        clearButton->set_sensitive(true);
        break;
    case Download::Paused:
        paused = true;
        break;
    case Download::LocalFileError:
    case Download::NetworkError:
        (download->Expired() ? expired : failed) = true;
        clearButton->set_sensitive(true);
        break;
    default:
        break;
    }
}

void ToolbarController::OnDownloadQueueFinished()
{
    pauseButton->set_sensitive(false);
    SetResumeSensitive(failed || paused);
}

void ToolbarController::OnPauseButtonPressed()
{
    // Told first: what follows the pause then covers the downloads queued from here on, and
    // the ones before are those paused.
    PausedSignal.emit();
    PauseAllDownloads();
}

void ToolbarController::OnResumeButtonPressed()
{
    ResumeAllDownloads();
}

void ToolbarController::OnClearButtonPressed()
{
    ClearCompletedDownloads();
}

void ToolbarController::OnShowDownloadsPressed()
{
    Utility::ShowDownloadDirectory();
}

void ToolbarController::OnVLXEnqueued()
{
    // Paused downloads of an earlier run go on as well.
    ResumeAllDownloads();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
