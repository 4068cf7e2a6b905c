#include "downloader/ui/DownloadListModel.h"

#include <glib/grand.h>
#include <glibmm/main.h>
#include <gtk/gtk.h>

#include <algorithm>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

typedef DownloadListModel::Row Row;

const gint kTitleColumn = 0;
const gint kColumns = 2;

// The GObject behind the model. It holds the rows, so that they last as long as any tree view
// that still holds the model.
struct ListModel {
    GObject parent;
    std::vector<Row*>* albums;
    // Marks the iterators of this model.
    gint stamp;
};

struct ListModelClass {
    GObjectClass parent;
};

void list_model_tree_model_init(GtkTreeModelIface* iface);

G_DEFINE_TYPE_WITH_CODE(ListModel, list_model, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_TREE_MODEL, list_model_tree_model_init))

ListModel* Self(GtkTreeModel* model)
{
    return G_TYPE_CHECK_INSTANCE_CAST(model, list_model_get_type(), ListModel);
}

Row* RowOf(const GtkTreeIter* iter)
{
    return static_cast<Row*>(iter->user_data);
}

void SetIter(const ListModel* self, GtkTreeIter* iter, Row* row)
{
    iter->stamp = self->stamp;
    iter->user_data = row;
    iter->user_data2 = nullptr;
    iter->user_data3 = nullptr;
}

std::vector<Row*>& Siblings(ListModel* self, const Row* row)
{
    return row->parent ? row->parent->children : *self->albums;
}

void DeleteRow(Row* row)
{
    for (Row* child : row->children)
        DeleteRow(child);
    delete row;
}

void list_model_init(ListModel* self)
{
    self->albums = new std::vector<Row*>;
    self->stamp = static_cast<gint>(g_random_int());
}

void list_model_finalize(GObject* object)
{
    ListModel* self = G_TYPE_CHECK_INSTANCE_CAST(object, list_model_get_type(), ListModel);
    for (Row* album : *self->albums)
        DeleteRow(album);
    delete self->albums;
    G_OBJECT_CLASS(list_model_parent_class)->finalize(object);
}

void list_model_class_init(ListModelClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = list_model_finalize;
}

GtkTreeModelFlags GetFlags(GtkTreeModel*)
{
    return GTK_TREE_MODEL_ITERS_PERSIST;
}

gint GetNColumns(GtkTreeModel*)
{
    return kColumns;
}

GType GetColumnType(GtkTreeModel*, gint)
{
    return G_TYPE_STRING;
}

gboolean GetIter(GtkTreeModel* model, GtkTreeIter* iter, GtkTreePath* path)
{
    ListModel* self = Self(model);
    const gint depth = gtk_tree_path_get_depth(path);
    const gint* indices = gtk_tree_path_get_indices(path);
    const std::vector<Row*>* rows = self->albums;
    Row* row = nullptr;
    for (gint level = 0; level < depth; ++level) {
        if (indices[level] < 0 || static_cast<std::size_t>(indices[level]) >= rows->size())
            return FALSE;
        row = (*rows)[indices[level]];
        rows = &row->children;
    }
    if (!row)
        return FALSE;
    SetIter(self, iter, row);
    return TRUE;
}

GtkTreePath* GetPath(GtkTreeModel*, GtkTreeIter* iter)
{
    const Row* row = RowOf(iter);
    GtkTreePath* path = gtk_tree_path_new();
    if (row->parent)
        gtk_tree_path_append_index(path, static_cast<gint>(row->parent->index));
    gtk_tree_path_append_index(path, static_cast<gint>(row->index));
    return path;
}

void GetValue(GtkTreeModel*, GtkTreeIter* iter, gint column, GValue* value)
{
    const Row* row = RowOf(iter);
    g_value_init(value, G_TYPE_STRING);
    g_value_set_string(value, (column == kTitleColumn ? row->title : row->status).c_str());
}

gboolean IterNext(GtkTreeModel* model, GtkTreeIter* iter)
{
    const Row* row = RowOf(iter);
    const std::vector<Row*>& siblings = Siblings(Self(model), row);
    if (row->index + 1 >= siblings.size())
        return FALSE;
    iter->user_data = siblings[row->index + 1];
    return TRUE;
}

gboolean IterNthChild(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent, gint n)
{
    ListModel* self = Self(model);
    // `iter` may be `parent` itself: the parent is read first.
    const std::vector<Row*>& rows = parent ? RowOf(parent)->children : *self->albums;
    if (n < 0 || static_cast<std::size_t>(n) >= rows.size())
        return FALSE;
    SetIter(self, iter, rows[n]);
    return TRUE;
}

gboolean IterChildren(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent)
{
    return IterNthChild(model, iter, parent, 0);
}

gboolean IterHasChild(GtkTreeModel*, GtkTreeIter* iter)
{
    return !RowOf(iter)->children.empty();
}

gint IterNChildren(GtkTreeModel* model, GtkTreeIter* iter)
{
    return static_cast<gint>(iter ? RowOf(iter)->children.size() : Self(model)->albums->size());
}

