#include "downloader/model/DownloadModel.h"

#include "core/data/CryptoUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/filesystem/DirectoryListing.h"
#include "core/filesystem/FilesystemUtility.h"
#include "core/reporting/ReportService.h"
#include "core/reporting/SavedReports.h"
#include "downloader/model/DownloadModelDownload.h"
#include "downloader/model/DownloadModelTrack.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Filesystem::DirectoryListing;
using Vantor::Net::Download;
using Vantor::Threading::WorkMessage;

namespace {

// A partial file lies in <artist>/<album>/ below a music folder: no link on that way is followed.
const unsigned kFoldersAbovePartialFile = 2;

bool IsAnyOf(Download::State state, const std::vector<Download::State>& states)
{
    return std::find(states.begin(), states.end(), state) != states.end();
}

} // namespace

DownloadModel::DownloadModel(boost::shared_ptr<Vantor::Filesystem::FilesystemUtility> fs)
    : filesystem(fs), minimumFreeSpace(0), videoFormat(VideoFormat::MP4)
{
    worker.WorkQueueEmptySignal.connect(this, &DownloadModel::HandleDownloadQueueFinished);
    worker.Start();
}

DownloadModel::~DownloadModel()
{
    // A finished file still waiting for a save keeps its partial name: the next run takes it up.
    // A start waiting at its turn would keep the worker from ever ending.
    starts.Close();
    // A download that throws while it is told to cancel must not end the process from a
    // destructor; the worker's own destructor stops the thread and waits for it.
    try {
        worker.Cancel(true);
    } catch (...) {
        Vantor::Diagnostic::Debug::LogString("DownloadModel: a download failed to cancel while the queue closed");
    }
    // Downloads that outlive the model (held elsewhere) no longer reach it.
    disconnect_all();
}

boost::shared_ptr<DownloadModel::Track> DownloadModel::LoadTrack(TiXmlElement* track)
{
    return boost::shared_ptr<Track>(new Track(track));
}

void DownloadModel::AddDownload(DownloadPtr download)
{
    ConnectDownloadSignals(*download);
    {
        // Found by its address at once: its state change below is told with its owning pointer.
        boost::mutex::scoped_lock senderLock(senderMutex);
        senders[download.get()] = download;
    }

    bool runs = false;
    if (download->GetState() == Download::ImportFailed)
        download->SetState(Download::RetryingImport);
    if (download->GetState() == Download::RetryingImport) {
        runs = true;
    } else if ((download->GetState() == Download::Waiting || download->CanResume()) && !download->Expired()) {
        download->SetState(Download::Waiting);
        runs = true;
    }

    DownloadAddedSignal.emit(download);
    if (download->GetType() == DownloadType::Video || download->GetType() == DownloadType::Document)
        NonAudioDownloadAddedSignal.emit(download);
    // Only now in the queue, where another thread may clear it: its removal can't be told
    // before its addition, which would leave it listed for good.
    {
        boost::mutex::scoped_lock lock(queueMutex);
        queue.push_back(download);
    }
    if (runs)
        EnqueueForDownload(download);
}

void DownloadModel::EnqueueForDownload(DownloadPtr download)
{
    {
        // The worker tells of the queue's end again once this has run.
        boost::mutex::scoped_lock lock(savedFilesMutex);
        queueEndOwed = false;
    }
    const bool held = starts.Held();
    worker.EnqueueWork([this, download, held](const WorkMessage& message) {
        // A held start keeps the worker at this turn: the queue does not seem to have ended.
        if (&message == &WorkMessage::Run && !starts.Await(held))
            return;
        download->WorkItemEntry(message);
    });
}

void DownloadModel::HoldStarts()
{
    starts.Hold();
}

void DownloadModel::ReleaseStarts()
{
    starts.Release();
}

void DownloadModel::StopStarts()
{
    starts.Stop();
}

void DownloadModel::AllowStarts()
{
    starts.Allow();
}

