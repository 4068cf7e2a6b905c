#ifndef DOWNLOADER_UI_SETTINGSFOLDERNOTICES_H
#define DOWNLOADER_UI_SETTINGSFOLDERNOTICES_H

#include "core/sigslot/sigslot.h"
#include "downloader/model/PlaylistLibrary.h"

#include <boost/shared_ptr.hpp>
#include <gtkmm/window.h>
#include <sigc++/connection.h>
#include <sigc++/signal.h>
#include <sigc++/trackable.h>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Tells the user, over the main window, what went wrong with the files of the settings folder:
// that the settings or the saved queue found at start could not be read and where they were
// kept; once per run, that the queue can't be saved (the settings folder not writable, the disk
// full), which would otherwise leave the next start with an old queue without a word; and what
// the playlist library finds of its database. What comes up before the window is shown waits
// for it. Main thread only.
class SettingsFolderNotices : public sigslot::has_slots<sigslot::multi_threaded_local>, public sigc::trackable {
public:
    // The window must outlive the notices.
    explicit SettingsFolderNotices(Gtk::Window& window);
    ~SettingsFolderNotices() override;

    // Tells where "Settings.xml" was kept when the preferences could not be read from it.
    void TellUnreadableSettings();
    // `keptAt`: where the unreadable queue is now.
    void SavedQueueUnreadable(const std::string& keptAt);
    // Only the first of a run is told; the log records each.
    void SaveFailed();
    // Tells what `library`, which must outlive the notices, has found of its database since
    // it was made, and from then on what it finds.
    void Follow(PlaylistLibrary& library);

private:
    // The library's thread, with the library locked.
    void OnTrouble();
    void TellTroubles();
    void Tell(const std::string& markup);
    void OnWindowMapped();
    bool TellWaiting();

    Gtk::Window& window;
    PlaylistLibrary* library = nullptr;
    sigc::connection mapping;
    bool saveFailureTold = false;
    // Texts to tell once the window is shown, oldest first.
    std::vector<std::string> waiting;
    // Carries the library's troubles to the main thread; items still queued when the notices
    // go find the life token gone and do nothing.
    sigc::signal<void> troubled;
    boost::shared_ptr<void> alive;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
