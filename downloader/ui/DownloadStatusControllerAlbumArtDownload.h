#ifndef DOWNLOADER_UI_DOWNLOADSTATUSCONTROLLERALBUMARTDOWNLOAD_H
#define DOWNLOADER_UI_DOWNLOADSTATUSCONTROLLERALBUMARTDOWNLOAD_H

#include "core/net/BoundedStringBuf.h"
#include "core/net/Download.h"
#include "downloader/ui/DownloadStatusController.h"

#include <boost/noncopyable.hpp>
#include <boost/scoped_ptr.hpp>
#include <boost/thread/thread.hpp>
#include <gdkmm/pixbuf.h>
#include <sigc++/signal.h>

#include <ostream>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// One fetch of a track's cover: the bytes are downloaded into memory on a thread of its own,
// then decoded on the main thread while that thread waits. The object owns itself: made by
// Create, it is deleted by its own thread once the main thread is done with it.
//
// Use, on the main thread: Create, connect the signals, Start.
class DownloadStatusController::AlbumArtDownload : private boost::noncopyable {
public:
    static AlbumArtDownload* Create(TrackPtr track);

    // Emitted on the main thread with the decoded cover; not at all when there is none. Its
    // slots are let go on the main thread as well, so slots of main-thread objects are safe.
    sigc::signal<void, TrackPtr, Glib::RefPtr<Gdk::Pixbuf>> ImageDownloadedSignal;
    // Emitted on the main thread when the fetch has ended, with a cover or without, after
    // ImageDownloadedSignal; the object goes away after it. Its slots are let go likewise.
    sigc::signal<void> EndedSignal;

    // Starts the fetch thread; when it can't be made, the object deletes itself at once and
    // the result is false.
    bool Start();
    // Abandons the fetch: its transfer stops within about a second and no cover is shown.
    // Main thread, until EndedSignal.
    void Cancel();
    // Deletes the object.
    void Destroy();

private:
    explicit AlbumArtDownload(TrackPtr track);
    ~AlbumArtDownload();

    // The fetch thread.
    void ThreadEntry();
    // The main thread, while the fetch thread waits.
    void OnDownloadFinished();

    // The bytes received, no more than a cover can take.
    Vantor::Net::BoundedStringBuf received;
    std::ostream stream;
    TrackPtr track;
    // Made with the object, so that Cancel has it to stop whenever it comes.
    boost::scoped_ptr<Vantor::Net::Download> transfer;
    boost::scoped_ptr<boost::thread> thread;
    // Runs OnDownloadFinished; handed to the main thread.
    sigc::signal<void> finishedSignal;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
