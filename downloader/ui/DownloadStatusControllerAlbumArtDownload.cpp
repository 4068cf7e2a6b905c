#include "downloader/ui/DownloadStatusControllerAlbumArtDownload.h"

#include "downloader/app/Invokable.h"

#include <boost/bind/bind.hpp>
#include <gdkmm/pixbufloader.h>

#include <string>
#include <utility>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

// A cover is a few hundred kilobytes. An answer that goes on beyond this is not one: the
// transfer fails rather than hold it, however long it runs.
const std::streamsize kCoverByteLimit = 4 * 1024 * 1024;

// The panel shows 75 x 75 pixels; a cover wider or taller than this is more than it can use at
// any scale. A few hundred bytes may announce 40000 x 40000 pixels, gigabytes once decoded.
const int kCoverSideLimit = 4096;

// A loader for the formats covers come in, known by their first bytes; null for any other.
// These loaders give up before they allocate the image when it is to be scaled to nothing
// (Decode); not every other one does.
Glib::RefPtr<Gdk::PixbufLoader> LoaderFor(const std::string& bytes)
{
    static const std::pair<std::string, const char*> kFormats[] = {
        {"\x89PNG\r\n\x1a\n", "png"}, {"\xFF\xD8\xFF", "jpeg"}, {"GIF8", "gif"}};
    for (const auto& [signature, type] : kFormats)
        if (bytes.compare(0, signature.size(), signature) == 0)
            return Gdk::PixbufLoader::create(Glib::ustring(type));
    return Glib::RefPtr<Gdk::PixbufLoader>();
}

// The image in `bytes`; empty when they are not one, or one too large to be a cover.
Glib::RefPtr<Gdk::Pixbuf> Decode(const std::string& bytes)
{
    try {
        const Glib::RefPtr<Gdk::PixbufLoader> loader = LoaderFor(bytes);
        if (!loader)
            return Glib::RefPtr<Gdk::Pixbuf>();
        // The size is announced before any pixel is read: one too large is refused there.
        Gdk::PixbufLoader* announced = loader.operator->();
        loader->signal_size_prepared().connect([announced](int width, int height) {
            if (width > kCoverSideLimit || height > kCoverSideLimit)
                announced->set_size(0, 0);
        });
        loader->write(reinterpret_cast<const guint8*>(bytes.data()), bytes.size());
        loader->close();
        return loader->get_pixbuf();
    } catch (const Glib::Error&) {
        // A failed write has closed the loader already.
        return Glib::RefPtr<Gdk::Pixbuf>();
    }
}

} // namespace

DownloadStatusController::AlbumArtDownload::AlbumArtDownload(TrackPtr track, sigc::signal<void>& endedSignal)
    : endedSignal(endedSignal),
      alive(new char),
      received(kCoverByteLimit),
      stream(&received),
      track(track),
      transfer(new Vantor::Net::Download(track->GetMetadataValue(DownloadModel::Track::MetadataKey::Image).c_str(), 0))
{
}

DownloadStatusController::AlbumArtDownload::~AlbumArtDownload()
{
    Cancel();
    if (thread)
        thread->join();
    // `alive` goes with the object: items run on the main thread, so none can run before.
}

bool DownloadStatusController::AlbumArtDownload::Start()
{
    try {
        thread.reset(new boost::thread(boost::bind(&AlbumArtDownload::ThreadEntry, this)));
        return true;
    } catch (const boost::thread_resource_error&) {
        return false;
    }
}

void DownloadStatusController::AlbumArtDownload::Cancel()
{
    // Before the transfer has begun, it then never does.
    transfer->Cancel();
}

DownloadStatusController::TrackPtr DownloadStatusController::AlbumArtDownload::GetTrack() const
{
    return track;
}

Glib::RefPtr<Gdk::Pixbuf> DownloadStatusController::AlbumArtDownload::DecodeImage()
{
    if (transfer->GetState() != Vantor::Net::Download::Downloaded)
        return Glib::RefPtr<Gdk::Pixbuf>();
    return Decode(received.str());
}

void DownloadStatusController::AlbumArtDownload::ThreadEntry()
{
    transfer->DownloadSync(stream);
    EmitOnMainThread(alive, endedSignal);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
