#ifndef DOWNLOADER_UI_DISKFULLDIALOGCONTROLLER_H
#define DOWNLOADER_UI_DISKFULLDIALOGCONTROLLER_H

#include "downloader/ui/DialogController.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The dialog telling the user that the disk of the download folder is full and the remaining
// downloads were paused. The main window decides when to show it; its texts are set once, when
// it is built, and Close only hides it (the downloads stay paused). Main thread only.
class DiskFullDialogController : public DialogController {
public:
    DiskFullDialogController();

    // Sets every text.
    void Initialize();
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
