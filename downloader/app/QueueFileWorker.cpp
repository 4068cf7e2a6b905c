#include "downloader/app/QueueFileWorker.h"

#include "core/diagnostic/Debug.h"
#include "downloader/app/Invokable.h"
#include "downloader/app/UtilityQueue.h"

#include <boost/make_shared.hpp>

#include <malloc.h>

#include <exception>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Threading::WorkMessage;

QueueFileWorker::QueueFileWorker(boost::shared_ptr<DownloadModel> model)
    : model(model), alive(boost::make_shared<bool>(true))
{
    announcing.connect(sigc::mem_fun(*this, &QueueFileWorker::Announce));
    saveAsked.connect(sigc::mem_fun(*this, &QueueFileWorker::Save));
    thread.Start();
}

QueueFileWorker::~QueueFileWorker() = default;

void QueueFileWorker::Import(const std::string& command, Gtk::Window* parent)
{
    const std::string file = Utility::FileNamedBy(command);
    Run([this, command, file, parent] {
        const Utility::ImportOutcome outcome =
            file.empty() ? Utility::ImportOutcome::Refused : Utility::ImportVLXFile(file.c_str(), *model);
        return Announcement([this, outcome, command, file, parent] {
            Utility::AnnounceVLXImport(outcome, (file.empty() ? command : file).c_str(), parent);
            if (outcome == Utility::ImportOutcome::NotSaved)
                SaveFailedSignal.emit();
        });
    });
}

void QueueFileWorker::Save()
{
    {
        boost::mutex::scoped_lock lock(mutex);
        if (savePending)
            return;
        savePending = true;
    }
    Run([this] {
        {
            // From here on the queue is read: what changes later needs a save of its own.
            boost::mutex::scoped_lock lock(mutex);
            savePending = false;
        }
        if (Utility::SaveDownloadQueue(*model))
            return Announcement();
        return Announcement([this] { SaveFailedSignal.emit(); });
    });
}

void QueueFileWorker::SaveSoon()
{
    EmitOnMainThread(alive, saveAsked);
}

void QueueFileWorker::SaveNow()
{
    if (!Utility::SaveDownloadQueue(*model))
        SaveFailedSignal.emit();
}

void QueueFileWorker::Finish()
{
    while (const Announcement next = NextAnnouncement(true))
        next();
}

void QueueFileWorker::Run(const std::function<Announcement()>& work)
{
    {
        boost::mutex::scoped_lock lock(mutex);
        ++unfinished;
    }
    thread.EnqueueWork([this, work](const WorkMessage& message) {
        // Nothing asks this thread to pause; a cancel comes only as it closes, and the work
        // under way, which can't be cut short, is waited for.
        if (&message != &WorkMessage::Run)
            return;
        Announcement announcement;
        // Whatever happens, the work counts as done: Finish must not wait for it for ever.
        try {
            announcement = work();
        } catch (const std::exception& error) {
            Diagnostic::Debug::LogString(std::string("QueueFileWorker: work failed: ") + error.what());
        } catch (...) {
            Diagnostic::Debug::LogString("QueueFileWorker: work failed");
        }
        // A long queue's import or save leaves a hundred MiB free in this thread's own heap,
        // which the allocator would keep for this thread alone: given back, the program is
        // no larger than when the work ran on the main thread.
        malloc_trim(0);
        Done(announcement);
    });
}

void QueueFileWorker::Done(const Announcement& announcement)
{
    {
        boost::mutex::scoped_lock lock(mutex);
        if (announcement)
            announcements.push_back(announcement);
        --unfinished;
    }
    workDone.notify_all();
    if (announcement)
        EmitOnMainThread(alive, announcing);
}

void QueueFileWorker::Announce()
{
    // A warning's dialog runs the main loop, which may tell later announcements meanwhile.
    while (const Announcement next = NextAnnouncement(false))
        next();
}

QueueFileWorker::Announcement QueueFileWorker::NextAnnouncement(bool wait)
{
    boost::mutex::scoped_lock lock(mutex);
    while (wait && unfinished > 0 && announcements.empty())
        workDone.wait(lock);
    if (announcements.empty())
        return Announcement();
    const Announcement next = announcements.front();
    announcements.pop_front();
    return next;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
