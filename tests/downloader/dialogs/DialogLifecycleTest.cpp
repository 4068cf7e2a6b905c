#include "downloader/ui/AboutDialogController.h"
#include "downloader/ui/DiskFullDialogController.h"
#include "tests/downloader/dialogs/DialogFixture.h"

#include <gtk/gtk.h>
#include <gtkmm/button.h>

#include <functional>

using Vantor::DigitalMedia::MusicClient::Downloader::AboutDialogController;
using Vantor::DigitalMedia::MusicClient::Downloader::DiskFullDialogController;

namespace {

using ShowFunction = std::function<void(Gtk::Window& parent)>;

// Builds a controller, kept alive by the function that shows its dialog.
template <class Controller>
ShowFunction Build()
{
    const std::shared_ptr<Controller> controller = std::make_shared<Controller>();
    return [controller](Gtk::Window& parent) { controller->Show(parent); };
}

struct DialogKind {
    const char* root;
    const char* titleKey;
    ShowFunction (*build)();
};

// Names the case in test lists.
void PrintTo(const DialogKind& kind, std::ostream* out)
{
    *out << kind.root;
}

const DialogKind kDialogs[] = {
    {"AboutDialog", "sonvel_about_title", &Build<AboutDialogController>},
    {"DiskFullDialog", "sonvel_diskfull_title", &Build<DiskFullDialogController>},
};

// What the window manager's close button sends.
void SendDelete(Gtk::Window& window)
{
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(window.get_window()->gobj()));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
}

void MarkDestroyed(GtkObject*, gpointer destroyed)
{
    *static_cast<bool*>(destroyed) = true;
}

// Visible top-level windows with this title.
int ShownWithTitle(const Glib::ustring& title)
{
    int count = 0;
    for (Gtk::Window* window : Gtk::Window::list_toplevels())
        count += window->get_visible() && window->get_title() == title;
    return count;
}

class DialogLifecycle : public testing::TestWithParam<DialogKind>, protected DialogFixture {};

} // namespace

TEST_P(DialogLifecycle, ShownBesideTheMainWindowHiddenByCloseAndByTheWindowManagerAndReused)
{
    // A title of its own, so the other dialog's window never counts.
    const std::string title = std::string(GetParam().root) + " eins";
    Translate("de_DE", {{GetParam().titleKey, title}, {"sonvel_button_close", "Zu"}});
    const ShowFunction show = GetParam().build();
    Gtk::Window* dialog = Get<Gtk::Window>(GetParam().root, GetParam().root);
    Gtk::Button* close = Get<Gtk::Button>(GetParam().root, "CloseButton");
    ASSERT_TRUE(dialog && close);
    bool destroyed = false;
    const gulong destroyHandler = g_signal_connect(dialog->gobj(), "destroy", G_CALLBACK(MarkDestroyed), &destroyed);
    EXPECT_FALSE(dialog->get_visible());

    show(mainWindow);
    Pump();
    EXPECT_TRUE(dialog->get_visible());
    EXPECT_FALSE(dialog->get_modal());
    EXPECT_EQ(&mainWindow, dialog->get_transient_for());

    // The texts were taken once: another language later changes nothing.
    Translate("de_DE", {{GetParam().titleKey, "zwei"}, {"sonvel_button_close", "Weg"}});

    close->clicked();
    Pump();
    EXPECT_FALSE(dialog->get_visible());
    EXPECT_TRUE(mainWindow.get_visible());

    show(mainWindow);
    show(mainWindow);
    Pump();
    EXPECT_EQ(dialog, Get<Gtk::Window>(GetParam().root, GetParam().root));
    EXPECT_EQ(1, ShownWithTitle(title));
    EXPECT_EQ("Zu", close->get_label());

    SendDelete(*dialog);
    Pump();
    ASSERT_FALSE(destroyed);
    g_signal_handler_disconnect(dialog->gobj(), destroyHandler);
    EXPECT_FALSE(dialog->get_visible());

    show(mainWindow);
    Pump();
    EXPECT_TRUE(dialog->get_visible());
    EXPECT_EQ(title, dialog->get_title());
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogLifecycle, testing::ValuesIn(kDialogs),
                         [](const testing::TestParamInfo<DialogKind>& info) { return info.param.root; });