void DownloadModel::RemoveDownloadsHavingStates(const std::vector<Download::State>& states)
{
    if (states.empty())
        return;
    boost::mutex::scoped_lock lock(queueMutex);
    // The kept downloads move up over the removed ones in one pass: erasing each removed one
    // on its own would move all behind it every time, which for a long queue of finished
    // downloads costs time in the square of its length.
    auto kept = queue.begin();
    for (auto entry = queue.begin(); entry != queue.end(); ++entry) {
        const DownloadPtr download = *entry;
        // Downloaded, with its run going on: its file is still on its way to its final name,
        // which a save without it would lose after a crash.
        const bool arriving = download->GetState() == Download::Downloaded && !download->AnnouncesEndAtOnce();
        if (!IsAnyOf(download->GetState(), states) || arriving) {
            *kept++ = download;
            continue;
        }
        if (download->GetState() != Download::Downloaded)
            download->RetireTemporaryFile();
        DisconnectDownloadSignals(*download);
        {
            boost::mutex::scoped_lock senderLock(senderMutex);
            senders.erase(download.get());
        }
        DownloadRemovedSignal.emit(download);
    }
    queue.erase(kept, queue.end());
    if (queue.empty()) {
        // An import recording its playlists is about to fill the queue again: they stay. Only
        // tried, as the import takes the queue mutex inside this one.
        boost::mutex::scoped_try_lock recording(recordingMutex);
        if (recording.owns_lock())
            playlistLibrary.Clear();
    }
}

void DownloadModel::ClearFinished()
{
    RemoveDownloadsHavingStates({Download::Downloaded, Download::Canceled});
}

void DownloadModel::ClearErroneous()
{
    RemoveDownloadsHavingStates({Download::LocalFileError, Download::NetworkError, Download::ImportFailed});
}

bool DownloadModel::HasActiveDownloads() const
{
    boost::mutex::scoped_lock lock(queueMutex);
    return std::any_of(queue.begin(), queue.end(), [](const DownloadPtr& download) {
        return IsAnyOf(download->GetState(), {Download::Waiting, Download::Downloading, Download::Retrying});
    });
}

unsigned DownloadModel::CountDownloads() const
{
    boost::mutex::scoped_lock lock(queueMutex);
    return static_cast<unsigned>(queue.size());
}

DownloadModel::DownloadPtr DownloadModel::GetDownloadAt(unsigned index) const
{
    boost::mutex::scoped_lock lock(queueMutex);
    return queue.at(index);
}

std::vector<DownloadModel::DownloadPtr> DownloadModel::GetDownloads() const
{
    boost::mutex::scoped_lock lock(queueMutex);
    return queue;
}

DownloadModel::SaveMark DownloadModel::Save(FILE* file) const
{
    // The text TinyXML's stream printer gives for the document of a declaration and
    // <playlist><trackList> with a <track> per download, written directly.
    static const std::string kTrackListStart = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><playlist><trackList>";
    std::string xml = kTrackListStart;
    boost::mutex::scoped_lock saving(saveMutex);
    SaveMark mark;
    {
        // Taken before the tracks are read: a file retired before is named below no more (its
        // download names another with the retirement), and a download finished before is written
        // below finished under its partial name.
        boost::mutex::scoped_lock lock(savedFilesMutex);
        mark = {retirements, finishes};
    }
    // The queue is held only while its downloads are counted out, not while a long queue's
    // text is made: the main thread asks the queue at every event and would wait for it.
    std::vector<DownloadPtr> downloads;
    {
        boost::mutex::scoped_lock lock(queueMutex);
        downloads = queue;
    }
    // A download sends a report and notes that it did under its state lock: each is written
    // under that lock too, so that the reports saved below are exactly those it noted.
    std::map<const void*, unsigned long long> reportsMade;
    for (const DownloadPtr& download : downloads) {
        boost::recursive_mutex::scoped_lock lock(download->stateMutex);
        download->Save(xml);
        reportsMade[download.get()] = Vantor::Reporting::ReportService::Made();
    }
    if (xml.size() == kTrackListStart.size())
        xml.replace(xml.size() - 1, 1, " />");
    else
        xml += "</trackList>";
    Vantor::Reporting::SavedReports::AppendXml(Vantor::Reporting::ReportService::ForSave(reportsMade), xml);
    xml += "</playlist>";
    Vantor::Data::CryptoUtility::EncryptVLXFile(file, xml);
    return mark;
}

