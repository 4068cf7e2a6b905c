#include "downloader/ui/TreeController.h"

#include "core/data/StringUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/localization/TranslationService.h"
#include "downloader/app/UtilityPaths.h"
#include "downloader/model/DownloadModelDownload.h"
#include "downloader/model/DownloadModelTrack.h"

#include <glibmm/main.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Localization::Translate;

namespace {

using Vantor::Data::StringUtility;

const int kTitleColumnWidth = 500;
// How long rows arriving or leaving hold the window's painting back, in milliseconds.
const unsigned kPaintingHold = 100;


// A transferring download or album shows its percentage, which the status cell draws as a
// progress bar; anything else shows its state text.
std::string StatusText(const DownloadModel::Download& download)
{
    if (download.GetState() == Vantor::Net::Download::Downloading)
        return std::to_string(static_cast<unsigned>(download.GetPercentCompleted()));
    return download.GetStateString();
}

// "7. Intro" for an audio track that has a number; the title alone otherwise.
std::string TrackTitle(const DownloadModel::Download& download)
{
    const boost::shared_ptr<DownloadModel::Track> track = download.GetTrack();
    std::string prefix;
    if (download.GetType() == DownloadType::Audio) {
        prefix = track->GetMetadataValue(DownloadModel::Track::MetadataKey::TrackNum);
        if (!prefix.empty())
            prefix += ". ";
    }
    return prefix + track->GetMetadataValue(DownloadModel::Track::MetadataKey::Title);
}

} // namespace

TreeController::TreeModelColumns::TreeModelColumns()
{
    add(title);
    add(status);
}

TreeController::StatusCellRenderer::StatusProgressRenderer::~StatusProgressRenderer() = default;

TreeController::StatusCellRenderer::~StatusCellRenderer() = default;

void TreeController::StatusCellRenderer::render_vfunc(const Glib::RefPtr<Gdk::Drawable>& window, Gtk::Widget& widget,
                                                      const Gdk::Rectangle& background_area,
                                                      const Gdk::Rectangle& cell_area,
                                                      const Gdk::Rectangle& expose_area, Gtk::CellRendererState flags)
{
    const Glib::ustring text = property_text().get_value();
    if (!StringUtility::IsNumeric(text)) {
        Gtk::CellRendererText::render_vfunc(window, widget, background_area, cell_area, expose_area, flags);
        return;
    }
    progress.property_value() = static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
    // A drawable and a window are one C type in GTK 2; gtkmm's render() wants the wrapper
    // of a window, which a drag icon's pixmap is not.
    gtk_cell_renderer_render(GTK_CELL_RENDERER(progress.gobj()), window->gobj(), widget.gobj(),
                             const_cast<GdkRectangle*>(background_area.gobj()),
                             const_cast<GdkRectangle*>(cell_area.gobj()),
                             const_cast<GdkRectangle*>(expose_area.gobj()), static_cast<GtkCellRendererState>(flags));
}

TreeController::TreeController(boost::shared_ptr<DownloadModel> model)
    : model(model)
    , proxy(model)
    , statusRenderer(new StatusCellRenderer)
    , treeView(nullptr)
{
    Initialize();
}

TreeController::~TreeController()
{
    // The tree view outlives the list: it must not go on drawing with a renderer that is
    // gone or rows that nobody updates.
    if (treeView) {
        treeView->remove_all_columns();
        treeView->unset_model();
    }
    if (paintingRelease.connected()) {
        paintingRelease.disconnect();
        heldWindow->thaw_updates();
    }
    delete statusRenderer;
}

void TreeController::Initialize()
{
    const Glib::RefPtr<Gnome::Glade::Xml> glade = Utility::GetGlade("MainWindow");
    if (glade)
        glade->get_widget("DownloadTreeView", treeView);
    const Glib::ustring titleHeader = Translate("sonvel_treeview_title", "Title");
    const Glib::ustring statusHeader = Translate("sonvel_treeview_status", "Status");

    if (!treeView) {
        Vantor::Diagnostic::Debug::LogString("TreeController: no DownloadTreeView, the download list is not shown");
    } else {
        treeView->set_model(rows.TreeModel());
        treeView->get_selection()->set_mode(Gtk::SELECTION_NONE);
        treeView->set_rules_hint(true);

        treeView->append_column(titleHeader, columns.title);
        Gtk::TreeViewColumn* status = Gtk::manage(new Gtk::TreeViewColumn(statusHeader));
        status->pack_start(*statusRenderer, true);
        status->add_attribute(statusRenderer->property_text(), columns.status);
        treeView->append_column(*status);

        Gtk::TreeViewColumn* title = treeView->get_column(0);
        title->set_sizing(Gtk::TREE_VIEW_COLUMN_FIXED);
        title->set_resizable(true);
        title->set_fixed_width(kTitleColumnWidth);
        status->set_resizable(true);
        status->set_sizing(Gtk::TREE_VIEW_COLUMN_FIXED);
        treeView->set_reorderable(false);
    }
    ConnectSignals();
}

