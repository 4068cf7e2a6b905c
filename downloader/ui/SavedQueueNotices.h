#ifndef DOWNLOADER_UI_SAVEDQUEUENOTICES_H
#define DOWNLOADER_UI_SAVEDQUEUENOTICES_H

#include <gtkmm/window.h>
#include <sigc++/connection.h>
#include <sigc++/trackable.h>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Tells the user, over the main window, what became of the saved queue when it went wrong: that
// the one found at start could not be read and where it was kept. What comes up before the
// window is shown waits for it. Main thread only.
class SavedQueueNotices : public sigc::trackable {
public:
    // The window must outlive the notices.
    explicit SavedQueueNotices(Gtk::Window& window);

    // `keptAt`: where the unreadable queue is now.
    void SavedQueueUnreadable(const std::string& keptAt);

private:
    void Tell(const std::string& markup);
    void OnWindowMapped();
    bool TellWaiting();

    Gtk::Window& window;
    sigc::connection mapping;
    // Texts to tell once the window is shown, oldest first.
    std::vector<std::string> waiting;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
