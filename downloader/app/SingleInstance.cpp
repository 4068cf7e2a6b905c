#include "downloader/app/SingleInstance.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/filesystem/RegularFile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const char* const kLockFilename = "lock";
const char* const kPipeFilename = "pipe";
const mode_t kFileMode = 0700;
// How often a later launch looks whether its messages have been read. The reader's going
// wakes it at once.
const int kReadCheckMilliseconds = 10;

void CloseDescriptor(int& descriptor)
{
    if (descriptor != -1) {
        close(descriptor);
        descriptor = -1;
    }
}

// Where an instance stands with one of its two locks.
enum class Hold { Taken, Elsewhere, Unusable };

// Takes the exclusive lock on `descriptor` (-1: its file could not be opened) without waiting.
// A descriptor whose lock is not taken is closed.
Hold Lock(int& descriptor)
{
    if (descriptor == -1)
        return Hold::Unusable;
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0)
        return Hold::Taken;
    const Hold hold = errno == EWOULDBLOCK ? Hold::Elsewhere : Hold::Unusable;
    CloseDescriptor(descriptor);
    return hold;
}

// Lets go at once, even while a child forked from this process still holds a copy.
void Unlock(int& descriptor)
{
    if (descriptor != -1)
        flock(descriptor, LOCK_UN);
    CloseDescriptor(descriptor);
}

// Over NFS an exclusive lock needs a file open for writing; one that may only be read is
// still locked where the file system allows it. A link in its place is not followed, nor a
// file made where it leads: the lock can't be used then, and the folder's lock decides alone.
int OpenLockFile(const std::string& path)
{
    const int descriptor = Filesystem::RegularFile::Open(path, O_RDWR | O_CREAT | O_NOFOLLOW, kFileMode);
    return descriptor != -1 ? descriptor : Filesystem::RegularFile::Open(path, O_RDONLY | O_CREAT | O_NOFOLLOW, kFileMode);
}

bool IsFifo(int descriptor)
{
    struct stat status;
    return fstat(descriptor, &status) == 0 && S_ISFIFO(status.st_mode);
}

// The bytes in the FIFO that nobody has read yet, seen from either end; -1 on failure.
int Unread(int descriptor)
{
    int count = 0;
    return ioctl(descriptor, FIONREAD, &count) == 0 ? count : -1;
}

// The FIFO for one writer at a time: a write longer than the FIFO takes in one piece
// (PIPE_BUF) goes in as room is made, and pieces of other writers' messages would land between
// its own. Every writer takes turns, the short ones too. The lock is on the writer's own end,
// so it goes with the writer however it ends.
class Turn {
public:
    explicit Turn(int descriptor) : descriptor(descriptor)
    {
        int result;
        while ((result = flock(descriptor, LOCK_EX)) == -1 && errno == EINTR)
            continue;
        taken = result == 0;
    }
    ~Turn()
    {
        if (taken)
            flock(descriptor, LOCK_UN);
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

    // Whether a frame of `size` bytes goes in whole: always in turn, and without a turn (a file
    // system that can't lock a FIFO) only when it fits in one piece.
    bool Whole(size_t size) const { return taken || size <= PIPE_BUF; }

private:
    int descriptor;
    bool taken;
};

// A write into a FIFO whose reader has gone raises SIGPIPE, which would end the process.
// While it is ignored the write fails instead, and the launch carries on.
class IgnoredBrokenPipe {
public:
    IgnoredBrokenPipe()
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
    }
    ~IgnoredBrokenPipe() { sigaction(SIGPIPE, &previous, nullptr); }

private:
    struct sigaction previous;
};

} // namespace

SingleInstance::SingleInstance()
    : folderDescriptor(-1)
    , lockDescriptor(-1)
    , pipeDescriptor(-1)
    , status(NotStarted)
    , ownerProcess(getpid())
{
    LinuxFilesystemUtility filesystem;
    const std::string settings = filesystem.GetSpecialDirectory(Filesystem::FilesystemUtility::SettingsDirectory);
    if (!filesystem.DirectoryExists(settings.c_str()))
        filesystem.CreateDirectory(settings.c_str());
    folderPath = settings;
    lockPath = settings + kLockFilename;
    pipePath = settings + kPipeFilename;
}

SingleInstance::~SingleInstance()
{
    // A forked copy shares the parent's lock and FIFO: it only closes its own descriptors,
    // and leaves the parent's main loop alone.
    if (getpid() == ownerProcess)
        Release();
    CloseDescriptor(folderDescriptor);
    CloseDescriptor(lockDescriptor);
    CloseDescriptor(pipeDescriptor);
}