void DownloadModel::SaveLanded(const SaveMark& mark)
{
    std::vector<std::string> due;
    {
        boost::mutex::scoped_lock lock(savedFilesMutex);
        for (; !retired.empty() && retired.front().first < mark.retirements; retired.pop_front())
            due.push_back(retired.front().second);
    }
    ReleaseFinished(mark.finishes);
    if (due.empty())
        return;
    // A retired file that vanished meanwhile (the user's doing) freed its name for another
    // track, whose file it is now.
    const std::set<std::string> named = NamedFiles();
    for (const std::string& path : due)
        if (!named.count(path))
            filesystem->DeleteFileWithoutLinks(path.c_str(), kFoldersAbovePartialFile);
}

void DownloadModel::SaveFailed()
{
    {
        boost::mutex::scoped_lock lock(savedFilesMutex);
        if (finished.empty())
            return;
    }
    // Nothing better can be done than what was done before the saves ran behind.
    Vantor::Diagnostic::Debug::LogString("DownloadModel: the queue was not saved; finished files take their final names "
                                         "before a saved queue names them");
    ReleaseFinished(ULLONG_MAX);
}

void DownloadModel::SetSaver(const std::function<void()>& asked)
{
    saver.Set(asked);
}

void DownloadModel::RemoveOrphanedPartialFiles()
{
    // Listed before the names in use are taken: a file the worker makes meanwhile is named
    // by its download before it is made.
    std::vector<std::string> found;
    const std::string music = filesystem->GetSpecialDirectory(Vantor::Filesystem::FilesystemUtility::MusicDirectory);
    for (const DirectoryListing::Entry& artist : DirectoryListing::Of(music)) {
        if (!S_ISDIR(artist.status.st_mode))
            continue;
        for (const DirectoryListing::Entry& album : DirectoryListing::Of(music + artist.name)) {
            if (!S_ISDIR(album.status.st_mode))
                continue;
            const std::string folder = music + artist.name + "/" + album.name + "/";
            for (const DirectoryListing::Entry& file : DirectoryListing::Of(folder))
                if (S_ISREG(file.status.st_mode) && filesystem->IsTemporaryFilename(file.name))
                    found.push_back(folder + file.name);
        }
    }
    // The queue first: a download gives up its file (and retires it) before it leaves the queue.
    std::set<std::string> kept = NamedFiles();
    {
        boost::mutex::scoped_lock lock(savedFilesMutex);
        for (const auto& entry : retired)
            kept.insert(entry.second);
    }
    for (const std::string& path : found)
        if (!kept.count(path))
            filesystem->DeleteFileWithoutLinks(path.c_str(), kFoldersAbovePartialFile);
}

void DownloadModel::RetireFile(const std::string& path, const std::function<void()>& rename)
{
    boost::mutex::scoped_lock lock(savedFilesMutex);
    retired.emplace_back(retirements++, path);
    rename();
}

bool DownloadModel::AwaitSave(const DownloadPtr& download)
{
    {
        boost::mutex::scoped_lock lock(savedFilesMutex);
        finished.emplace_back(finishes++, download);
    }
    if (saver())
        return true;
    // Nobody saves. Unless a save told meanwhile has taken it on, it goes on at once.
    boost::mutex::scoped_lock lock(savedFilesMutex);
    const auto waiting = std::find_if(finished.begin(), finished.end(), [&](const auto& entry) { return entry.second == download; });
    if (waiting == finished.end())
        return true;
    finished.erase(waiting);
    return false;
}

