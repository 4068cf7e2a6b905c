#ifndef TESTS_SUPPORT_GUI_MESSAGEDIALOGANSWERER_H
#define TESTS_SUPPORT_GUI_MESSAGEDIALOGANSWERER_H

#include <glibmm/main.h>
#include <gtkmm/messagedialog.h>

#include <string>
#include <vector>

namespace VantorTest {

// Answers the message boxes that the code under test runs modally: a timeout, dispatched by
// the dialog's own main loop, notes each visible message box and responds to it.
class MessageDialogAnswerer {
public:
    struct Seen {
        std::string title;
        std::string text;
        bool markup;
        Gtk::Window* parent;
    };

    explicit MessageDialogAnswerer(int response)
    {
        timer = Glib::signal_timeout().connect([this, response] {
            for (Gtk::Window* window : Gtk::Window::list_toplevels()) {
                Gtk::MessageDialog* dialog = dynamic_cast<Gtk::MessageDialog*>(window);
                if (!dialog || !dialog->is_visible())
                    continue;
                gchar* text = nullptr;
                gboolean markup = FALSE;
                g_object_get(dialog->gobj(), "text", &text, "use-markup", &markup, nullptr);
                seen.push_back({dialog->get_title(), text ? text : "", markup != FALSE, dialog->get_transient_for()});
                g_free(text);
                dialog->response(response);
            }
            return true;
        }, 10);
    }
    ~MessageDialogAnswerer() { timer.disconnect(); }

    std::vector<Seen> seen;

private:
    sigc::connection timer;
};

} // namespace VantorTest

#endif
