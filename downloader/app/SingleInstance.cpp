#include "downloader/app/SingleInstance.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/app/Invokable.h"
#include "downloader/app/MainThreadInvoke.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const char* const kLockFilename = "lock";
const char* const kPipeFilename = "pipe";
const mode_t kFileMode = 0700;
const size_t kChunkSize = 4096;

void CloseDescriptor(int& descriptor)
{
    if (descriptor != -1) {
        close(descriptor);
        descriptor = -1;
    }
}

bool IsFifo(int descriptor)
{
    struct stat status;
    return fstat(descriptor, &status) == 0 && S_ISFIFO(status.st_mode);
}

} // namespace

SingleInstance::SingleInstance()
    : lockDescriptor(-1)
    , pipeDescriptor(-1)
    , stopDescriptor(-1)
    , status(NotStarted)
    , listenerProcess(-1)
{
    LinuxFilesystemUtility filesystem;
    const std::string settings = filesystem.GetSpecialDirectory(Filesystem::FilesystemUtility::SettingsDirectory);
    if (!filesystem.DirectoryExists(settings.c_str()))
        filesystem.CreateDirectory(settings.c_str());
    lockPath = settings + kLockFilename;
    pipePath = settings + kPipeFilename;
}

SingleInstance::~SingleInstance()
{
    if (listener && getpid() != listenerProcess) {
        // A forked copy: its listener object names a thread of the parent, and the stop
        // descriptor is shared with the parent, so neither is touched.
        listener.release();
    } else if (listener) {
        const std::uint64_t wake = 1;
        if (write(stopDescriptor, &wake, sizeof wake) == sizeof wake)
            listener->join();
    }
    CloseDescriptor(lockDescriptor);
    CloseDescriptor(pipeDescriptor);
    CloseDescriptor(stopDescriptor);
}

bool SingleInstance::StartAsMainInstance()
{
    // Neither file goes to the programs this one starts: a browser that kept the lock would
    // keep every later launch from becoming the running instance.
    lockDescriptor = open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, kFileMode);
    if (lockDescriptor == -1) {
        status = LockFileError;
        return false;
    }
    if (flock(lockDescriptor, LOCK_EX | LOCK_NB) != 0) {
        status = OtherInstanceRunning;
        return false;
    }

    // A FIFO left by an earlier run goes; the new one is opened for reading and writing, so
    // the open needs no writer and the listener never reads end of file.
    LinuxFilesystemUtility().DeleteFile(pipePath.c_str());
    mknod(pipePath.c_str(), S_IFIFO | kFileMode, 0);
    pipeDescriptor = open(pipePath.c_str(), O_RDWR | O_CLOEXEC);
    if (pipeDescriptor != -1 && IsFifo(pipeDescriptor))
        stopDescriptor = eventfd(0, EFD_CLOEXEC);
    if (stopDescriptor == -1) {
        CloseDescriptor(pipeDescriptor);
        status = PipeError;
        return false;
    }

    listenerProcess = getpid();
    listener.reset(new boost::thread(&SingleInstance::NamedPipeReadProc, this));
    status = MainInstance;
    return true;
}

bool SingleInstance::SendMainInstanceMessage(const std::string& message)
{
    if (pipeDescriptor == -1) {
        // Opened without waiting: when no instance reads the FIFO the open fails at once
        // instead of blocking this launch for good. Writes then wait for room again, so a
        // long message still goes in whole.
        pipeDescriptor = open(pipePath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (pipeDescriptor == -1)
            return false;
        fcntl(pipeDescriptor, F_SETFL, fcntl(pipeDescriptor, F_GETFL) & ~O_NONBLOCK);
    }
    std::string frame = message;
    frame += kEndByte;
    return write(pipeDescriptor, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
}

void SingleInstance::NamedPipeReadProc()
{
    // The start of a message whose end byte has not arrived yet.
    std::string pending;
    pending.reserve(kChunkSize);
    char chunk[kChunkSize];
    pollfd waits[2] = {{pipeDescriptor, POLLIN, 0}, {stopDescriptor, POLLIN, 0}};
    for (;;) {
        if (poll(waits, 2, -1) == -1) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (waits[1].revents != 0)
            return;
        const ssize_t count = read(pipeDescriptor, chunk, sizeof chunk);
        if (count == -1) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break;
        }
        const char* start = chunk;
        const char* const end = chunk + count;
        for (const char* mark; (mark = std::find(start, end, kEndByte)) != end; start = mark + 1) {
            pending.append(start, mark);
            DeliverMessage(pending);
            pending.clear();
        }
        pending.append(start, end);
    }
    Diagnostic::Debug::LogString(std::string("SingleInstance: listening on the pipe failed: ") + std::strerror(errno));
}

void SingleInstance::DeliverMessage(const std::string& message)
{
    MainThreadInvoke::sInstance.InvokeAsync(boost::shared_ptr<MainThreadInvoke::IInvokable>(
        new Invokable1<void, std::string>(AnotherInstanceMessageSignal, message)));
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
