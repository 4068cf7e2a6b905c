#include "downloader/model/DownloadModelDownload.h"

#include "core/data/StringUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/filesystem/DirectoryListing.h"
#include "core/filesystem/FilesystemUtility.h"
#include "core/filesystem/RegularFile.h"
#include "core/reporting/ReportService.h"
#include "downloader/model/DownloadModelTrack.h"
#include "downloader/model/StoreNamespace.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/format.hpp>
#include <boost/iostreams/device/file_descriptor.hpp>
#include <boost/iostreams/stream.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <map>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Data::StringUtility;
using Vantor::Diagnostic::Debug;
using Vantor::Filesystem::DirectoryListing;
using Vantor::Filesystem::FilesystemUtility;
using Vantor::Filesystem::RegularFile;
using Vantor::Filesystem::invalid_path_exception;
using Vantor::Reporting::ReportService;
using Vantor::Threading::WorkMessage;

const char* const DownloadModel::Download::MetadataKey::DownloadState = "downloadState";
const char* const DownloadModel::Download::MetadataKey::ErrorString = "errorString";
const char* const DownloadModel::Download::MetadataKey::NetworkErrorType = "networkErrorType";
const char* const DownloadModel::Download::MetadataKey::LocalFileName = "localFilename";
const char* const DownloadModel::Download::MetadataKey::FinishStateReported = "finishedStateReported";
const char* const DownloadModel::Download::MetadataKey::ErrorStateReported = "errorStateReported";
const char* const DownloadModel::Download::MetadataKey::ExpireStateReported = "expireStateReported";
const char* const DownloadModel::Download::MetadataKey::RetryCount = "retryCount";
const char* const DownloadModel::Download::MetadataKey::Expired = "expired";

namespace {

typedef DownloadModel::Track::MetadataKey TrackKey;

// A file without a known size needs this much room.
const unsigned long long kUnknownFileSize = 100ULL * 1024 * 1024;
// Tries of one run: the first and two more, each after a pause.
const int kRetries = 2;
const std::chrono::seconds kPauseBetweenTries(5);
// Room beyond twice its "fileSize" that a track's body may take before it is cut off as one
// that never ends: a store's sizes may be somewhat off, never by this much.
const unsigned long long kSizeLimitSlack = 4ULL * 1024 * 1024;
// How much a transfer writes at most between two looks at the free space.
const unsigned long long kFreeSpaceLookEvery = 256 * 1024;

unsigned long long FileSizeOf(const std::string& text)
{
    if (!StringUtility::IsNumeric(text))
        return 0;
    errno = 0;
    const unsigned long long size = std::strtoull(text.c_str(), nullptr, 10);
    return errno == ERANGE ? ULLONG_MAX : size;
}

unsigned long long SaturatingSum(unsigned long long a, unsigned long long b)
{
    return a > ULLONG_MAX - b ? ULLONG_MAX : a + b;
}

// The file system of the open file `descriptor` has no room left: a write that failed there
// failed for want of it.
bool IsFull(int descriptor)
{
    struct statvfs status;
    return fstatvfs(descriptor, &status) == 0 && status.f_bavail == 0;
}

// The open file `descriptor` holds more than `length` bytes (or can't tell).
bool IsLonger(int descriptor, long long length)
{
    struct stat status;
    return fstat(descriptor, &status) != 0 || status.st_size > length;
}

// How far a track of `size` bytes may run; 0 (no limit) when its size is not known.
long long SizeLimitFor(unsigned long long size)
{
    if (size == 0)
        return 0;
    const unsigned long long limit = SaturatingSum(SaturatingSum(size, size), kSizeLimitSlack);
    return limit > LLONG_MAX ? LLONG_MAX : static_cast<long long>(limit);
}

Vantor::Net::Download::State RestoredState(int saved)
{
    typedef Vantor::Net::Download D;
    // A number no state has (a queue file is outside input) starts over as waiting.
    if (saved < D::Waiting || saved > D::RetryingImport)
        return D::Waiting;
    switch (static_cast<D::State>(saved)) {
    case D::Downloading:
    case D::Retrying:
        return D::Waiting;
    case D::Pausing:
        return D::Paused;
    case D::Canceling:
        return D::Canceled;
    default:
        return static_cast<D::State>(saved);
    }
}

// The partial file at `path` opened for reading and writing, or -1: never through a link, nor
// anything but a regular file with this one name (writing would change the file of any other
// name too); made here when it is `fresh`, as a name just found free must be. `identity` tells
// which file it is.
int OpenPartialFile(const std::string& path, bool fresh, FilesystemUtility::FileIdentity& identity)
{
    const int descriptor =
        RegularFile::Open(StringUtility::MakeOS(path), O_RDWR | O_CREAT | O_NOFOLLOW | (fresh ? O_EXCL : 0), 0644);
    if (descriptor < 0 || RegularFile::HasOneName(descriptor, identity))
        return descriptor;
    close(descriptor);
    return -1;
}

// How many names the file at `path` has; 0 when nothing is there.
nlink_t NamesOf(const std::string& path)
{
    struct stat status;
    return lstat(StringUtility::MakeOS(path).c_str(), &status) == 0 ? status.st_nlink : 0;
}

// A folder at `path` (its trailing separator left out) that is no link; true when nothing is there.
bool IsNoLink(const std::string& path)
{
    struct stat status;
    return lstat(StringUtility::MakeOS(path.substr(0, path.size() - 1)).c_str(), &status) != 0 || S_ISDIR(status.st_mode);
}

Vantor::Net::Download::NetworkErrorType RestoredErrorType(int saved)
{
    typedef Vantor::Net::Download D;
    return saved < D::NoError || saved > D::UnknownError ? D::UnknownError : static_cast<D::NetworkErrorType>(saved);
}

} // namespace

