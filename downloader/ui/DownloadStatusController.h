#ifndef DOWNLOADER_UI_DOWNLOADSTATUSCONTROLLER_H
#define DOWNLOADER_UI_DOWNLOADSTATUSCONTROLLER_H

#include "downloader/app/DownloadModelSignalProxy.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/model/DownloadModelTrack.h"

#include <boost/shared_ptr.hpp>
#include <gdkmm/pixbuf.h>
#include <glibmm/refptr.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <sigc++/signal.h>
#include <sigc++/trackable.h>

#include <memory>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The main window's status panel: a "Now downloading" line with the title and artist of the
// download that started last, that track's album cover, fetched on a thread of its own
// (AlbumArtDownload, DownloadStatusControllerAlbumArtDownload.h), one fetch at a time, and a
// button that opens the store's music page. Main thread only.
class DownloadStatusController : public sigc::trackable {
public:
    class AlbumArtDownload;
    typedef boost::shared_ptr<DownloadModel::Track> TrackPtr;

    explicit DownloadStatusController(boost::shared_ptr<DownloadModel> model);
    virtual ~DownloadStatusController();

    void OnDownloadStarted(const DownloadModel::DownloadPtr download);
    void OnDownloadQueueFinished();
    void OnShopButtonClicked();
    // A cover has arrived; it is shown only if it belongs to the current track.
    void OnImageDownloaded(TrackPtr track, Glib::RefPtr<Gdk::Pixbuf> image);

private:
    void Initialize();
    void ConnectSignals();
    void Localize();
    // Starts the fetch of the wanted cover, if any.
    void FetchWantedCover();
    void OnCoverFetchEnded();

    boost::shared_ptr<DownloadModel> model;
    DownloadModelSignalProxy proxy;
    // The track of the download that started last; it stays after the queue has finished,
    // so a late cover of the last track is still shown.
    TrackPtr currentTrack;
    // Emitted on the main thread when the fetch under way has ended; made before it, so that
    // it outlives it.
    sigc::signal<void> coverFetchEndedSignal;
    // The cover fetch under way, if any; the panel waits for it to stop when it goes. One at a
    // time: a queue of small tracks started one after another would otherwise hold a thread
    // and its connection for each of them.
    std::unique_ptr<AlbumArtDownload> coverFetch;
    // The track whose cover is fetched once the fetch under way has ended.
    TrackPtr coverWanted;
    Gtk::Image* albumArtImage = nullptr;
    Gtk::Label* statusLabel = nullptr;
    Gtk::Button* shopButton = nullptr;
    Gtk::Label* shopButtonLabel = nullptr;
    // Shown while there is no cover.
    Glib::RefPtr<Gdk::Pixbuf> defaultArt;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