gboolean IterParent(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* child)
{
    Row* parent = RowOf(child)->parent;
    if (!parent)
        return FALSE;
    SetIter(Self(model), iter, parent);
    return TRUE;
}

void list_model_tree_model_init(GtkTreeModelIface* iface)
{
    iface->get_flags = GetFlags;
    iface->get_n_columns = GetNColumns;
    iface->get_column_type = GetColumnType;
    iface->get_iter = GetIter;
    iface->get_path = GetPath;
    iface->get_value = GetValue;
    iface->iter_next = IterNext;
    iface->iter_children = IterChildren;
    iface->iter_has_child = IterHasChild;
    iface->iter_n_children = IterNChildren;
    iface->iter_nth_child = IterNthChild;
    iface->iter_parent = IterParent;
}

// Tells the views of the model what became of `row`: `signal` is one of the model's signals
// that carry a row's path and iterator.
void Tell(GObject* object, Row* row, void (*signal)(GtkTreeModel*, GtkTreePath*, GtkTreeIter*))
{
    GtkTreeModel* model = GTK_TREE_MODEL(object);
    GtkTreeIter iter;
    SetIter(Self(model), &iter, row);
    GtkTreePath* path = GetPath(model, &iter);
    signal(model, path, &iter);
    gtk_tree_path_free(path);
}

} // namespace

DownloadListModel::DownloadListModel()
    : object(G_OBJECT(g_object_new(list_model_get_type(), nullptr)))
{
}

DownloadListModel::~DownloadListModel()
{
    takingOut.disconnect();
    g_object_unref(object);
}

Glib::RefPtr<Gtk::TreeModel> DownloadListModel::TreeModel() const
{
    return Glib::wrap(GTK_TREE_MODEL(object), true);
}

DownloadListModel::Row* DownloadListModel::AppendAlbum(const std::string& title, const std::string& status)
{
    return Append(nullptr, title, status);
}

DownloadListModel::Row* DownloadListModel::AppendTrack(Row* album, const std::string& title, const std::string& status)
{
    return Append(album, title, status);
}

DownloadListModel::Row* DownloadListModel::Append(Row* parent, const std::string& title, const std::string& status)
{
    std::vector<Row*>& siblings = parent ? parent->children : *Self(GTK_TREE_MODEL(object))->albums;
    Row* row = new Row{parent, static_cast<unsigned>(siblings.size()), false, title, status, {}};
    siblings.push_back(row);
    Tell(object, row, gtk_tree_model_row_inserted);
    if (parent && parent->children.size() == 1)
        Tell(object, parent, gtk_tree_model_row_has_child_toggled);
    return row;
}

void DownloadListModel::SetTitle(Row* row, const std::string& text)
{
    SetText(row, &Row::title, text);
}

void DownloadListModel::SetStatus(Row* row, const std::string& text)
{
    SetText(row, &Row::status, text);
}

void DownloadListModel::SetText(Row* row, std::string Row::*cell, const std::string& text)
{
    if (row->*cell == text)
        return;
    row->*cell = text;
    Tell(object, row, gtk_tree_model_row_changed);
}

void DownloadListModel::Remove(Row* row)
{
    row->leaving = true;
    leaving.push_back(row);
    // Before the window is laid out and painted again.
    if (!takingOut.connected())
        takingOut = Glib::signal_idle().connect(
            [this] {
                TakeOutLeaving();
                return false;
            },
            G_PRIORITY_HIGH_IDLE);
}

void DownloadListModel::TakeOutLeaving()
{
    // Tracks first, album by album, while every album is still where the view has it. An album
    // that leaves takes its tracks with it.
    std::vector<Row*> albums;
    bool albumsLeave = false;
    for (const Row* row : leaving) {
        if (!row->parent)
            albumsLeave = true;
        else if (!row->parent->leaving)
            albums.push_back(row->parent);
    }
    leaving.clear();
    std::sort(albums.begin(), albums.end());
    albums.erase(std::unique(albums.begin(), albums.end()), albums.end());
    for (Row* album : albums)
        TakeOut(album);
    if (albumsLeave)
        TakeOut(nullptr);
}

void DownloadListModel::TakeOut(Row* album)
{
    GtkTreeModel* model = GTK_TREE_MODEL(object);
    std::vector<Row*>& rows = album ? album->children : *Self(model)->albums;
    std::vector<Row*> gone;
    unsigned kept = 0;
    for (Row* row : rows) {
        if (row->leaving) {
            gone.push_back(row);
        } else {
            row->index = kept;
            rows[kept++] = row;
        }
    }
    rows.resize(kept);
    // The view is told of each from the last to the first, at the place it had: for the view,
    // the rows before it have not moved yet.
    for (auto row = gone.rbegin(); row != gone.rend(); ++row) {
        GtkTreePath* path = gtk_tree_path_new();
        if (album)
            gtk_tree_path_append_index(path, static_cast<gint>(album->index));
        gtk_tree_path_append_index(path, static_cast<gint>((*row)->index));
        gtk_tree_model_row_deleted(model, path);
        gtk_tree_path_free(path);
        DeleteRow(*row);
    }
    if (album && rows.empty())
        Tell(object, album, gtk_tree_model_row_has_child_toggled);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