DownloadModel::Download::Download(DownloadModel& model, TiXmlElement* trackElement, Origin origin)
    : Vantor::Net::Download("", 0),
      model(model),
      track(DownloadModel::LoadTrack(trackElement)),
      ran(true),
      startedReported(false),
      closing(false),
      arrived(false),
      savedWhole(false),
      outputDescriptor(-1),
      outOfRoom(false),
      type(DownloadType::Undetermined)
{
    ValidateInitialState();
    DetermineDownloadType();
    RestoreLocalFilename(origin);
    errorMessage = StringUtility::MakeUTF8(track->GetMetadataValue(MetadataKey::ErrorString));
    networkErrorType = RestoredErrorType(GetMetadataInt(MetadataKey::NetworkErrorType, 0));
}

DownloadModel::Download::Download(DownloadModel& model)
    : Vantor::Net::Download("", 0),
      model(model),
      ran(true),
      startedReported(false),
      closing(false),
      arrived(false),
      savedWhole(false),
      outputDescriptor(-1),
      outOfRoom(false),
      type(DownloadType::Undetermined)
{
}

DownloadModel::Download::~Download() = default;

void DownloadModel::Download::ValidateInitialState()
{
    State state = RestoredState(GetMetadataInt(MetadataKey::DownloadState, 0));
    // Saved between the end of the transfer and the file's arrival at its final name: the
    // partial file is taken up again, adopted where it arrived before the program ended.
    const std::string saved = track->GetMetadataValue(MetadataKey::LocalFileName);
    if (state == Downloaded && model.GetFilesystem().IsTemporaryFilename(saved.substr(saved.rfind('/') + 1)))
        state = Waiting;
    SetState(state);
}

void DownloadModel::Download::DetermineDownloadType()
{
    static const std::map<std::string, DownloadType> kTypes = {
        {"mp3", DownloadType::Audio},
        {"mp4", DownloadType::Video},
        {"wmv", DownloadType::Video},
        {"pdf", DownloadType::Document},
    };
    trackType = boost::algorithm::to_lower_copy(track->GetMetadataValue(TrackKey::TrackType));
    const auto known = kTypes.find(trackType);
    if (known != kTypes.end()) {
        type = known->second;
        return;
    }
    // The path names the file ("a.mp3?sig=x.y"), or the address does after its last dot, in the
    // query ("dl.php?f=4.mp3") or in a folder ("d.mp3/file").
    const std::string location = track->GetMetadataValue(TrackKey::Location);
    const std::string::size_type dot = location.rfind('.');
    const std::string afterDot = dot == std::string::npos ? std::string() : location.substr(dot + 1, 3);
    if (boost::algorithm::iequals(UrlExtension(location), "mp3") || boost::algorithm::iequals(afterDot, "mp3")) {
        trackType = "mp3";
        type = DownloadType::Audio;
    }
}

