#ifndef DOWNLOADER_MODEL_DOWNLOADMODELDOWNLOAD_H
#define DOWNLOADER_MODEL_DOWNLOADMODELDOWNLOAD_H

#include "core/filesystem/FilesystemUtility.h"
#include "core/net/Download.h"
#include "core/threading/WorkMessage.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/model/DownloadType.h"

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <atomic>
#include <string>

class TiXmlElement;

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// One queued file: a transfer together with its track metadata, its local file and its
// kind. Runs on the model's worker: checks the album folder and the free space, writes a
// hidden temporary file in the album folder (resuming what an earlier run left), tries a
// failed transfer up to three times, links the finished file into place (its temporary name
// is retired, DownloadModel.h), marks it in the playlists and reports the outcome once per
// file, over restarts too. Always held by a shared pointer whose owner is the model's queue.
class DownloadModel::Download : public Vantor::Net::Download {
public:
    // The download's own bookkeeping, kept in its track's metadata and saved with the queue.
    struct MetadataKey {
        static const char* const DownloadState;
        static const char* const ErrorString;
        static const char* const NetworkErrorType;
        static const char* const LocalFileName;
        static const char* const FinishStateReported;
        static const char* const ErrorStateReported;
        static const char* const ExpireStateReported;
        static const char* const RetryCount;
        static const char* const Expired;
    };

    sigslot::signal1<Download&, sigslot::multi_threaded_local> DiskFullSignal;

    // Restores a queue file's (or the saved queue's) track: its metadata, the state it was
    // saved in (a transfer under way comes back Waiting) and, from the saved queue only, its
    // local file. Throws what the track's loading throws.
    Download(DownloadModel& model, TiXmlElement* track, Origin origin = Origin::QueueFile);
    // A download without track or address, for downloads that stand for others.
    explicit Download(DownloadModel& model);
    ~Download() override;

    // The work item the model queues: Run downloads a Waiting or Retrying download and
    // only announces the end of any other; Cancel (the model closing) stops the transfer
    // and keeps the partial file; Pause pauses.
    void WorkItemEntry(const Vantor::Threading::WorkMessage& message);

    void OnStarted() override;
    void OnFinished() override;
    bool AnnouncesEndAtOnce() const override;
    bool AcceptsContentType(const std::string& mediaType) const override;
    bool HasRoomFor(long long bytes) override;
    bool CutOutput(std::ostream& out, long long length) override;

    // The local file: the temporary file while incomplete, the final file once renamed,
    // empty when there is none.
    virtual std::string GetLocalFilename() const;
    virtual std::string GetPCID() const;
    // Paused, Canceled, LocalFileError or NetworkError.
    virtual bool CanResume();
    // Waiting again, and queued for the worker.
    virtual void Resume();
    // An ImportFailed download queued again as RetryingImport.
    virtual void RetryImport();
    virtual DownloadType GetType() const;
    virtual void OnDiskFull();

    // Forgets the local file, retiring it when it is a temporary file this program made.
    void RetireTemporaryFile();
    // Ends a run whose transfer finished: a finished file, once a saved queue holds it so, takes
    // its final name; then the end is announced. On the worker, or on the thread that tells the
    // model of that save.
    void TakeFinalName();

    // This download's owning pointer from the model's queue; empty when it is not there.
    boost::shared_ptr<Download> GetDownloadRefFromModel();
    // The link is known to be expired: this transfer's or an earlier run's.
    bool Expired();
    // The leading decimal number of the value; `defaultValue` when it is empty.
    int GetMetadataInt(const char* key, int defaultValue) const;
    void IncRetryCount();
    // Stores the state, error and local file in the track, then appends the track's XML.
    void Save(std::string& xml);

    boost::shared_ptr<Track> GetTrack() const;
    // "trackType" lower-cased, or "mp3" found from the location.
    const std::string& GetTrackType() const;

