#ifndef DOWNLOADER_UI_SETTINGSFOLDERNOTICES_H
#define DOWNLOADER_UI_SETTINGSFOLDERNOTICES_H

#include <gtkmm/window.h>
#include <sigc++/connection.h>
#include <sigc++/trackable.h>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Tells the user, over the main window, what went wrong with the files of the settings folder:
// that the settings or the saved queue found at start could not be read and where they were
// kept; once per run,
// that the queue can't be saved (the settings folder not writable, the disk full), which would
// otherwise leave the next start with an old queue without a word; and that the playlist
// database can't be opened. What comes up before the window is shown waits for it. Main thread
// only.
class SettingsFolderNotices : public sigc::trackable {
public:
    // The window must outlive the notices.
    explicit SettingsFolderNotices(Gtk::Window& window);

    // Tells where "Settings.xml" was kept when the preferences could not be read from it.
    void TellUnreadableSettings();
    // `keptAt`: where the unreadable queue is now.
    void SavedQueueUnreadable(const std::string& keptAt);
    // Only the first of a run is told; the log records each.
    void SaveFailed();
    // Downloads go on, but a purchase that comes with playlists waits for the database.
    void PlaylistsUnavailable();

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