void DownloadModel::ReleaseFinished(unsigned long long limit)
{
    std::vector<DownloadPtr> released;
    {
        boost::mutex::scoped_lock lock(savedFilesMutex);
        for (; !finished.empty() && finished.front().first < limit; finished.pop_front())
            released.push_back(finished.front().second);
        arriving += released.size();
    }
    for (const DownloadPtr& download : released)
        download->TakeFinalName();
    bool queueEnded = false;
    {
        boost::mutex::scoped_lock lock(savedFilesMutex);
        arriving -= released.size();
        queueEnded = queueEndOwed && finished.empty() && arriving == 0;
        queueEndOwed = queueEndOwed && !queueEnded;
    }
    if (queueEnded)
        DownloadQueueFinishedSignal.emit();
}

std::set<std::string> DownloadModel::NamedFiles() const
{
    std::set<std::string> named;
    boost::mutex::scoped_lock lock(queueMutex);
    for (const DownloadPtr& download : queue)
        named.insert(download->GetLocalFilename());
    return named;
}

void DownloadModel::SetMinimumDiskSpaceBytes(unsigned long long bytes)
{
    minimumFreeSpace = bytes;
}

unsigned long long DownloadModel::GetMinimumDiskSpaceBytes() const
{
    return minimumFreeSpace;
}

void DownloadModel::SetSelectedVideoFormat(VideoFormat format)
{
    videoFormat = format;
}

VideoFormat DownloadModel::GetSelectedVideoFormat() const
{
    return videoFormat;
}

PlaylistLibrary& DownloadModel::GetPlaylistLibrary()
{
    return playlistLibrary;
}

Vantor::Filesystem::FilesystemUtility& DownloadModel::GetFilesystem() const
{
    return *filesystem;
}

void DownloadModel::ConnectDownloadSignals(Download& download)
{
    download.StartedSignal.connect(this, &DownloadModel::HandleDownloadStarted);
    download.StateChangedSignal.connect(this, &DownloadModel::HandleDownloadStateChanged);
    download.ProgressChangedSignal.connect(this, &DownloadModel::HandleDownloadProgressChanged);
    download.FinishedSignal.connect(this, &DownloadModel::HandleDownloadFinished);
    download.DiskFullSignal.connect(this, &DownloadModel::HandleDownloadDiskFull);
}

void DownloadModel::DisconnectDownloadSignals(Download& download)
{
    download.StartedSignal.disconnect(this);
    download.StateChangedSignal.disconnect(this);
    download.ProgressChangedSignal.disconnect(this);
    download.FinishedSignal.disconnect(this);
    download.DiskFullSignal.disconnect(this);
}

DownloadModel::DownloadPtr DownloadModel::SenderPointer(const Vantor::Net::Download& sender)
{
    boost::mutex::scoped_lock lock(senderMutex);
    const auto found = senders.find(&sender);
    return found == senders.end() ? DownloadPtr() : found->second;
}

void DownloadModel::HandleDownloadStarted(Vantor::Net::Download& sender)
{
    DownloadStartedSignal.emit(SenderPointer(sender));
}

void DownloadModel::HandleDownloadStateChanged(Vantor::Net::Download& sender, Download::State state)
{
    DownloadStateChangedSignal.emit(SenderPointer(sender), state);
}

void DownloadModel::HandleDownloadProgressChanged(Vantor::Net::Download& sender, Download::Progress kind, long long value)
{
    DownloadProgressChangedSignal.emit(SenderPointer(sender), kind, value);
}

void DownloadModel::HandleDownloadFinished(Vantor::Net::Download& sender)
{
    DownloadFinishedSignal.emit(SenderPointer(sender));
}

void DownloadModel::HandleDownloadDiskFull(Download& sender)
{
    DownloadDiskFullSignal.emit(SenderPointer(sender));
}

void DownloadModel::HandleDownloadQueueFinished()
{
    {
        // Told once the last finished file has taken its final name, which may yet fail.
        boost::mutex::scoped_lock lock(savedFilesMutex);
        if (!finished.empty() || arriving > 0) {
            queueEndOwed = true;
            return;
        }
    }
    DownloadQueueFinishedSignal.emit();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
