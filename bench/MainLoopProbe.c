/* Loaded into the program by ProgramBench through GTK_MODULES; the program itself is not
 * changed. A 10 ms timer at the priority of GTK's repaint notes the largest gap between its
 * ticks: it runs only when the main loop gets as far as painting, so a loop kept busy by
 * higher-priority work counts as stalled even though it turns. The track rows (rows under an
 * album row) of the download list are counted as they are inserted and deleted. Each tick
 * writes, over the start of the file named by VANTOR_LOOP_PROBE and always at the same length
 * (cutting the file short each time had the file system wait for the disk on the main thread):
 *   rows <track rows>  first <monotonic us of the main loop's first turn>
 *   shown <monotonic us when the track rows first reached VANTOR_LOOP_ROWS, or 0>
 *   maxgap <largest gap in us since the first turn or the last reset>  tick <monotonic us of this tick>
 * A file named like it with ".reset" appended resets the largest gap and "shown", and is removed. */
#include <gtk/gtk.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static const char *output_path;
static gchar *reset_path;
static int output_fd = -1;
static int wanted_rows;
static GtkTreeModel *list_model;
static int track_rows;
static gint64 first_tick, last_tick, largest_gap, shown;

static void on_row_inserted(GtkTreeModel *model, GtkTreePath *path, GtkTreeIter *iter, gpointer unused)
{
    (void)model;
    (void)iter;
    (void)unused;
    if (gtk_tree_path_get_depth(path) == 2)
        ++track_rows;
}

static void on_row_deleted(GtkTreeModel *model, GtkTreePath *path, gpointer unused)
{
    (void)model;
    (void)unused;
    if (gtk_tree_path_get_depth(path) == 2)
        --track_rows;
}

/* The download list's store: the model of the first tree view in a top-level window. */
static GtkTreeModel *find_list_model(void)
{
    GtkTreeModel *found = NULL;
    GList *windows = gtk_window_list_toplevels();
    for (GList *item = windows; item && !found; item = item->next) {
        GList *stack = g_list_prepend(NULL, item->data);
        while (stack) {
            GtkWidget *widget = stack->data;
            stack = g_list_delete_link(stack, stack);
            if (!found && GTK_IS_TREE_VIEW(widget) && gtk_tree_view_get_model(GTK_TREE_VIEW(widget)))
                found = gtk_tree_view_get_model(GTK_TREE_VIEW(widget));
            else if (GTK_IS_CONTAINER(widget))
                stack = g_list_concat(gtk_container_get_children(GTK_CONTAINER(widget)), stack);
        }
    }
    g_list_free(windows);
    return found;
}

/* Counts the rows already there when the store is first found. */
static void watch_list(GtkTreeModel *model)
{
    GtkTreeIter album;
    list_model = model;
    g_object_ref(model);
    for (gboolean more = gtk_tree_model_get_iter_first(model, &album); more; more = gtk_tree_model_iter_next(model, &album))
        track_rows += gtk_tree_model_iter_n_children(model, &album);
    g_signal_connect(model, "row-inserted", G_CALLBACK(on_row_inserted), NULL);
    g_signal_connect(model, "row-deleted", G_CALLBACK(on_row_deleted), NULL);
}

static gboolean tick(gpointer unused)
{
    (void)unused;
    const gint64 now = g_get_monotonic_time();
    if (access(reset_path, F_OK) == 0) {
        unlink(reset_path);
        largest_gap = 0;
        shown = 0;
    } else if (now - last_tick > largest_gap) {
        largest_gap = now - last_tick;
    }
    last_tick = now;
    if (!list_model) {
        GtkTreeModel *model = find_list_model();
        if (model)
            watch_list(model);
    }
    if (!shown && list_model && track_rows >= wanted_rows)
        shown = now;
    if (output_fd < 0)
        output_fd = open(output_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char record[160];
    const int length = snprintf(record, sizeof record, "rows %12d\nfirst %20lld\nshown %20lld\nmaxgap %20lld\ntick %20lld\n",
                                track_rows, (long long)first_tick, (long long)shown, (long long)largest_gap, (long long)now);
    if (output_fd >= 0 && pwrite(output_fd, record, length, 0) != length)
        g_warning("MainLoopProbe: can't write %s", output_path);
    return TRUE;
}

/* The main loop's first turn: the window is up, whether or not it can paint yet. */
static gboolean first_turn(gpointer unused)
{
    (void)unused;
    first_tick = last_tick = g_get_monotonic_time();
    g_timeout_add_full(GDK_PRIORITY_REDRAW, 10, tick, NULL, NULL);
    return FALSE;
}

G_MODULE_EXPORT void gtk_module_init(gint *argc, gchar ***argv)
{
    (void)argc;
    (void)argv;
    output_path = getenv("VANTOR_LOOP_PROBE");
    if (!output_path)
        return;
    reset_path = g_strconcat(output_path, ".reset", NULL);
    wanted_rows = atoi(getenv("VANTOR_LOOP_ROWS") ? getenv("VANTOR_LOOP_ROWS") : "1");
    g_idle_add_full(G_PRIORITY_DEFAULT, first_turn, NULL, NULL);
}
