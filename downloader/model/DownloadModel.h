#ifndef DOWNLOADER_MODEL_DOWNLOADMODEL_H
#define DOWNLOADER_MODEL_DOWNLOADMODEL_H

#include "core/net/Download.h"
#include "core/sigslot/sigslot.h"
#include "core/threading/ReplaceableCall.h"
#include "core/threading/ServerThread.h"
#include "downloader/model/DownloadType.h"
#include "downloader/model/PlaylistLibrary.h"
#include "downloader/model/StartGate.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class TiXmlElement;

namespace Vantor::Filesystem {
class FilesystemUtility;
}

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The download queue: every queued file in the order it came, one worker thread that
// downloads them one at a time, the purchase's playlists, and signals through which a user
// interface follows each download. Each nested type has a header of its own named after the
// model and the type: DownloadModelTrack.h holds Track, DownloadModelDownload.h Download.
//
// Locks, outermost first: the import's recording mutex, the save mutex, the queue mutex, a
// download's own signal mutex, the sender-map mutex, a model signal's mutex; innermost the
// final-names mutex (held while a download's track and the preferences are read), the saved-files
// mutex (held while a download's file name changes with a retirement), a download's track and
// file-name locks, and the start gate's. (Clearing only tries the recording mutex, inside the
// queue mutex.) The saver is asked with no other lock held, and takes only its own locks; a
// save's landing is told with no lock held.
//
// A partial file the queue gives up (canceled, cleared, left in another album folder, or the
// temporary name of a finished file) is not deleted at once: the saved queue on disk may still
// name it, and a crash before the next save would have that track resume from whatever file
// then bore the name. It is retired instead, and deleted once a save that no longer names it
// is on disk. Until then its file keeps the name from being handed to another track.
// A finished file likewise reaches its final name only once a saved queue on disk holds it
// finished under its partial name: before, a crash would leave a saved queue that fetches the
// track again into a second file, or one that can't tell the whole file from a part of it. It
// waits for that save, which it asks of the saver the application registers, without holding up
// the worker: the landing of the save gives every file finished before it its final name, on
// the thread that tells of the landing, and only then is the download's end announced (and, once
// none waits any more, the end of the queue).
// DownloadRemovedSignal is emitted with the queue mutex held: its slots must not call back
// into the model.
class DownloadModel : public sigslot::has_slots<sigslot::multi_threaded_local>, private boost::noncopyable {
public:
    class Track;
    class Download;

    typedef boost::shared_ptr<Download> DownloadPtr;

    // Where a queue file comes from. Only the program's own saved queue names local files (a
    // partial file to resume, also in a former music folder, or a finished one); a queue file from
    // outside names none: its tracks start afresh.
    enum class Origin { QueueFile, SavedQueue };

    // On the caller's thread, the queue mutex held.
    sigslot::signal1<DownloadPtr, sigslot::multi_threaded_local> DownloadRemovedSignal;
    // On the caller's thread, for every download added.
    sigslot::signal1<DownloadPtr, sigslot::multi_threaded_local> DownloadAddedSignal;
    // After DownloadAddedSignal, for videos and documents.
    sigslot::signal1<DownloadPtr, sigslot::multi_threaded_local> NonAudioDownloadAddedSignal;
    // The worker's.
    sigslot::signal1<const DownloadPtr, sigslot::multi_threaded_local> DownloadStartedSignal;
    // The worker's; the caller's when a download that is not transferring is paused or canceled.
    sigslot::signal1<const DownloadPtr, sigslot::multi_threaded_local> DownloadFinishedSignal;
    sigslot::signal1<const DownloadPtr, sigslot::multi_threaded_local> DownloadDiskFullSignal;
    // The worker's, whenever a work item leaves its queue empty.
    sigslot::signal0<sigslot::multi_threaded_local> DownloadQueueFinishedSignal;
    sigslot::signal3<const DownloadPtr, Vantor::Net::Download::Progress, long long, sigslot::multi_threaded_local>
        DownloadProgressChangedSignal;
    // On whichever thread changes the state.
    sigslot::signal2<const DownloadPtr, Vantor::Net::Download::State, sigslot::multi_threaded_local>
        DownloadStateChangedSignal;

    // Starts the worker.
    explicit DownloadModel(boost::shared_ptr<Vantor::Filesystem::FilesystemUtility> fs);
    // Drops the queued work and stops the download under way, keeping its partial file for
    // the next run.
    ~DownloadModel() override;

    // What an import made of a queue file: its tracks added; nothing, as nothing could be read
    // from it; or nothing, as the playlist database did not take its playlists (held by another
    // program, or not to be opened).
    enum class ImportResult { Added, Unreadable, PlaylistsRefused };
    // Imports an open queue file (plain or encrypted). Neither flushes nor closes the file.
    ImportResult AddTracks(FILE* file, Origin origin = Origin::QueueFile);

    // The metadata of one queued file read from a queue file's <track> element; a null
    // element gives an empty track.
    static boost::shared_ptr<Track> LoadTrack(TiXmlElement* track);

    // Appends a download to the queue. One that can still run is set to Waiting (that
    // state change is announced before DownloadAddedSignal) and queued for the worker. It
    // enters the queue once its addition is announced: no removal is announced before it.
    void AddDownload(DownloadPtr download);
    // Queues one run of the download on the worker; the work item keeps it alive.
    void EnqueueForDownload(DownloadPtr download);
    // Downloads queued for the worker from now on wait, when their turn comes, until every
    // hold is released: an import holds the starts of its tracks until its file is dealt with.
    void HoldStarts();
    void ReleaseStarts();
    // No download begins a run from now on until AllowStarts, whenever it was queued; the run
    // under way goes on.
    void StopStarts();
    void AllowStarts();

