/* Loaded into the program by ProgramBench through GTK_MODULES; the program itself is not
 * changed. A 10 ms timer notes the largest gap between its ticks (how long the main loop was
 * kept from turning) and counts the album rows of the download list. Each tick it writes, to
 * the file named by VANTOR_LOOP_PROBE:
 *   rows <album rows>  shown <monotonic us when the rows first reached VANTOR_LOOP_ROWS, or 0>
 *   maxgap <largest gap in us since the last reset>  tick <monotonic us of this tick>
 * A file named like it with ".reset" appended resets the largest gap and is removed. */
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static const char *output_path;
static gchar *reset_path;
static int wanted_rows;
static gint64 last_tick, largest_gap, shown;

static int album_rows(void)
{
    int rows = 0;
    GList *windows = gtk_window_list_toplevels();
    for (GList *item = windows; item; item = item->next) {
        GList *stack = g_list_prepend(NULL, item->data);
        while (stack) {
            GtkWidget *widget = stack->data;
            stack = g_list_delete_link(stack, stack);
            if (GTK_IS_TREE_VIEW(widget) && gtk_tree_view_get_model(GTK_TREE_VIEW(widget)))
                rows += gtk_tree_model_iter_n_children(gtk_tree_view_get_model(GTK_TREE_VIEW(widget)), NULL);
            else if (GTK_IS_CONTAINER(widget))
                stack = g_list_concat(gtk_container_get_children(GTK_CONTAINER(widget)), stack);
        }
    }
    g_list_free(windows);
    return rows;
}

static gboolean tick(gpointer unused)
{
    (void)unused;
    const gint64 now = g_get_monotonic_time();
    if (access(reset_path, F_OK) == 0) {
        unlink(reset_path);
        largest_gap = 0;
    } else if (shown && now - last_tick > largest_gap) {
        largest_gap = now - last_tick; /* the restore before the rows appear is not counted */
    }
    last_tick = now;
    const int rows = album_rows();
    if (!shown && rows >= wanted_rows)
        shown = now;
    FILE *out = fopen(output_path, "w");
    if (out) {
        fprintf(out, "rows %d\nshown %lld\nmaxgap %lld\ntick %lld\n", rows, (long long)shown, (long long)largest_gap,
                (long long)now);
        fclose(out);
    }
    return TRUE;
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
    last_tick = g_get_monotonic_time();
    g_timeout_add(10, tick, NULL);
}
