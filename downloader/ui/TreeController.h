#ifndef DOWNLOADER_UI_TREECONTROLLER_H
#define DOWNLOADER_UI_TREECONTROLLER_H

#include "core/net/Download.h"
#include "downloader/app/DownloadModelSignalProxy.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/model/GroupedDownload.h"
#include "downloader/ui/DownloadListModel.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <gtkmm/cellrendererprogress.h>
#include <gtkmm/cellrenderertext.h>
#include <gtkmm/treemodelcolumn.h>
#include <gtkmm/treeview.h>
#include <sigc++/connection.h>

#include <map>
#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The main window's list of the queue: one row per album at the top level, showing the
// album's state or progress, and under it one row per download of that album, showing the
// download's state, or a progress bar while it transfers. Rows appear in the order the
// downloads arrive and are kept up to date from the model's events alone; the list never
// changes the queue, and its rows can't be selected, moved or edited. Main thread only.
class TreeController : private boost::noncopyable {
public:
    typedef DownloadModel::DownloadPtr DownloadPtr;

    // The list's two columns: the title, then the status (a state text, or the percentage in
    // decimal digits while the row's download or album transfers).
    class TreeModelColumns : public Gtk::TreeModelColumnRecord {
    public:
        TreeModelColumns();

        Gtk::TreeModelColumn<Glib::ustring> title;
        Gtk::TreeModelColumn<Glib::ustring> status;
    };

    // Draws a status that is all digits as a progress bar at that percentage, any other
    // status as text. The cell is always measured as text.
    class StatusCellRenderer : public Gtk::CellRendererText {
    public:
        class StatusProgressRenderer : public Gtk::CellRendererProgress {
        public:
            ~StatusProgressRenderer() override;
        };

        ~StatusCellRenderer() override;

    protected:
        void render_vfunc(const Glib::RefPtr<Gdk::Drawable>& window, Gtk::Widget& widget,
                          const Gdk::Rectangle& background_area, const Gdk::Rectangle& cell_area,
                          const Gdk::Rectangle& expose_area, Gtk::CellRendererState flags) override;

    private:
        // Serves every numeric cell: its value is set again before each one is drawn.
        StatusProgressRenderer progress;
    };

    // An album on the list: its aggregate and its row.
    struct GroupedDownloadRow {
        boost::shared_ptr<GroupedDownload> group;
        DownloadListModel::Row* row;
    };

    // Shows the list in the "DownloadTreeView" of the "MainWindow" tree and follows `model`.
    explicit TreeController(boost::shared_ptr<DownloadModel> model);
    // Takes the list's columns and rows out of the tree view again.
    ~TreeController();

    // The album a download belongs to: its album artist followed by its album, with no
    // separator between them.
    static Glib::ustring GroupIdentifierForDownload(DownloadPtr download);

private:
    void Initialize();
    void ConnectSignals();

    // The download's album, its row appended at the end of the list when it is new.
    GroupedDownloadRow& GroupForDownload(DownloadPtr download);

    void OnDownloadAdded(DownloadPtr download);
    void OnDownloadRemoved(DownloadPtr download);
    void OnDownloadStateChanged(DownloadPtr download, Vantor::Net::Download::State state);
    void OnDownloadProgressChanged(DownloadPtr download, Vantor::Net::Download::Progress kind, long long value);
    // Rewrites the status of the download's row and of its album's row.
    void UpdateDownloadStatusInView(DownloadPtr download);
    // Holds the window's painting back for a moment, unless it is held already.
    void HoldPainting();

    boost::shared_ptr<DownloadModel> model;
    DownloadModelSignalProxy proxy;
    TreeModelColumns columns;
    StatusCellRenderer* statusRenderer;
    // Not owned; null when the window's definition lacks it, and then the list is kept
    // without being shown.
    Gtk::TreeView* treeView;
    // Each entry goes with its row.
    std::map<const DownloadPtr, DownloadListModel::Row*> trackRows;
    // Keyed by the identifier's bytes: Glib::ustring compares by the locale's collation, which
    // is slow and may take two different albums for one.
    std::map<std::string, GroupedDownloadRow> albumGroups;
    DownloadListModel rows;
    // The window whose painting is held, and the timer that lets it go.
    Glib::RefPtr<Gdk::Window> heldWindow;
    sigc::connection paintingRelease;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
