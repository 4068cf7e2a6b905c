#include "downloader/app/UtilityLeftovers.h"

#include "core/filesystem/AtomicFile.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityPaths.h"

#include <sys/stat.h>

#include <cerrno>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

bool NoSavedQueue()
{
    struct stat saved;
    return stat(DownloadQueueFilename().c_str(), &saved) != 0 && errno == ENOENT;
}

void RemoveLeftoversOfEarlierRuns(DownloadModel& model, bool queueRead)
{
    Filesystem::AtomicFile::RemoveLeftovers(DownloadQueueFilename());
    Filesystem::AtomicFile::RemoveLeftovers(PreferencesFilename());
    if (queueRead)
        model.RemoveOrphanedPartialFiles();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
