#ifndef TESTS_SUPPORT_GUI_MESSAGEDIALOGANSWERER_H
#define TESTS_SUPPORT_GUI_MESSAGEDIALOGANSWERER_H

// Answers the message boxes that the code under test runs modally: a timeout, dispatched by
// the dialog's own main loop, notes each visible message box and responds to it.

#include <glibmm/main.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include <string>
#include <vector>

namespace VantorTest {

class MessageDialogAnswerer {
public:
    struct Seen {
        std::string title;
        std::string text;
        bool markup;
        Gtk::Window* parent;
    };

    explicit MessageDialogAnswerer(int response)
        : response(response)
    {
        timer = Glib::signal_timeout().connect(sigc::mem_fun(*this, &MessageDialogAnswerer::AnswerVisible), 10);
    }
    ~MessageDialogAnswerer() { timer.disconnect(); }
    MessageDialogAnswerer(const MessageDialogAnswerer&) = delete;
    MessageDialogAnswerer& operator=(const MessageDialogAnswerer&) = delete;

    std::vector<Seen> seen;

private:
    bool AnswerVisible()
    {
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
    }

    int response;
    sigc::connection timer;
};

} // namespace VantorTest

#endif
