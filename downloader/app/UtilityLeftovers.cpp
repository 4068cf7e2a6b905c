#include "downloader/app/UtilityLeftovers.h"

#include "core/filesystem/AtomicFile.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityPaths.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

void RemovePreferencesLeftovers()
{
    Filesystem::AtomicFile::RemoveLeftovers(PreferencesFilename());
}

void RemoveQueueLeftovers(DownloadModel& model, bool queueRead)
{
    Filesystem::AtomicFile::RemoveLeftovers(DownloadQueueFilename());
    if (queueRead)
        model.RemoveOrphanedPartialFiles();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
