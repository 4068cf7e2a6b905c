#include "downloader/ui/DownloadStatusController.h"

#include "core/data/StringUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/localization/TranslationService.h"
#include "core/net/StoreWebHost.h"
#include "downloader/app/UtilityBrowser.h"
#include "downloader/app/UtilityPaths.h"
#include "downloader/model/DownloadModelDownload.h"
#include "downloader/ui/DownloadStatusControllerAlbumArtDownload.h"

#include <boost/algorithm/string/replace.hpp>
#include <boost/format.hpp>
#include <glibmm/markup.h>
#include <pangomm/layout.h>

#include <exception>
#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Localization::Translate;

namespace {

const int kArtSize = 75;
const std::string kMusicStoreUrl = std::string(Vantor::Net::kStoreWebHost) + "/mp3/";

// The status line as markup. Title and artist are escaped: they come from the queue file and
// would otherwise be read as markup, and one '<' or '&' would leave the label blank.
std::string StatusMarkup(const DownloadModel::Track& track)
{
    // The label's markup has no line-break element.
    std::string layout = Translate("sonvel_status_downloading_gtk",
                                   "Now downloading <b><big>%1%</big></b><br>by <b><big>%2%</big></b>");
    boost::replace_all(layout, "<br>", "\n");
    try {
        boost::format format(layout);
        // A translation that leaves out a placeholder shows the rest of its text.
        format.exceptions(boost::io::all_error_bits ^ (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
        format % Glib::Markup::escape_text(track.GetMetadataValue(DownloadModel::Track::MetadataKey::Title))
            % Glib::Markup::escape_text(track.GetMetadataValue(DownloadModel::Track::MetadataKey::Creator));
        return format.str();
    } catch (const boost::io::format_error& error) {
        Vantor::Diagnostic::Debug::LogString(std::string("DownloadStatusController: bad status text: ") + error.what());
    }
    return std::string();
}

} // namespace

DownloadStatusController::DownloadStatusController(boost::shared_ptr<DownloadModel> model)
    : model(model), proxy(model)
{
    Initialize();
}

DownloadStatusController::~DownloadStatusController() = default;

void DownloadStatusController::Initialize()
{
    const Glib::RefPtr<Gnome::Glade::Xml> glade = Utility::GetGlade("MainWindow");
    glade->get_widget("AlbumArtImage", albumArtImage);
    glade->get_widget("DownloadStatusLabel", statusLabel);
    glade->get_widget("ShopButton", shopButton);
    glade->get_widget("ShopButtonLabel", shopButtonLabel);

    defaultArt = Utility::GetPixbuf("vantormp3_icon.png")->scale_simple(kArtSize, kArtSize, Gdk::INTERP_BILINEAR);
    albumArtImage->set(defaultArt);
    if (Gtk::Image* shopImage = dynamic_cast<Gtk::Image*>(glade->get_widget("ShopButtonImage")))
        shopImage->set(Utility::GetPixbuf("vantormp3_logo.png"));

    statusLabel->set_use_markup(true);
    statusLabel->set_single_line_mode(false);
    statusLabel->set_line_wrap(true);
    statusLabel->set_ellipsize(Pango::ELLIPSIZE_MIDDLE);
    statusLabel->set_markup("");

    ConnectSignals();
    Localize();
}

void DownloadStatusController::ConnectSignals()
{
    proxy.DownloadStartedSignal.connect(sigc::mem_fun(*this, &DownloadStatusController::OnDownloadStarted));
    proxy.DownloadQueueFinishedSignal.connect(sigc::mem_fun(*this, &DownloadStatusController::OnDownloadQueueFinished));
    coverFetchEndedSignal.connect(sigc::mem_fun(*this, &DownloadStatusController::OnCoverFetchEnded));
    shopButton->signal_clicked().connect(sigc::mem_fun(*this, &DownloadStatusController::OnShopButtonClicked));
}

void DownloadStatusController::Localize()
{
    shopButtonLabel->set_text(Translate("sonvel_status_shop", "Shop Vantor MP3 Store"));
}

void DownloadStatusController::OnShopButtonClicked()
{
    Utility::OpenURL(Translate("sonvel_url_music_store", kMusicStoreUrl).c_str());
}

void DownloadStatusController::OnDownloadStarted(const DownloadModel::DownloadPtr download)
{
    currentTrack = download->GetTrack();
    // The cover on screen stays until the new one arrives; a track without one fetches nothing.
    const bool hasCover =
        currentTrack && !currentTrack->GetMetadataValue(DownloadModel::Track::MetadataKey::Image).empty();
    coverWanted = hasCover ? currentTrack : TrackPtr();
    // A fetch under way is for a track no longer shown: abandoned, its end starts the next.
    if (coverFetch)
        coverFetch->Cancel();
    else
        FetchWantedCover();
    statusLabel->set_markup(currentTrack ? StatusMarkup(*currentTrack) : "");
}

void DownloadStatusController::FetchWantedCover()
{
    if (!coverWanted)
        return;
    std::unique_ptr<AlbumArtDownload> fetch(new AlbumArtDownload(coverWanted, coverFetchEndedSignal));
    coverWanted.reset();
    if (fetch->Start())
        coverFetch = std::move(fetch);
}

void DownloadStatusController::OnCoverFetchEnded()
{
    const std::unique_ptr<AlbumArtDownload> ended = std::move(coverFetch);
    OnImageDownloaded(ended->GetTrack(), ended->DecodeImage());
    FetchWantedCover();
}

void DownloadStatusController::OnDownloadQueueFinished()
{
    statusLabel->set_markup("");
    albumArtImage->set(defaultArt);
}

void DownloadStatusController::OnImageDownloaded(TrackPtr track, Glib::RefPtr<Gdk::Pixbuf> image)
{
    // A cover of an earlier download that arrives late.
    if (track != currentTrack)
        return;
    if (!image || image->get_width() == 0)
        return;
    Glib::RefPtr<Gdk::Pixbuf> scaled;
    try {
        scaled = image->scale_simple(kArtSize, kArtSize, Gdk::INTERP_BILINEAR);
    } catch (const std::exception&) {
    }
    albumArtImage->set(scaled ? scaled : defaultArt);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
