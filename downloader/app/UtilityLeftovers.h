#ifndef DOWNLOADER_APP_UTILITYLEFTOVERS_H
#define DOWNLOADER_APP_UTILITYLEFTOVERS_H

#include "downloader/model/DownloadModel.h"

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// What an earlier run that was killed left behind, removed at start once the saved queue has
// been read into `model`: the temporary files of its unfinished saves of the queue and of the
// preferences and, only when `queueRead` (the saved queue was read, or there was none), the
// partial files no queued track names. A saved queue that can't be read may name them still.
void RemoveLeftoversOfEarlierRuns(DownloadModel& model, bool queueRead);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
