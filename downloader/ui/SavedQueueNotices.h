#ifndef DOWNLOADER_UI_SAVEDQUEUENOTICES_H
#define DOWNLOADER_UI_SAVEDQUEUENOTICES_H

#include <gtkmm/window.h>
#include <sigc++/connection.h>
#include <sigc++/trackable.h>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Tells the user, over the main window, what became of the saved queue when it went wrong: that
// the one found at start could not be read and where it was kept, and, once per run, that the
// queue can't be saved (the settings folder not writable, the disk full), which would otherwise
// leave the next start with an old queue without a word. What comes up before the window is
// shown waits for it. Main thread only.
class SavedQueueNotices : public sigc::trackable {
public:
    // The window must outlive the notices.
    explicit SavedQueueNotices(Gtk::Window& window);

    // `keptAt`: where the unreadable queue is now.
    void SavedQueueUnreadable(const std::string& keptAt);
    // Only the first of a run is told; the log records each.
    void SaveFailed();

private:
    void Tell(const std::string& markup);
    void OnWindowMapped();
    bool TellWaiting();

    Gtk::Window& window;
    sigc::connection mapping;
    bool saveFailureTold = false;
    // Texts to tell once the window is shown, oldest first.
    std::vector<std::string> waiting;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
