#ifndef DOWNLOADER_APP_UTILITYQUITCONFIRMATION_H
#define DOWNLOADER_APP_UTILITYQUITCONFIRMATION_H

#include "downloader/app/QueueFileWorker.h"
#include "downloader/model/DownloadModel.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Run by every quit path before the main window is hidden. No download starts any more unless
// the user stays. The imports and saves asked of `queueFiles` are finished first; while
// downloads are then active the user is asked; a "No" changes nothing and gives false.
// Otherwise the finished downloads are cleared, every other one is paused, the queue (a failure
// told by `queueFiles`) and the preferences are saved, and the result is true. Main thread only.
bool ConfirmQuit(DownloadModel& model, QueueFileWorker& queueFiles);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
