/* Loaded into the program by ProgramBench through GTK_MODULES; the program itself is not
 * changed. A 10 ms timer at the priority of GTK's repaint notes the largest gap between its
 * ticks: it runs only when the main loop gets as far as painting, so a loop kept busy by
 * higher-priority work counts as stalled even though it turns. The track rows (rows under an
 * album row) of the download list are counted as they are inserted and deleted, and counted
 * again after an album row has gone with its tracks (once no action is under way). Each tick
 * writes, over the start of the file named by VANTOR_LOOP_PROBE and always at the same length
 * (cutting the file short each time had the file system wait for the disk on the main thread):
 *   rows <track rows>  first <monotonic us of the main loop's first turn>
 *   exposed <monotonic us when a window was first painted>
 *   shown <monotonic us when the track rows first reached VANTOR_LOOP_ROWS, or 0>
 *   maxgap <largest gap in us since the first turn or the last reset>
 *   acted <monotonic us of the last action asked for: its click, or its question's answer>
 *   done <monotonic us when the list first showed the action done, or 0>
 *   actiongap <largest gap in us from the action until then>  tick <monotonic us of this tick>
 * A file named like it with ".reset" appended resets the largest gap and "shown", and is removed.
 * One with ".click" appended names a widget (its name in the window's definition, such as
 * "PauseButton"), optionally followed by statuses, all separated by tabs: it is removed and the
 * widget's "clicked" signal emitted, as a click would, and a question box that comes up
 * meanwhile is answered Yes. The action is done once no track row shows any of the statuses
 * ("%" stands for a percentage), or, without statuses, once no row is left. */
#include <gtk/gtk.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char *output_path;
static gchar *reset_path, *click_path;
static int output_fd = -1;
static int wanted_rows;
static GtkTreeModel *list_model;
static int track_rows;
/* An album row went with its tracks: the track rows are to be counted again. */
static gboolean recount;
static gint64 first_tick, last_tick, largest_gap, shown, exposed;
static gint64 acted, done, action_gap;
static gboolean answering;
/* What the action waits for: these statuses gone from the track rows, or with none, the rows. */
static gchar **gone_statuses;
/* The track rows that show one of them, by the rows' own iterators (which persist). */
static GHashTable *showing;

static void on_row_inserted(GtkTreeModel *model, GtkTreePath *path, GtkTreeIter *iter, gpointer unused)
{
    (void)model;
    (void)iter;
    (void)unused;
    if (gtk_tree_path_get_depth(path) == 2)
        ++track_rows;
}

static int count_track_rows(GtkTreeModel *model)
{
    GtkTreeIter album;
    int count = 0;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &album); more; more = gtk_tree_model_iter_next(model, &album))
        count += gtk_tree_model_iter_n_children(model, &album);
    return count;
}

static void check_done(void)
{
    if (!acted || done ||
        !(gone_statuses ? g_hash_table_size(showing) == 0 : gtk_tree_model_iter_n_children(list_model, NULL) == 0))
        return;
    done = g_get_monotonic_time();
    if (recount)
        track_rows = count_track_rows(list_model);
    recount = FALSE;
}

static gboolean is_gone_status(const gchar *status)
{
    for (gchar **gone = gone_statuses; gone && *gone; ++gone) {
        if (strcmp(*gone, "%") == 0 ? status && *status && strspn(status, "0123456789") == strlen(status)
                                    : g_strcmp0(*gone, status) == 0)
            return TRUE;
    }
    return FALSE;
}

static void note_status(GtkTreeModel *model, GtkTreeIter *iter)
{
    gchar *status = NULL;
    gtk_tree_model_get(model, iter, 1, &status, -1);
    if (is_gone_status(status))
        g_hash_table_add(showing, iter->user_data);
    else
        g_hash_table_remove(showing, iter->user_data);
    g_free(status);
}

static gboolean note_track_status(GtkTreeModel *model, GtkTreePath *path, GtkTreeIter *iter, gpointer unused)
{
    (void)unused;
    if (gtk_tree_path_get_depth(path) == 2)
        note_status(model, iter);
    return FALSE;
}

static void on_row_changed(GtkTreeModel *model, GtkTreePath *path, GtkTreeIter *iter, gpointer unused)
{
    (void)unused;
    if (!gone_statuses || gtk_tree_path_get_depth(path) != 2)
        return;
    note_status(model, iter);
    check_done();
}

static void on_row_deleted(GtkTreeModel *model, GtkTreePath *path, gpointer unused)
{
    (void)model;
    (void)unused;
    if (gtk_tree_path_get_depth(path) == 2)
        --track_rows;
    else
        recount = TRUE;
    check_done();
}

/* The first widget under the top-level windows for which `match` holds. */
static GtkWidget *find_widget(gboolean (*match)(GtkWidget *, gconstpointer), gconstpointer data)
{
    GtkWidget *found = NULL;
    GList *windows = gtk_window_list_toplevels();
    for (GList *item = windows; item && !found; item = item->next) {
        GList *stack = g_list_prepend(NULL, item->data);
        while (stack) {
            GtkWidget *widget = stack->data;
            stack = g_list_delete_link(stack, stack);
            if (!found && match(widget, data))
                found = widget;
            else if (GTK_IS_CONTAINER(widget))
                stack = g_list_concat(gtk_container_get_children(GTK_CONTAINER(widget)), stack);
        }
    }
    g_list_free(windows);
    return found;
}

