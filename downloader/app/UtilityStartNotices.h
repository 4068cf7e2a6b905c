#ifndef DOWNLOADER_APP_UTILITYSTARTNOTICES_H
#define DOWNLOADER_APP_UTILITYSTARTNOTICES_H

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// Why a launch ends without a window: on standard error, and in a message box that it waits
// for, since a launch from a file manager has no terminal. Neither the queue nor the files
// named were touched. Each starts the translation service itself: the launch ends before the
// program would.
//
// The settings directory can't be locked, so whether the program already runs can't be told.
void TellGuardUnusable();
// The running instance does not take this launch's command line.
void TellHandOverRefused();

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
