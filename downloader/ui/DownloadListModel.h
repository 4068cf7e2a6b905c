#ifndef DOWNLOADER_UI_DOWNLOADLISTMODEL_H
#define DOWNLOADER_UI_DOWNLOADLISTMODEL_H

#include <glibmm/refptr.h>
#include <gtkmm/treemodel.h>

#include <boost/noncopyable.hpp>
#include <sigc++/connection.h>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The rows of the download list as a tree model: albums at the top level, each with its tracks
// under it, and two text columns, the title and the status. A model of its own rather than a
// Gtk::TreeStore: the store finds a row's place by walking the rows before it, for every row
// added, every cell written and every row looked up, so listing a queue of ten thousand albums
// took time in the square of their number. Here each row knows its place. Its iterators stay
// valid for as long as their row is there. Main thread only.
//
// Rows removed are taken out together once the main loop's turn is over: each row taken out on
// its own moved every row after it up by one place, so clearing many albums from the top of the
// list took time in the square of their number. Until then they stay on the list as they were.
class DownloadListModel : private boost::noncopyable {
public:
    // One row, valid from its append until its removal.
    struct Row {
        // Null for an album.
        Row* parent;
        // Its place among its siblings.
        unsigned index;
        // Removed, and taken out at the end of the turn.
        bool leaving;
        std::string title;
        std::string status;
        // An album's tracks.
        std::vector<Row*> children;
    };

    DownloadListModel();
    // The rows go with the last reference to the model: a tree view may hold one longer.
    ~DownloadListModel();

    // The model as a tree view takes it.
    Glib::RefPtr<Gtk::TreeModel> TreeModel() const;

    Row* AppendAlbum(const std::string& title, const std::string& status);
    Row* AppendTrack(Row* album, const std::string& title, const std::string& status);
    // Each tells the view only when the text changes.
    void SetTitle(Row* row, const std::string& text);
    void SetStatus(Row* row, const std::string& text);
    // Removes the row, an album with its tracks, at the end of the main loop's turn. The row must
    // not be used any more.
    void Remove(Row* row);

private:
    Row* Append(Row* parent, const std::string& title, const std::string& status);
    void SetText(Row* row, std::string Row::*cell, const std::string& text);
    // Takes out the rows removed, each list of rows moved up once.
    void TakeOutLeaving();
    // Takes the leaving rows out of the tracks of `album`, or out of the albums when it is null.
    void TakeOut(Row* album);

    // The GtkTreeModel instance; it owns the rows.
    GObject* object;
    // Removed and not yet taken out, in the order they were removed.
    std::vector<Row*> leaving;
    sigc::connection takingOut;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
