#ifndef DOWNLOADER_APP_UTILITYQUEUE_H
#define DOWNLOADER_APP_UTILITYQUEUE_H

#include "downloader/model/DownloadModel.h"

#include <string>

namespace Gtk {
class Window;
}

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Replaces "DownloadQueue.vlx" with the whole queue, encrypted. The saved queue that was
// there stays as it was unless the new one has been written completely; false then.
bool SaveDownloadQueue(DownloadModel& model);

// Imports the queue file at `filename` into the model; only a regular file is read. On
// success the queue is saved, the queue-file-added signal is emitted and, once the saved
// queue holds its tracks, the imported file is deleted, unless it is the saved queue
// itself. On failure a warning is shown over `parent`, when one is given. Main thread only.
bool EnqueueVLXFromFilename(const char* filename, DownloadModel& model, Gtk::Window* parent);

// Whether `name` is a queue file's: more than four characters, the last four ".vlx" in any
// mix of cases.
bool IsQueueFileName(const std::string& name);

// A command-line argument as this process hands it on as a command: a relative queue-file
// name made absolute against the current directory (the running instance can't know it),
// and one holding the byte that ends a message made a "file://" address. Anything else, a
// "file://" address included, stays as it is.
std::string CommandFromArgument(const std::string& argument);

// Imports the queue file a command names, as EnqueueVLXFromFilename does: an absolute name,
// or a "file://" address on this machine, decoded. Any other name (relative, from a launch
// that did not say where it was made) names no file here and gets the warning.
bool EnqueueVLXFromCommand(const std::string& command, DownloadModel& model, Gtk::Window* parent);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
