// What a status cell draws: the same picture as a progress bar for a status of digits, the
// same as plain text for any other.
#include "downloader/ui/TreeController.h"

#include <gdkmm/pixbuf.h>
#include <gdkmm/pixmap.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/main.h>
#include <gtkmm/treeview.h>
#include <gtkmm/window.h>

#include <string>

using Vantor::DigitalMedia::MusicClient::Downloader::TreeController;

namespace {

const int kWidth = 160;
const int kHeight = 24;

// The pixels `renderer` draws for one cell of `widget`, on a white background.
std::string Drawn(Gtk::CellRenderer& renderer, Gtk::Widget& widget)
{
    Glib::RefPtr<Gdk::Pixmap> pixmap = Gdk::Pixmap::create(widget.get_window(), kWidth, kHeight);
    pixmap->draw_rectangle(widget.get_style()->get_white_gc(), true, 0, 0, kWidth, kHeight);
    GdkRectangle area = {0, 0, kWidth, kHeight};
    gtk_cell_renderer_render(renderer.gobj(), pixmap->gobj(), widget.gobj(), &area, &area, &area,
                             GtkCellRendererState(0));
    const Glib::RefPtr<Gdk::Pixbuf> pixels = Gdk::Pixbuf::create(Glib::RefPtr<Gdk::Drawable>(pixmap), 0, 0, kWidth, kHeight);
    return std::string(reinterpret_cast<const char*>(pixels->get_pixels()), pixels->get_rowstride() * kHeight);
}

} // namespace

TEST(StatusCellTest, DrawsDigitsAsAProgressBarAndAnythingElseAsText)
{
    Gtk::Window window;
    Gtk::TreeView widget;
    window.add(widget);
    window.show_all();
    while (Gtk::Main::events_pending())
        Gtk::Main::iteration();

    TreeController::StatusCellRenderer status;
    Gtk::CellRendererProgress bar;
    Gtk::CellRendererText text;
    const struct {
        const char* status;
        int percent; // -1: drawn as text
    } cases[] = {{"40", 40}, {"0", 0}, {"100", 100}, {"007", 7}, {"Waiting", -1}, {"4O", -1}, {"-5", -1}, {"", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        status.property_text() = c.status;
        text.property_text() = c.status;
        if (c.percent >= 0)
            bar.property_value() = c.percent;
        // Pictures are compared whole; printing them would tell nothing.
        const std::string expected = Drawn(c.percent < 0 ? static_cast<Gtk::CellRenderer&>(text) : bar, widget);
        const std::string actual = Drawn(status, widget);
        EXPECT_TRUE(expected == actual);
        // The two kinds of picture can be told apart.
        EXPECT_TRUE(Drawn(text, widget) != Drawn(bar, widget));
    }
}
