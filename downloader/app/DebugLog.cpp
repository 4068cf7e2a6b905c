#include "downloader/app/DebugLog.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/filesystem/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const char* const kLogFilename = "debug.txt";
const char* const kLevelVariable = "RUQ_DEBUG_LEVEL";
const char* const kVerboseLevel = "verbose";
// From this size on a new run starts the file afresh.
const off_t kRestartSize = 2 * 1024 * 1024;

} // namespace

DebugLog::DebugLog()
    : logFile(nullptr)
    , path(LinuxFilesystemUtility().GetSpecialDirectory(Filesystem::FilesystemUtility::SettingsDirectory) + kLogFilename)
{
    OpenLogFile();
    Diagnostic::Debug::StringLoggedSignal().connect(this, &DebugLog::OnStringLogged);
}

DebugLog::~DebugLog()
{
    // Other threads may be logging right now: once disconnected, none of them can still be
    // inside OnStringLogged, and the file can go.
    disconnect_all();
    CloseLogFile();
}

void DebugLog::OnStringLogged(std::string text)
{
    if (!logFile)
        return;
    const std::time_t now = std::time(nullptr);

    boost::mutex::scoped_lock lock(mutex);
    char stamp[32] = "";
    if (!ctime_r(&now, stamp))
        stamp[0] = '\0';
    std::string time(stamp);
    if (!time.empty())
        time.erase(time.size() - 1);
    const std::string line = "[" + time + "] " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), logFile);
    std::fflush(logFile);
}

void DebugLog::OpenLogFile()
{
    const char* level = std::getenv(kLevelVariable);
    if (!level || std::string(level) != kVerboseLevel)
        return;
    // Never through a link, which would have the log written into another file; started afresh
    // through its own descriptor for the same reason.
    logFile = Filesystem::RegularFile::OpenStream(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, "a", 0666);
    struct stat status;
    if (logFile && (fstat(fileno(logFile), &status) != 0 ||
                    (status.st_size >= kRestartSize && ftruncate(fileno(logFile), 0) != 0)))
        CloseLogFile();
}

void DebugLog::CloseLogFile()
{
    if (logFile) {
        std::fclose(logFile);
        logFile = nullptr;
    }
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
