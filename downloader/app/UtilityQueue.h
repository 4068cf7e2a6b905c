#ifndef DOWNLOADER_APP_UTILITYQUEUE_H
#define DOWNLOADER_APP_UTILITYQUEUE_H

#include "downloader/model/DownloadModel.h"

namespace Gtk {
class Window;
}

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Replaces "DownloadQueue.vlx" with the whole queue, encrypted. The saved queue that was
// there stays as it was unless the new one has been written completely; false then.
bool SaveDownloadQueue(DownloadModel& model);

// Imports the queue file at `filename` into the model. On success the queue is saved, the
// queue-file-added signal is emitted and, once the saved queue holds its tracks, the
// imported file is deleted, unless it is the saved queue itself. On failure a warning is
// shown over `parent`, when one is given. Main thread only.
bool EnqueueVLXFromFilename(const char* filename, DownloadModel& model, Gtk::Window* parent);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