static gboolean is_list(GtkWidget *widget, gconstpointer unused)
{
    (void)unused;
    return GTK_IS_TREE_VIEW(widget) && gtk_tree_view_get_model(GTK_TREE_VIEW(widget));
}

static gboolean is_named(GtkWidget *widget, gconstpointer name)
{
    return strcmp(gtk_widget_get_name(widget), name) == 0;
}

static gboolean is_question(GtkWidget *widget, gconstpointer unused)
{
    (void)unused;
    return GTK_IS_MESSAGE_DIALOG(widget) && gtk_widget_get_visible(widget);
}

/* Counts the rows already there when the store is first found. */
static void watch_list(GtkTreeModel *model)
{
    list_model = model;
    g_object_ref(model);
    track_rows = count_track_rows(model);
    g_signal_connect(model, "row-inserted", G_CALLBACK(on_row_inserted), NULL);
    g_signal_connect(model, "row-changed", G_CALLBACK(on_row_changed), NULL);
    g_signal_connect(model, "row-deleted", G_CALLBACK(on_row_deleted), NULL);
}

static gboolean click(gpointer name)
{
    GtkWidget *widget = find_widget(is_named, name);
    if (!widget)
        g_warning("MainLoopProbe: no widget named %s", (const char *)name);
    answering = TRUE;
    if (widget)
        g_signal_emit_by_name(widget, "clicked");
    answering = FALSE;
    g_free(name);
    check_done();
    return FALSE;
}

/* Takes up an action asked for: the click runs from a source of its own, so that this timer
 * goes on ticking in the loop of a question box it brings up, and answers it. The rows showing
 * the statuses waited for are found first, and that time is not counted. */
static void take_action(void)
{
    gchar *command = NULL;
    if (!g_file_get_contents(click_path, &command, NULL, NULL))
        return;
    unlink(click_path);
    g_strchomp(command);
    gchar **fields = g_strsplit(command, "\t", -1);
    g_free(command);
    g_strfreev(gone_statuses);
    gone_statuses = fields[1] ? g_strdupv(fields + 1) : NULL;
    g_hash_table_remove_all(showing);
    if (gone_statuses && list_model)
        gtk_tree_model_foreach(list_model, note_track_status, NULL);
    acted = last_tick = g_get_monotonic_time();
    largest_gap = action_gap = done = 0;
    g_idle_add_full(G_PRIORITY_DEFAULT, click, g_strdup(fields[0]), NULL);
    g_strfreev(fields);
}

static void answer_question(void)
{
    GtkWidget *question = find_widget(is_question, NULL);
    if (!question)
        return;
    acted = g_get_monotonic_time();
    largest_gap = action_gap = 0;
    gtk_dialog_response(GTK_DIALOG(question), GTK_RESPONSE_YES);
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
    if (acted && !done)
        action_gap = MAX(action_gap, now - last_tick);
    last_tick = now;
    if (!list_model) {
        GtkWidget *list = find_widget(is_list, NULL);
        if (list)
            watch_list(gtk_tree_view_get_model(GTK_TREE_VIEW(list)));
    }
    if (recount && (!acted || done)) {
        track_rows = count_track_rows(list_model);
        recount = FALSE;
    }
    if (!shown && list_model && track_rows >= wanted_rows)
        shown = now;
    if (answering)
        answer_question();
    else if (access(click_path, F_OK) == 0)
        take_action();
    if (output_fd < 0)
        output_fd = open(output_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char record[400];
    const int length = snprintf(record, sizeof record,
                                "rows %12d\nfirst %20lld\nexposed %20lld\nshown %20lld\nmaxgap %20lld\nacted %20lld\n"
                                "done %20lld\nactiongap %20lld\ntick %20lld\n",
                                track_rows, (long long)first_tick, (long long)exposed, (long long)shown,
                                (long long)largest_gap, (long long)acted, (long long)done, (long long)action_gap,
                                (long long)now);
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

/* The first window painted, whenever that is: before the main loop's first turn, or long after. */
static gboolean on_expose(GSignalInvocationHint *hint, guint count, const GValue *values, gpointer unused)
{
    (void)hint;
    (void)count;
    (void)unused;
    if (!GTK_IS_WINDOW(g_value_get_object(&values[0])))
        return TRUE;
    exposed = g_get_monotonic_time();
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
    click_path = g_strconcat(output_path, ".click", NULL);
    showing = g_hash_table_new(NULL, NULL);
    wanted_rows = atoi(getenv("VANTOR_LOOP_ROWS") ? getenv("VANTOR_LOOP_ROWS") : "1");
    g_type_class_unref(g_type_class_ref(GTK_TYPE_WIDGET));
    g_signal_add_emission_hook(g_signal_lookup("expose-event", GTK_TYPE_WIDGET), 0, on_expose, NULL, NULL);
    g_idle_add_full(G_PRIORITY_DEFAULT, first_turn, NULL, NULL);
}
