#ifndef DOWNLOADER_APP_UTILITYBROWSER_H
#define DOWNLOADER_APP_UTILITYBROWSER_H

#include "downloader/app/SingleInstance.h"

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Opens `url` in the desktop's browser: the program named by BROWSER when it is set, else
// the first of the usual openers and browsers that starts. Returns at once; the browser runs
// on its own and nobody hears of it when none starts. Addresses come from outside (update
// answers, translations): only web addresses, http and https, are opened; anything else (a
// local file, a script, a share, an option for the browser) is logged and not opened.
void OpenURL(const char* url);

// Opens the program's own page at `path`, a file of its installation, in the browser as a
// "file://" address of its full path. False, and nothing opened, where that path makes no
// address that passes the checks a web address does (one too long).
bool OpenLocalPage(const std::string& path);

// The store's page for a freshly installed program, with this program's version.
void OpenPostInstallURL();

// Opens the music folder (made when missing) with "xdg-open". Returns at once. When
// "xdg-open" can't be started, `runningInstance` receives "--show-downloads-failed".
void ShowDownloadDirectory(SingleInstance& runningInstance = SingleInstance::sInstance);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
