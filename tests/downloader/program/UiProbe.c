/* Test instrumentation, loaded into the program under test through GTK_MODULES; the program
 * itself is not changed. Ten times a second it writes what is on the screen to the file named
 * by VANTOR_UI_PROBE, one line per mapped widget of interest, fields separated by tabs:
 *   window  title  x-window-id  width  height
 *   label   text
 *   button  label  centre-x  centre-y  sensitive   (buttons, tool buttons, check boxes, menu items)
 *   row     depth  title  status                   (rows of tree views)
 * so that a test can read the window's texts and click its buttons with xdotool, as a user would.
 * It writes once more as the main loop ends, when the windows are hidden: a screen without
 * windows tells that the program is past its main loop. With VANTOR_UI_PROBE_HOLD set the
 * program then stops itself (SIGSTOP) until the test lets it go on, as a shut-down that takes
 * long would hold it there. */
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *output_path;

/* Line breaks and tabs would break the line format. */
static void put_text(FILE *out, const char *text)
{
    for (; text && *text; ++text)
        fputc(*text == '\n' || *text == '\t' ? ' ' : *text, out);
}

static const char *first_label(GtkWidget *widget)
{
    if (GTK_IS_LABEL(widget))
        return gtk_label_get_text(GTK_LABEL(widget));
    if (!GTK_IS_CONTAINER(widget))
        return NULL;
    GList *children = gtk_container_get_children(GTK_CONTAINER(widget));
    const char *text = NULL;
    for (GList *child = children; child && !text; child = child->next)
        text = first_label(GTK_WIDGET(child->data));
    g_list_free(children);
    return text;
}

static gboolean put_row(GtkTreeModel *model, GtkTreePath *path, GtkTreeIter *iter, gpointer data)
{
    FILE *out = data;
    fprintf(out, "row\t%d", gtk_tree_path_get_depth(path));
    for (int column = 0; column < gtk_tree_model_get_n_columns(model) && column < 2; ++column) {
        gchar *text = NULL;
        if (gtk_tree_model_get_column_type(model, column) == G_TYPE_STRING)
            gtk_tree_model_get(model, iter, column, &text, -1);
        fputc('\t', out);
        put_text(out, text);
        g_free(text);
    }
    fputc('\n', out);
    return FALSE;
}

static void put_widget(GtkWidget *widget, gpointer data)
{
    FILE *out = data;
    if (!gtk_widget_get_mapped(widget))
        return;
    if (GTK_IS_BUTTON(widget) || GTK_IS_MENU_ITEM(widget)) {
        GtkWidget *top = gtk_widget_get_toplevel(widget);
        int x = 0, y = 0, origin_x = 0, origin_y = 0;
        gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y);
        gdk_window_get_origin(gtk_widget_get_window(top), &origin_x, &origin_y);
        fputs("button\t", out);
        put_text(out, first_label(widget));
        fprintf(out, "\t%d\t%d\t%d\n", origin_x + x + widget->allocation.width / 2,
                origin_y + y + widget->allocation.height / 2, gtk_widget_is_sensitive(widget));
        return; /* its own label is part of the line */
    }
    if (GTK_IS_LABEL(widget)) {
        fputs("label\t", out);
        put_text(out, gtk_label_get_text(GTK_LABEL(widget)));
        fputc('\n', out);
    } else if (GTK_IS_TREE_VIEW(widget) && gtk_tree_view_get_model(GTK_TREE_VIEW(widget))) {
        gtk_tree_model_foreach(gtk_tree_view_get_model(GTK_TREE_VIEW(widget)), put_row, out);
    }
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), put_widget, out);
}

static gboolean write_screen(gpointer unused)
{
    (void)unused;
    gchar *temporary = g_strconcat(output_path, ".new", NULL);
    FILE *out = fopen(temporary, "w");
    if (out) {
        GList *windows = gtk_window_list_toplevels();
        for (GList *item = windows; item; item = item->next) {
            GtkWidget *window = GTK_WIDGET(item->data);
            if (!gtk_widget_get_mapped(window))
                continue;
            fputs("window\t", out);
            put_text(out, gtk_window_get_title(GTK_WINDOW(window)));
            fprintf(out, "\t%lu\t%d\t%d\n", (unsigned long)GDK_WINDOW_XID(gtk_widget_get_window(window)),
                    window->allocation.width, window->allocation.height);
            gtk_container_forall(GTK_CONTAINER(window), put_widget, out);
        }
        g_list_free(windows);
        fclose(out);
        rename(temporary, output_path);
    }
    g_free(temporary);
    return TRUE;
}

static gint write_screen_at_end(gpointer unused)
{
    write_screen(unused);
    if (getenv("VANTOR_UI_PROBE_HOLD"))
        raise(SIGSTOP);
    return FALSE; /* once */
}

G_MODULE_EXPORT void gtk_module_init(gint *argc, gchar ***argv)
{
    (void)argc;
    (void)argv;
    output_path = getenv("VANTOR_UI_PROBE");
    if (output_path) {
        g_timeout_add(100, write_screen, NULL);
        gtk_quit_add(1, write_screen_at_end, NULL);
    }
}