    // Removes every download in one of `states`, retiring the partial file of each that is
    // not Downloaded; a Downloaded one whose file has yet to reach its final name stays. The playlists are forgotten when the queue ends up empty, unless an
    // import on another thread is recording new ones.
    void RemoveDownloadsHavingStates(const std::vector<Vantor::Net::Download::State>& states);
    // Downloaded and Canceled.
    void ClearFinished();
    // LocalFileError, NetworkError and ImportFailed.
    void ClearErroneous();

    // Some download Waiting, Downloading or Retrying.
    bool HasActiveDownloads() const;
    unsigned CountDownloads() const;
    // Throws std::out_of_range for an index past the end.
    DownloadPtr GetDownloadAt(unsigned index) const;
    // The queue as it is now: a walk through it that another thread may change meanwhile.
    std::vector<DownloadPtr> GetDownloads() const;

    // What a save holds: the files retired and the downloads finished before it.
    struct SaveMark {
        unsigned long long retirements = 0;
        unsigned long long finishes = 0;
    };
    // Writes the whole queue, encrypted, to an open file. Neither flushes nor closes it.
    // Returns what the save holds, to be handed to SaveLanded once it is on disk.
    SaveMark Save(FILE* file) const;
    // A save is on disk: the files retired before `mark` are deleted, except one a queued
    // download names again, and the files finished before it take their final names (on the
    // calling thread, which then announces the end of their downloads).
    void SaveLanded(const SaveMark& mark);
    // A save did not reach the disk: what it would have deleted stays, as the saved queue on
    // disk may still name it; the finished files waiting for a save go on without one.
    void SaveFailed();
    // How a download asks for a save of the queue, on the worker; SaveLanded or SaveFailed must
    // follow. Without one (empty) no finished file waits for a save.
    void SetSaver(const std::function<void()>& saver);
    // Deletes the hidden partial files in the album folders of the music folder
    // (<music>/<artist>/<album>/, no folder of them a link) that no queued download names and
    // none is retired: what a crash left before any save named it. Only once the saved queue has
    // been read; downloads may run meanwhile.
    void RemoveOrphanedPartialFiles();

    // Added to each file's size when checking the free space.
    void SetMinimumDiskSpaceBytes(unsigned long long bytes);
    unsigned long long GetMinimumDiskSpaceBytes() const;
    void SetSelectedVideoFormat(VideoFormat format);
    VideoFormat GetSelectedVideoFormat() const;
    PlaylistLibrary& GetPlaylistLibrary();
    Vantor::Filesystem::FilesystemUtility& GetFilesystem() const;

    void ConnectDownloadSignals(Download& download);
    void DisconnectDownloadSignals(Download& download);

    // A download's events, handed on as the model's with the download's shared pointer.
    void HandleDownloadStarted(Vantor::Net::Download& sender);
    void HandleDownloadStateChanged(Vantor::Net::Download& sender, Vantor::Net::Download::State state);
    void HandleDownloadProgressChanged(Vantor::Net::Download& sender, Vantor::Net::Download::Progress kind,
                                       long long value);
    void HandleDownloadFinished(Vantor::Net::Download& sender);
    void HandleDownloadDiskFull(Download& sender);
    void HandleDownloadQueueFinished();

private:
    // The owning pointer of a download in the queue; empty for one not in it.
    DownloadPtr SenderPointer(const Vantor::Net::Download& sender);
    // Hands a download's partial file over to be deleted after the next save, as `rename` has
    // the download name its new local file instead: both at once, so that a save that counts
    // the retirement sees the new name, and the sweep for orphans finds the file named or
    // retired.
    void RetireFile(const std::string& path, const std::function<void()>& rename);
    // A finished download, its file still under its partial name, waits for a save that holds
    // it so (asked of the saver here); false, to take its final name at once, without a saver.
    bool AwaitSave(const DownloadPtr& download);
    // The finished files counted before `limit` take their final names; then the queue's end is
    // announced, when the worker found it while they waited and none waits any more.
    void ReleaseFinished(unsigned long long limit);
    // The local files of the queued downloads.
    std::set<std::string> NamedFiles() const;

    boost::shared_ptr<Vantor::Filesystem::FilesystemUtility> filesystem;
    std::vector<DownloadPtr> queue;
    // Every download of the queue by its address: how a download's event, or a download asked
    // to resume, finds its owning pointer without a walk through the queue. An added download
    // is here from just before it enters the queue; a removed one leaves it with the queue,
    // under both mutexes.
    std::unordered_map<const Vantor::Net::Download*, DownloadPtr> senders;
    PlaylistLibrary playlistLibrary;
    mutable boost::mutex queueMutex;
    boost::mutex senderMutex;
    // Held by an import from recording its playlists until its downloads are in the queue.
    boost::mutex recordingMutex;
    // Each retired file with its number in the order of retirement, oldest first.
    std::deque<std::pair<unsigned long long, std::string>> retired;
    unsigned long long retirements = 0;
    // Each finished download waiting for a save, with its number in the order of finishing.
    std::deque<std::pair<unsigned long long, DownloadPtr>> finished;
    unsigned long long finishes = 0;
    // Taken from `finished` by a save's landing and not yet announced.
    size_t arriving = 0;
    // The worker found its queue empty while finished files waited for a save.
    bool queueEndOwed = false;
    mutable boost::mutex savedFilesMutex;
    Vantor::Threading::ReplaceableCall saver;
    // Held while a final name is chosen and taken: the worker and a save's landing both take them.
    boost::mutex finalNamesMutex;
    StartGate starts;
    // One save at a time, each writing its downloads' state into their tracks.
    mutable boost::mutex saveMutex;
    Vantor::Threading::ServerThread worker;
    std::atomic<unsigned long long> minimumFreeSpace;
    VideoFormat videoFormat;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