void TreeController::ConnectSignals()
{
    proxy.DownloadAddedSignal.connect(sigc::mem_fun(*this, &TreeController::OnDownloadAdded));
    proxy.DownloadRemovedSignal.connect(sigc::mem_fun(*this, &TreeController::OnDownloadRemoved));
    proxy.DownloadStateChangedSignal.connect(sigc::mem_fun(*this, &TreeController::OnDownloadStateChanged));
    proxy.DownloadProgressChangedSignal.connect(sigc::mem_fun(*this, &TreeController::OnDownloadProgressChanged));
}

Glib::ustring TreeController::GroupIdentifierForDownload(DownloadPtr download)
{
    const boost::shared_ptr<DownloadModel::Track> track = download->GetTrack();
    return track->GetMetadataValue(DownloadModel::Track::MetadataKey::AlbumArtist)
        + track->GetMetadataValue(DownloadModel::Track::MetadataKey::Album);
}

TreeController::GroupedDownloadRow& TreeController::GroupForDownload(DownloadPtr download)
{
    const std::string identifier = GroupIdentifierForDownload(download).raw();
    const auto found = albumGroups.find(identifier);
    if (found != albumGroups.end())
        return found->second;

    GroupedDownloadRow& album = albumGroups[identifier];
    album.group.reset(new GroupedDownload(model));
    album.row = rows.AppendAlbum("", "");
    return album;
}

void TreeController::OnDownloadAdded(DownloadPtr download)
{
    HoldPainting();
    GroupedDownloadRow& album = GroupForDownload(download);
    album.group->AddChildDownload(download);
    rows.SetTitle(album.row, album.group->GetTrack()->GetMetadataValue(DownloadModel::Track::MetadataKey::Title));
    rows.SetStatus(album.row, album.group->GetStateString());

    trackRows[download] = rows.AppendTrack(album.row, TrackTitle(*download), download->GetStateString());
}

void TreeController::OnDownloadRemoved(DownloadPtr download)
{
    const auto found = trackRows.find(download);
    if (found == trackRows.end())
        return;

    HoldPainting();
    GroupedDownloadRow& album = GroupForDownload(download);
    rows.Remove(found->second);
    trackRows.erase(found);
    // The album shows the tracks on the list, and a cleared track is not kept alive by it.
    album.group->DeleteChildDownload(download);

    if (!album.group->HasChildren()) {
        rows.Remove(album.row);
        albumGroups.erase(GroupIdentifierForDownload(download).raw());
    }
}

void TreeController::OnDownloadStateChanged(DownloadPtr download, Vantor::Net::Download::State)
{
    UpdateDownloadStatusInView(download);
}

void TreeController::OnDownloadProgressChanged(DownloadPtr download, Vantor::Net::Download::Progress, long long)
{
    UpdateDownloadStatusInView(download);
}

void TreeController::UpdateDownloadStatusInView(DownloadPtr download)
{
    const auto found = trackRows.find(download);
    if (found == trackRows.end())
        return;

    rows.SetStatus(found->second, StatusText(*download));
    const GroupedDownloadRow& album = GroupForDownload(download);
    album.group->ChildStateChanged(download);
    rows.SetStatus(album.row, StatusText(*album.group));
}

void TreeController::HoldPainting()
{
    // GTK repaints the whole list after every row that comes or goes at the top level: a
    // queue file of many tracks had the window paint once per album, which took most of the
    // time it took to list them. Held back, it paints what changed meanwhile a few times a
    // second.
    if (paintingRelease.connected() || !treeView || !treeView->get_window())
        return;
    heldWindow = treeView->get_window();
    heldWindow->freeze_updates();
    paintingRelease = Glib::signal_timeout().connect(
        [this] {
            heldWindow->thaw_updates();
            return false;
        },
        kPaintingHold);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
