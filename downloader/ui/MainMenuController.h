#ifndef DOWNLOADER_UI_MAINMENUCONTROLLER_H
#define DOWNLOADER_UI_MAINMENUCONTROLLER_H

#include "downloader/app/QueueFileWorker.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/ui/AboutDialogController.h"

#include <boost/shared_ptr.hpp>
#include <gtkmm/filefilter.h>
#include <sigc++/trackable.h>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The main window's File and Help menus: opening a queue file, the preferences, quitting, the
// help page, the store's contact and post-install pages and the About dialog. "Check for
// updates" is left to the main window's controller, which runs the check. The menu items are
// labelled once, when the controller is built. Main thread only.
class MainMenuController : public sigc::trackable {
public:
    // A queue file opened goes to `queueFiles`, which must outlive the menu.
    MainMenuController(boost::shared_ptr<DownloadModel> model, QueueFileWorker& queueFiles);

    MainMenuController(const MainMenuController&) = delete;
    MainMenuController& operator=(const MainMenuController&) = delete;

private:
    void Initialize();

    void OnFileOpenVLX();
    void OnFilePreferences();
    void OnFileQuit();
    void OnHelpShowHelp();
    void OnHelpAbout();
    void OnHelpContactCS();
    void OnHelpEnableDownloader();

    boost::shared_ptr<DownloadModel> model;
    QueueFileWorker& queueFiles;
    AboutDialogController aboutDialog;
};

// The queue-file chooser's filter: a name of at least five characters ending in ".vlx", in
// any mix of cases.
bool IsFileVLX(const Gtk::FileFilter::Info& info);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