    // The album folder under the music folder, ending in the separator.
    std::string GetOutputDirectory() const;
    // The album folder's part below the music folder: "<artist>/<album>/".
    std::string GetAlbumFolder() const;
    // The final path of the file, a name not yet taken.
    std::string GetOutputFilename() const;
    // One metadata value made safe as one path component.
    std::string FormatMetadataForFilename(const char* key) const;

protected:
    // Algorithms of one run, on the worker.
    void StartDownload();
    void FinishDownload();
    void FinishOnLocalFileError();
    void FinishOnDiskFull();
    void ReportError();

    DownloadModel& model;
    boost::shared_ptr<Track> track;

private:
    void ValidateInitialState();
    void DetermineDownloadType();
    // Takes the local file the saved queue names; a queue file from outside names none.
    void RestoreLocalFilename(Origin origin);
    // A hidden temporary file this program made (or nothing yet) at `path`: where its naming puts
    // this track's, in today's music folder or a former one, no link on the way.
    bool OwnsTemporaryFile(const std::string& path) const;
    // The final name a partial file reached before a crash left it unsaved: another name in its
    // folder for the same file, which is whole (of the track's `size`, or, without one, saved as
    // finished); empty when there is none.
    std::string FinalNameOf(const std::string& temporary, unsigned long long size) const;
    // Whether a partial file of `length` bytes is the whole track: of the track's `size`, or,
    // without one, saved as finished under its partial name.
    bool HoldsWholeTrack(long long length, unsigned long long size) const;
    void SetLocalFilename(const std::string& path);
    // The file has reached its `final` name: the download names it, and its `temporary` name is
    // retired.
    void Arrive(const std::string& temporary, const std::string& final);
    // Transfers into the open temporary file (`descriptor`), trying a failed transfer up to
    // three times; a body that runs far past the track's `size` is cut off and emptied. No
    // transfer takes the room the start kept free: one stopped for room keeps only a part short
    // of the track's `size` (KeepPartWithin).
    void TransferWithRetries(std::ostream& stream, int descriptor, unsigned long long size);
    // Cuts the open temporary file after a try that stopped for room or ran past its size limit:
    // only a part short of the track's `size` stays. False where it can't be cut.
    bool KeepPartWithin(std::ostream& stream, int descriptor, unsigned long long size);
    // Sets Retrying and waits until the next try is due; false when a cancel came first, before
    // or during the wait.
    bool PauseBeforeNextTry();
    // Takes a Waiting or Retrying download for a run; false for any other.
    bool BeginRun();
    // From here on the run's end is announced: by the run, or at once by a pause or cancel.
    void EndRun();
    // Ends the run in LocalFileError with a log line.
    void FailLocally(const std::string& logLine);
    void ReportOutcome();
    bool OutputFolderIsFull() const;
    // The extension of the path of an address (its query left out).
    std::string UrlExtension(const std::string& url) const;

    std::string localFilename;
    mutable boost::mutex localFilenameMutex;
    // False from the start of a run until the run announces its end: the end of
    // each attempt is not the end of the run, and a pause or cancel meanwhile is announced
    // by the run. Changed under `stateMutex`, so that such a pause or cancel sees it.
    std::atomic<bool> ran;
    std::atomic<bool> startedReported;
    // The model is closing: a canceled transfer keeps its partial file.
    std::atomic<bool> closing;
    // The file reached its final name in this run and awaits its playlist mark.
    std::atomic<bool> arrived;
    // The saved queue holds the partial file as finished: whole, whatever its size.
    std::atomic<bool> savedWhole;
    // Which file the partial file of this run is.
    Vantor::Filesystem::FilesystemUtility::FileIdentity written;
    // The open temporary file of the transfer under way; -1 otherwise.
    int outputDescriptor;
    // What the transfer may still write: it stops before the free space of its folder's file
    // system falls below what its start asked to be free beyond the track's size. Used by the
    // worker alone.
    struct RoomWatch {
        std::string folder;
        unsigned long long reserve = 0;
        unsigned long long room = 0;    // may be written before the next look
        unsigned long long sinceLook = 0;
    } roomWatch;
    // This run's transfer stopped for want of room.
    std::atomic<bool> outOfRoom;
    DownloadType type;
    std::string trackType;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