void DownloadModel::Download::RestoreLocalFilename(Origin origin)
{
    const std::string saved = track->GetMetadataValue(MetadataKey::LocalFileName);
    if (saved.empty())
        return;
    // A queue file comes from outside: whatever it names is nothing this program wrote, wherever
    // it lies.
    if (origin != Origin::SavedQueue) {
        Debug::LogString((boost::format("Ignoring the local file a queue file names: %1%") % saved).str());
        return;
    }
    SetLocalFilename(saved);
    // Saved finished under its partial name: the file was whole then.
    savedWhole = GetMetadataInt(MetadataKey::DownloadState, 0) == Downloaded &&
                 model.GetFilesystem().IsTemporaryFilename(saved.substr(saved.rfind('/') + 1));
}

bool DownloadModel::Download::OwnsTemporaryFile(const std::string& path) const
{
    FilesystemUtility& fs = model.GetFilesystem();
    std::string folder, album;
    try {
        folder = fs.GetDirectory(path);
        album = fs.DirectorySeparator() + GetAlbumFolder();
    } catch (const invalid_path_exception&) {
        return false;
    }
    // Where this program's naming put it: <music folder>/<artist>/<album>/<partial file>, with
    // this track's artist and album, today's music folder or a former one.
    if (!fs.IsTemporaryFilename(fs.GetFilename(path)) || folder.size() <= album.size() ||
        folder.compare(folder.size() - album.size(), album.size(), album) != 0)
        return false;
    // A link, or anything but a regular file, at the name or on the way to it is none this
    // program made.
    struct stat status;
    if (lstat(StringUtility::MakeOS(path).c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return false;
    const std::string artist = fs.GetDirectory(folder.substr(0, folder.size() - 1));
    return IsNoLink(folder) && IsNoLink(artist);
}

std::string DownloadModel::Download::FinalNameOf(const std::string& temporary, unsigned long long size) const
{
    // Another name of the partial file is its final name only when it holds the whole track:
    // one of a part of it is someone's link.
    struct stat partial;
    if (lstat(StringUtility::MakeOS(temporary).c_str(), &partial) != 0 || !S_ISREG(partial.st_mode) ||
        partial.st_nlink < 2 || !HoldsWholeTrack(partial.st_size, size))
        return "";
    FilesystemUtility& fs = model.GetFilesystem();
    const std::string folder = fs.GetDirectory(temporary);
    for (const DirectoryListing::Entry& entry : DirectoryListing::Of(folder)) {
        const struct stat& other = entry.status;
        if (S_ISREG(other.st_mode) && other.st_dev == partial.st_dev && other.st_ino == partial.st_ino &&
            !fs.IsTemporaryFilename(entry.name))
            return folder + entry.name;
    }
    return "";
}

bool DownloadModel::Download::HoldsWholeTrack(long long length, unsigned long long size) const
{
    return size != 0 ? length >= 0 && static_cast<unsigned long long>(length) == size : savedWhole.load();
}

std::string DownloadModel::Download::GetLocalFilename() const
{
    boost::mutex::scoped_lock lock(localFilenameMutex);
    return localFilename;
}

void DownloadModel::Download::SetLocalFilename(const std::string& path)
{
    boost::mutex::scoped_lock lock(localFilenameMutex);
    localFilename = path;
}

void DownloadModel::Download::RetireTemporaryFile()
{
    const std::string local = GetLocalFilename();
    savedWhole = false;
    if (OwnsTemporaryFile(local))
        model.RetireFile(local, [this] { SetLocalFilename(""); });
    else
        SetLocalFilename("");
}

void DownloadModel::Download::WorkItemEntry(const WorkMessage& message)
{
    if (&message == &WorkMessage::Cancel) {
        closing = true;
        Cancel();
    } else if (&message == &WorkMessage::Pause) {
        Pause();
    } else if (&message == &WorkMessage::Run) {
        if (BeginRun())
            StartDownload();
        else
            OnFinished();
    }
}

void DownloadModel::Download::FailLocally(const std::string& logLine)
{
    Debug::LogString(logLine);
    FinishOnLocalFileError();
}

void DownloadModel::Download::StartDownload()
{
    FilesystemUtility& fs = model.GetFilesystem();
    std::string outDir;
    try {
        outDir = GetOutputDirectory();
    } catch (const invalid_path_exception&) {
        FailLocally((boost::format("Unable to make a valid output path for: %1%") % GetPCID()).str());
        return;
    }

    const unsigned long long size = FileSizeOf(track->GetMetadataValue(TrackKey::Filesize));
    // Only a partial file of our own is picked up again.
    std::string local = GetLocalFilename();
    if (!local.empty() && !OwnsTemporaryFile(local)) {
        RetireTemporaryFile();
        local.clear();
    }
    // The file reached its final name, and the program ended before a save said so: it is kept
    // where it is, in a former music folder too.
    const std::string final = local.empty() ? "" : FinalNameOf(local, size);
    if (!final.empty()) {
        Arrive(local, final);
        SetState(Downloaded);
        EndRun();
        OnFinished();
        return;
    }
    // One left in another album folder (of a former music folder) is given up, and so is one
    // that has another name too: the track starts over under a new partial name.
    if (!local.empty() && (fs.GetDirectory(local) != outDir || NamesOf(local) > 1)) {
        RetireTemporaryFile();
        local.clear();
    }

    fs.CreateDirectory(outDir.c_str());
    if (!fs.DirectoryExists(outDir.c_str())) {
        FailLocally((boost::format("Unable to create output directory: %1%") % outDir).str());
        return;
    }

    const unsigned long long need = SaturatingSum(size ? size : kUnknownFileSize, model.GetMinimumDiskSpaceBytes());
    if (fs.GetFreeSpaceInBytes(outDir.c_str()) < need) {
        FinishOnDiskFull();
        return;
    }

    const bool fresh = local.empty();
    if (fresh) {
        local = fs.GetTemporaryFilename(outDir.c_str());
        if (local.empty()) {
            FailLocally("Failed to get a valid temporary filename");
            return;
        }
        SetLocalFilename(local);
    }

    const int descriptor = OpenPartialFile(local, fresh, written);
    if (descriptor < 0) {
        // A new name found taken after all is no file of ours: the next run takes another.
        if (fresh)
            SetLocalFilename("");
        FailLocally((boost::format("Failed to open output file: %1%") % local).str());
        return;
    }
    {
        // The stream closes the descriptor when it goes.
        boost::iostreams::stream<boost::iostreams::file_descriptor> stream(
            boost::iostreams::file_descriptor(descriptor, boost::iostreams::close_handle));
        stream.seekp(0, std::ios::end);
        const long long present = stream.tellp();
        stream.seekp(0, std::ios::beg);
        stream.clear();

        const bool whole = !fresh && HoldsWholeTrack(present, size);
        savedWhole = false;
        if (whole)
            SetState(Downloaded);
        else
            TransferWithRetries(stream, descriptor, size);

        // The file reaches its final name only once every byte of it is on the disk, so
        // that a crash can't leave a short file under that name.
        stream.flush();
        if (GetState() == Downloaded && (stream.fail() || fsync(descriptor) != 0)) {
            Debug::LogString((boost::format("Failed to write output file: %1%") % local).str());
            SetState(LocalFileError);
        }
    }

    // The worker goes on with the next download while a finished file waits for a save.
    if (GetState() == Downloaded) {
        const boost::shared_ptr<Download> self = GetDownloadRefFromModel();
        if (self && model.AwaitSave(self))
            return;
    }
    TakeFinalName();
}

void DownloadModel::Download::TransferWithRetries(std::ostream& stream, int descriptor, unsigned long long size)
{
    requestUrl = track->GetURL();
    startedReported = false;
    SetSizeLimit(SizeLimitFor(size));
    // What this run's answers say of the file's length replaces what the queue file said.
    SetFileLength(size == 0 || size > LLONG_MAX ? -1 : static_cast<long long>(size));
    // The start made sure of room for the track and a reserve beyond it, which no transfer may take:
    // one without a size keeps free the room it asked for as its size, too.
    roomWatch = RoomWatch();
    roomWatch.folder = model.GetFilesystem().GetDirectory(GetLocalFilename());
    roomWatch.reserve = SaturatingSum(size ? 0 : kUnknownFileSize, model.GetMinimumDiskSpaceBytes());
    outputDescriptor = descriptor;
    for (int retriesLeft = kRetries;; --retriesLeft) {
        DownloadSync(stream);
        // A disk that filled up between two looks of the watch had no room either.
        if (GetState() == LocalFileError && IsFull(descriptor))
            outOfRoom = true;
        if ((RanPastSizeLimit() || outOfRoom) && !KeepPartWithin(stream, descriptor, size))
            Debug::LogString((boost::format("Failed to cut output file: %1%") % GetLocalFilename()).str());
        if (GetState() != NetworkError || Expired())
            break;
        IncRetryCount();
        if (retriesLeft != kRetries)
            Debug::LogString((boost::format("Download failed. Retry: %1% of %2%") % (kRetries - retriesLeft) % kRetries).str());
        if (retriesLeft == 0 || !PauseBeforeNextTry())
            break;
    }
    outputDescriptor = -1;
}

bool DownloadModel::Download::HasRoomFor(long long bytes)
{
    RoomWatch& watch = roomWatch;
    const unsigned long long wanted = static_cast<unsigned long long>(bytes);
    if (wanted > watch.room || watch.sinceLook >= kFreeSpaceLookEvery) {
        const unsigned long long free = model.GetFilesystem().GetFreeSpaceInBytes(watch.folder.c_str());
        watch.room = free > watch.reserve ? free - watch.reserve : 0;
        watch.sinceLook = 0;
    }
    if (wanted > watch.room) {
        Debug::LogString((boost::format("Not enough free space left in: %1%") % watch.folder).str());
        outOfRoom = true;
        return false;
    }
    watch.room -= wanted;
    watch.sinceLook += wanted;
    return true;
}

bool DownloadModel::Download::KeepPartWithin(std::ostream& stream, int descriptor, unsigned long long size)
{
    // Stopped for room, a partial file short of the track's size is kept for the resume after the
    // pause. One that reached the size was running past it: it is not the file of that size, and
    // the next run would take its first bytes for the whole track. Neither that, nor a body that
    // never ended, nor one of a track without a size is any part of the track.
    const long long length = static_cast<long long>(std::min<unsigned long long>(size, LLONG_MAX));
    const bool within = !RanPastSizeLimit() && length > 0 && CutOutput(stream, length) && !IsLonger(descriptor, length - 1);
    return within || CutOutput(stream, 0);
}

bool DownloadModel::Download::CutOutput(std::ostream& out, long long length)
{
    if (outputDescriptor < 0)
        return false;
    // What the stream still holds goes to the file before the cut: left in the stream, it would
    // land past the cut as the file closes. A full disk takes it only once a first cut has made
    // room; a file within `length` then keeps to itself what the disk had no room for.
    out.clear();
    if (!out.flush()) {
        if (!IsLonger(outputDescriptor, length))
            return true;
        out.clear();
        if (ftruncate(outputDescriptor, length) != 0 || !out.flush())
            return false;
    }
    return !IsLonger(outputDescriptor, length) || ftruncate(outputDescriptor, length) == 0;
}

bool DownloadModel::Download::PauseBeforeNextTry()
{
    {
        // Looked at and changed in one hold of the lock: a cancel that came since the try
        // ended stands.
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        if (GetState() != NetworkError)
            return false;
        SetState(Retrying);
    }
    // A cancel (the user's, or the model closing) ends the pause at once.
    WaitWhileState(Retrying, std::chrono::steady_clock::now() + kPauseBetweenTries);
    return GetState() == Retrying;
}

void DownloadModel::Download::Arrive(const std::string& temporary, const std::string& final)
{
    model.RetireFile(temporary, [&] { SetLocalFilename(final); });
    arrived = true;
}

void DownloadModel::Download::TakeFinalName()
{
    FinishDownload();
    EndRun();
    OnFinished();
}

void DownloadModel::Download::FinishDownload()
{
    switch (GetState()) {
    case Downloaded: {
        const std::string local = GetLocalFilename();
        std::string final;
        {
            // A name found free is taken before the next download looks for one.
            boost::mutex::scoped_lock naming(model.finalNamesMutex);
            try {
                final = GetOutputFilename();
            } catch (const invalid_path_exception&) {
                Debug::LogString((boost::format("Unable to make a valid output path for: %1%") % local).str());
                SetState(LocalFileError);
                return;
            }
            // Linked rather than renamed: the temporary name stays taken until a save no longer
            // names it, as the saved queue may still have this download resume that file. Only
            // the file written gets the final name: not a link or another file put in its place.
            if (!model.GetFilesystem().LinkFile(local.c_str(), final.c_str(), written)) {
                Debug::LogString((boost::format("Error renaming: %1% to %2%") % local % final).str());
                SetState(LocalFileError);
                return;
            }
        }
        Arrive(local, final);
        break;
    }
    case Canceled:
        // A transfer stopped because the program closes is continued by the next run.
        if (!closing)
            RetireTemporaryFile();
        break;
    default:
        // A paused or failed download keeps its partial file for a resume.
        break;
    }
}

void DownloadModel::Download::FinishOnLocalFileError()
{
    SetState(LocalFileError);
    EndRun();
    OnFinished();
}

void DownloadModel::Download::FinishOnDiskFull()
{
    SetState(Paused);
    OnDiskFull();
    EndRun();
    OnFinished();
}

void DownloadModel::Download::OnStarted()
{
    if (!startedReported.exchange(true))
        Vantor::Net::Download::OnStarted();
}

bool DownloadModel::Download::BeginRun()
{
    boost::recursive_mutex::scoped_lock lock(stateMutex);
    if (GetState() != Waiting && GetState() != Retrying)
        return false;
    ran = false;
    outOfRoom = false;
    return true;
}

void DownloadModel::Download::EndRun()
{
    boost::recursive_mutex::scoped_lock lock(stateMutex);
    ran = true;
}

bool DownloadModel::Download::AnnouncesEndAtOnce() const
{
    return ran;
}

bool DownloadModel::Download::AcceptsContentType(const std::string& mediaType) const
{
    // A page where a track was asked for is the store's login or error page, in HTML or XHTML
    // (also under a vendor's name). Any other type may be the track: stores send audio under
    // many names.
    const std::string::size_type slash = mediaType.find('/');
    const std::string subtype = slash == std::string::npos ? "" : mediaType.substr(slash + 1);
    return subtype != "html" && !boost::algorithm::ends_with(subtype, "xhtml+xml");
}

void DownloadModel::Download::OnFinished()
{
    // The end of one try is not the end of the run.
    if (!ran)
        return;
    // Stopped short of a full disk, or by one.
    if (GetState() == LocalFileError && (outOfRoom || OutputFolderIsFull())) {
        FinishOnDiskFull();
        return;
    }
    ReportOutcome();
    Vantor::Net::Download::OnFinished();
}

bool DownloadModel::Download::OutputFolderIsFull() const
{
    FilesystemUtility& fs = model.GetFilesystem();
    try {
        const std::string outDir = GetOutputDirectory();
        return fs.DirectoryExists(outDir.c_str()) && fs.GetFreeSpaceInBytes(outDir.c_str()) == 0;
    } catch (const invalid_path_exception&) {
        return false;
    }
}

void DownloadModel::Download::ReportOutcome()
{
    const std::string pcid = GetPCID();
    const State current = GetState();
    bool expiredNow = false;
    {
        // A report is sent and its flag set under the lock that the model's save writes this
        // download under: a saved queue holds both, or neither.
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        if (GetMetadataInt(MetadataKey::RetryCount, 0) > kRetries && GetMetadataInt(MetadataKey::FinishStateReported, 0) == 0) {
            ReportService::Send(ReportService::DlFail, pcid, {}, this);
            track->SetMetadata(MetadataKey::FinishStateReported, "1");
        }

        if (current == Downloaded && GetMetadataInt(MetadataKey::FinishStateReported, 0) == 0) {
            ReportService::Send(ReportService::DlOk, pcid, {}, this);
            track->SetMetadata(MetadataKey::FinishStateReported, "1");
            const int retries = GetMetadataInt(MetadataKey::RetryCount, 0);
            ReportService::Send(retries == 1 ? ReportService::Retry01
                                : retries > 1 ? ReportService::Retry02
                                              : ReportService::Retry00,
                                pcid, {}, this);
        }

        if (Expired()) {
            track->SetMetadata(MetadataKey::Expired, "1");
            if (GetMetadataInt(MetadataKey::ExpireStateReported, 0) == 0) {
                ReportService::Send(ReportService::DlExpire, pcid, {}, this);
                track->SetMetadata(MetadataKey::ExpireStateReported, "1");
                expiredNow = true;
            }
        } else if (current == NetworkError && GetMetadataInt(MetadataKey::ErrorStateReported, 0) == 0) {
            ReportError();
        }
    }
    // The flags guard the reports only: a file that arrives after an earlier run failed
    // still completes its playlists.
    if (current == Downloaded && arrived.exchange(false))
        model.GetPlaylistLibrary().SetTrackDownloaded(pcid, GetLocalFilename());
    if (expiredNow)
        model.GetPlaylistLibrary().SetTrackExpired(pcid);
}

void DownloadModel::Download::ReportError()
{
    static const std::string kCurlCode = StringUtility::MakeUTF8("curlcode");
    static const std::string kExpectedBytes = StringUtility::MakeUTF8("expectedbytes");
    static const std::string kReceivedBytes = StringUtility::MakeUTF8("receivedbytes");
    static const std::string kBadUrl = StringUtility::MakeUTF8("badurl");

    std::map<std::string, std::string> parameters;
    parameters[kCurlCode] = std::to_string(static_cast<int>(lastCurlCode));
    if (networkErrorType == TransferInterrupted) {
        parameters[kExpectedBytes] = std::to_string(totalBytes);
        parameters[kReceivedBytes] = std::to_string(bytesReceived);
    } else if (networkErrorType == MalformedUrl) {
        parameters[kBadUrl] = EffectiveUrl();
    }
    if (networkErrorType == HttpError)
        ReportService::Send("dm_ruq_dl_err" + std::to_string(httpResponseCode), GetPCID(), parameters, this);
    else
        ReportService::Send(ReportService::NetworkErrorToRefTag(networkErrorType), GetPCID(), parameters, this);
    track->SetMetadata(MetadataKey::ErrorStateReported, "1");
}

void DownloadModel::Download::OnDiskFull()
{
    DiskFullSignal.emit(*this);
}

std::string DownloadModel::Download::GetPCID() const
{
    return track ? track->GetMetadataValue(TrackKey::PCID) : std::string();
}

bool DownloadModel::Download::CanResume()
{
    const State current = GetState();
    return current == Paused || current == Canceled || current == LocalFileError || current == NetworkError;
}

void DownloadModel::Download::Resume()
{
    if (!CanResume())
        return;
    // Only a download the model still holds can run again.
    const boost::shared_ptr<Download> self = GetDownloadRefFromModel();
    if (!self)
        return;
    SetState(Waiting);
    model.EnqueueForDownload(self);
}

void DownloadModel::Download::RetryImport()
{
    if (GetState() != ImportFailed)
        return;
    const boost::shared_ptr<Download> self = GetDownloadRefFromModel();
    if (!self)
        return;
    SetState(RetryingImport);
    model.EnqueueForDownload(self);
}

DownloadType DownloadModel::Download::GetType() const
{
    return type;
}

boost::shared_ptr<DownloadModel::Download> DownloadModel::Download::GetDownloadRefFromModel()
{
    return model.SenderPointer(*this);
}

bool DownloadModel::Download::Expired()
{
    {
        // The worker sets the two together, under the lock, at the end of each transfer.
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        if (GetState() == NetworkError && networkErrorType == LinkExpired)
            return true;
    }
    return GetMetadataInt(MetadataKey::Expired, 0) != 0;
}

int DownloadModel::Download::GetMetadataInt(const char* key, int defaultValue) const
{
    const std::string value = track->GetMetadataValue(key);
    if (value.empty())
        return defaultValue;
    const long number = std::strtol(StringUtility::MakeUTF8(value).c_str(), nullptr, 10);
    return number > INT_MAX ? INT_MAX : number < INT_MIN ? INT_MIN : static_cast<int>(number);
}

void DownloadModel::Download::IncRetryCount()
{
    const int count = GetMetadataInt(MetadataKey::RetryCount, 0);
    track->SetMetadata(MetadataKey::RetryCount, std::to_string(count == INT_MAX ? count : count + 1));
}

void DownloadModel::Download::Save(std::string& xml)
{
    const std::string& space = StoreNamespace::Store();
    {
        // The end of a transfer sets these together under the state lock.
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        track->SetMetadata(MetadataKey::DownloadState, space, std::to_string(static_cast<int>(GetState())));
        track->SetMetadata(MetadataKey::ErrorString, space, errorMessage);
        track->SetMetadata(MetadataKey::NetworkErrorType, space, std::to_string(static_cast<int>(networkErrorType)));
    }
    track->SetMetadata(MetadataKey::LocalFileName, space, GetLocalFilename());
    track->AppendXml(xml);
}

boost::shared_ptr<DownloadModel::Track> DownloadModel::Download::GetTrack() const
{
    return track;
}

const std::string& DownloadModel::Download::GetTrackType() const
{
    return trackType;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
