#ifndef DOWNLOADER_APP_UTILITYLEFTOVERS_H
#define DOWNLOADER_APP_UTILITYLEFTOVERS_H

#include "downloader/model/DownloadModel.h"

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// What an earlier run that was killed left behind, removed at start, each on the thread that
// saves the file concerned, so that no save of this run is taken for a leftover.

// The temporary files of its unfinished saves of the preferences. On the main thread, before
// anything saves them.
void RemovePreferencesLeftovers();

// Once the saved queue has been read into `model`, on the thread that saves the queue: the
// temporary files of its unfinished saves of the queue and, only when `queueRead` (the saved
// queue was read, or there was none), the partial files no queued track names. A saved queue
// that can't be read may name them still.
void RemoveQueueLeftovers(DownloadModel& model, bool queueRead);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
