#ifndef DOWNLOADER_UI_DOWNLOADSTATUSCONTROLLERALBUMARTDOWNLOAD_H
#define DOWNLOADER_UI_DOWNLOADSTATUSCONTROLLERALBUMARTDOWNLOAD_H

#include "core/net/BoundedStringBuf.h"
#include "core/net/Download.h"
#include "downloader/ui/DownloadStatusController.h"

#include <boost/noncopyable.hpp>
#include <boost/scoped_ptr.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/thread.hpp>
#include <gdkmm/pixbuf.h>
#include <sigc++/signal.h>

#include <ostream>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// One fetch of a track's cover: the bytes are downloaded into memory on a thread of its own,
// then decoded on the main thread. Made, used and destroyed on the main thread. Its thread
// never waits for the main thread, so the object can wait for it when it goes: no fetch
// outlives its panel, and none is still running when the process ends.
class DownloadStatusController::AlbumArtDownload : private boost::noncopyable {
public:
    // `endedSignal` is emitted on the main thread once the fetch has ended, with a cover or
    // without, unless this object has gone by then; it must outlive this object.
    AlbumArtDownload(TrackPtr track, sigc::signal<void>& endedSignal);
    // Abandons a fetch under way and waits for its thread, which stops within about a second.
    ~AlbumArtDownload();

    // Starts the fetch thread; false when it can't be made.
    bool Start();
    // Abandons the fetch: its transfer stops within about a second and no cover is shown.
    void Cancel();
    TrackPtr GetTrack() const;
    // Once the fetch has ended: the cover, or none when the fetch failed or was abandoned, or
    // its bytes are no image or one too large to be a cover.
    Glib::RefPtr<Gdk::Pixbuf> DecodeImage();

private:
    // The fetch thread.
    void ThreadEntry();

    sigc::signal<void>& endedSignal;
    // Goes with the object, so an end still queued for it does nothing.
    boost::shared_ptr<void> alive;
    // The bytes received, no more than a cover can take.
    Vantor::Net::BoundedStringBuf received;
    std::ostream stream;
    TrackPtr track;
    // Made with the object, so that Cancel has it to stop whenever it comes.
    boost::scoped_ptr<Vantor::Net::Download> transfer;
    boost::scoped_ptr<boost::thread> thread;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