bool SingleInstance::StartAsMainInstance()
{
    // Every instance takes the directory's lock first, then the file's. Either one held
    // elsewhere means another instance (an older one locks only the file); one that can't be
    // used leaves the decision to the other. Neither goes to the programs this one starts: a
    // browser that kept a lock would keep every later launch from becoming the running instance.
    if (folderDescriptor == -1)
        folderDescriptor = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const Hold folder = Lock(folderDescriptor);
    if (folder != Hold::Elsewhere && lockDescriptor == -1)
        lockDescriptor = OpenLockFile(lockPath);
    const Hold file = folder == Hold::Elsewhere ? Hold::Unusable : Lock(lockDescriptor);
    if (folder != Hold::Taken && file != Hold::Taken) {
        status = folder == Hold::Elsewhere || file == Hold::Elsewhere ? OtherInstanceRunning : LockFileError;
        return false;
    }
    if (file == Hold::Elsewhere) {
        Unlock(folderDescriptor);
        status = OtherInstanceRunning;
        return false;
    }

    // A FIFO left by an earlier run goes; the new one is opened for reading and writing, so
    // the open needs no writer and reading it never meets end of file.
    LinuxFilesystemUtility().DeleteFile(pipePath.c_str());
    mknod(pipePath.c_str(), S_IFIFO | kFileMode, 0);
    pipeDescriptor = open(pipePath.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (pipeDescriptor == -1 || !IsFifo(pipeDescriptor)) {
        // The locks stay: a second instance would import the same files and write over this
        // one's queue. Later launches find this one running, and end saying so.
        CloseDescriptor(pipeDescriptor);
        status = PipeError;
        return true;
    }

    listening = Glib::signal_io().connect(sigc::mem_fun(*this, &SingleInstance::OnPipeReadable), pipeDescriptor,
                                          Glib::IO_IN);
    status = MainInstance;
    return true;
}

bool SingleInstance::SendMainInstanceMessage(const std::string& message)
{
    // A forked child's copy of the running instance's end would share that end's lock, which
    // would then outlast the child: it writes through an end of its own.
    if (getpid() != ownerProcess)
        CloseDescriptor(pipeDescriptor);
    if (pipeDescriptor == -1) {
        // Opened without waiting: when no instance reads the FIFO the open fails at once
        // instead of blocking this launch for good. Writes then wait for room again, so a
        // long message still goes in whole.
        pipeDescriptor = open(pipePath.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (pipeDescriptor == -1)
            return false;
        fcntl(pipeDescriptor, F_SETFL, fcntl(pipeDescriptor, F_GETFL) & ~O_NONBLOCK);
    }
    std::string frame = message;
    frame += kEndByte;
    const Turn turn(pipeDescriptor);
    return turn.Whole(frame.size()) &&
           write(pipeDescriptor, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
}

bool SingleInstance::HandOver(const std::vector<std::string>& messages)
{
    const IgnoredBrokenPipe quiet;
    bool written = true, any = false;
    for (const std::string& message : messages) {
        if (message.find(kEndByte) != std::string::npos)
            continue;
        any = true;
        if (!(written = SendMainInstanceMessage(message)))
            break;
    }
    const bool read = !any || (written && WaitUntilRead());
    // This end of the FIFO serves this hand-over only: a next try opens whichever FIFO
    // is there then.
    CloseDescriptor(pipeDescriptor);
    return read;
}

bool SingleInstance::WaitUntilRead() const
{
    pollfd reader = {pipeDescriptor, 0, 0};
    for (;;) {
        const int unread = Unread(pipeDescriptor);
        if (unread <= 0)
            return unread == 0;
        // Gone before this count: what it left stays unread for good.
        if (reader.revents != 0)
            return false;
        if (poll(&reader, 1, kReadCheckMilliseconds) == -1 && errno != EINTR)
            return false;
    }
}

void SingleInstance::Release()
{
    listening.disconnect();
    // The reader goes before the locks: a later launch whose messages are left unread sees it
    // go, and then finds the locks free.
    CloseDescriptor(pipeDescriptor);
    Unlock(lockDescriptor);
    Unlock(folderDescriptor);
}

bool SingleInstance::OnPipeReadable(Glib::IOCondition)
{
    // Everything there, in one go, and every message in it emitted before this returns: a
    // later launch that finds the FIFO empty knows its messages have been handled.
    std::string bytes;
    bool listen = true;
    for (int count; listen && (count = Unread(pipeDescriptor)) != 0;) {
        const std::string::size_type start = bytes.size();
        bytes.resize(start + std::max(count, 0));
        const ssize_t got = count < 0 ? -1 : read(pipeDescriptor, &bytes[start], count);
        bytes.resize(start + std::max<ssize_t>(got, 0));
        if (got == 0 || (got < 0 && errno != EINTR)) {
            // Reading again would only spin. The reader goes, so that later launches stop
            // waiting for it, as for an instance that could not open its FIFO: they end
            // instead of running beside this one.
            Diagnostic::Debug::LogString(std::string("SingleInstance: listening on the pipe failed: ") + std::strerror(errno));
            CloseDescriptor(pipeDescriptor);
            listen = false;
        }
    }

    std::string::size_type start = 0;
    for (std::string::size_type end; (end = bytes.find(kEndByte, start)) != std::string::npos; start = end + 1) {
        const std::string message = pending + bytes.substr(start, end - start);
        pending.clear();
        AnotherInstanceMessageSignal.emit(message);
    }
    pending.append(bytes, start, std::string::npos);
    return listen;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
