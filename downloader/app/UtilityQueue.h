#ifndef DOWNLOADER_APP_UTILITYQUEUE_H
#define DOWNLOADER_APP_UTILITYQUEUE_H

#include "downloader/model/DownloadModel.h"

#include <string>

namespace Gtk {
class Window;
}

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Replaces "DownloadQueue.vlx" with the whole queue, encrypted. The saved queue that was
// there stays as it was unless the new one has been written completely; false then. Once it
// is on disk, the partial files the queue gave up before are deleted.
bool SaveDownloadQueue(DownloadModel& model);

// What became of a queue file given to ImportVLXFile.
enum class ImportOutcome {
    Refused,
    // Not read: the playlist database did not take its playlists. The file is kept.
    PlaylistsRefused,
    Saved,
    // Its tracks are in the queue, but no saved queue holds them: the file is kept.
    NotSaved,
};

// The steps of an import that need no main thread: reads the queue file at `filename` into
// the model (only a regular file), saves the queue and, once the saved queue holds its
// tracks, deletes the file, unless it is the saved queue itself. Its tracks start only then.
// Any thread, but imports and saves one at a time: an older save could land after a newer one.
ImportOutcome ImportVLXFile(const char* filename, DownloadModel& model);

// What the start found of the saved queue (ReloadSavedQueue).
struct SavedQueueReload {
    enum Outcome { Read, Missing, Unreadable };
    Outcome outcome;
    // Where an unreadable saved queue is now: kept aside, or still in its place when it could
    // not be moved.
    std::string keptAt;
};

// At start: reads the saved queue into the (empty) model. None is no fault: a first start. One
// that can't be read is kept aside (Filesystem::UnreadableFile), so that no save replaces the
// purchases in it, and the queue starts empty. Nothing is saved or announced.
SavedQueueReload ReloadSavedQueue(DownloadModel& model);

// What an import has to tell, on the main thread: the queue-file-added signal after an
// import, a warning over `parent`, when one is given, after a failed one, naming the cause.
void AnnounceVLXImport(ImportOutcome outcome, const char* filename, Gtk::Window* parent);

// Both of the above, on the main thread; true when the file was imported.
bool EnqueueVLXFromFilename(const char* filename, DownloadModel& model, Gtk::Window* parent);

// Whether `name` is a queue file's: more than four characters, the last four ".vlx" in any
// mix of cases.
bool IsQueueFileName(const std::string& name);

// A command-line argument as this process hands it on as a command: a relative queue-file
// name made absolute against the current directory (the running instance can't know it),
// and one holding the byte that ends a message made a "file://" address. Anything else, a
// "file://" address included, stays as it is.
std::string CommandFromArgument(const std::string& argument);

// The file a command names: an absolute name as it is, or a "file://" address on this
// machine, decoded. Empty for any other name (relative, from a launch that did not say where
// it was made): it names no file here.
std::string FileNamedBy(const std::string& command);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
