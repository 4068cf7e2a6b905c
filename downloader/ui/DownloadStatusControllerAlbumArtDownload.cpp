#include "downloader/ui/DownloadStatusControllerAlbumArtDownload.h"

#include "downloader/app/Invokable.h"
#include "downloader/app/MainThreadInvoke.h"

#include <boost/bind/bind.hpp>
#include <gdkmm/pixbufloader.h>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

// The image in `bytes`; empty when they are not one.
Glib::RefPtr<Gdk::Pixbuf> Decode(const std::string& bytes)
{
    const Glib::RefPtr<Gdk::PixbufLoader> loader = Gdk::PixbufLoader::create();
    try {
        loader->write(reinterpret_cast<const guint8*>(bytes.data()), bytes.size());
        loader->close();
        return loader->get_pixbuf();
    } catch (const Glib::Error&) {
        // A failed write has closed the loader already.
        return Glib::RefPtr<Gdk::Pixbuf>();
    }
}

} // namespace

DownloadStatusController::AlbumArtDownload* DownloadStatusController::AlbumArtDownload::Create(TrackPtr track)
{
    return new AlbumArtDownload(track);
}

DownloadStatusController::AlbumArtDownload::AlbumArtDownload(TrackPtr track)
    : track(track)
{
    finishedSignal.connect(sigc::mem_fun(*this, &AlbumArtDownload::OnDownloadFinished));
}

DownloadStatusController::AlbumArtDownload::~AlbumArtDownload()
{
    // Runs on the fetch thread itself, which goes on to its end without this object.
    if (thread)
        thread->detach();
}

void DownloadStatusController::AlbumArtDownload::Start()
{
    try {
        thread.reset(new boost::thread(boost::bind(&AlbumArtDownload::ThreadEntry, this)));
    } catch (const boost::thread_resource_error&) {
        Destroy();
    }
}

void DownloadStatusController::AlbumArtDownload::Destroy()
{
    delete this;
}

void DownloadStatusController::AlbumArtDownload::ThreadEntry()
{
    const std::string url = track->GetMetadataValue(DownloadModel::Track::MetadataKey::Image);
    transfer.reset(new Vantor::Net::Download(url.c_str(), 0));
    transfer->DownloadSync(stream);
    stream.flush();
    // The main thread lets go of the signal's slots, and Start has returned by the time the
    // main thread gets to the item.
    MainThreadInvoke::sInstance.InvokeSync(
        boost::shared_ptr<MainThreadInvoke::IInvokable>(new Invokable0<void>(finishedSignal)));
    delete this;
}

void DownloadStatusController::AlbumArtDownload::OnDownloadFinished()
{
    if (transfer && transfer->GetState() == Vantor::Net::Download::Downloaded) {
        const Glib::RefPtr<Gdk::Pixbuf> image = Decode(stream.str());
        if (image)
            ImageDownloadedSignal.emit(track, image);
    }
    // The slots are tied to main-thread objects (a controller going away disconnects itself):
    // they must not be torn down on the fetch thread when it deletes this object.
    ImageDownloadedSignal.clear();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
