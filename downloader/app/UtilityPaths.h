#ifndef DOWNLOADER_APP_UTILITYPATHS_H
#define DOWNLOADER_APP_UTILITYPATHS_H

#include <gdkmm/pixbuf.h>
#include <glibmm/refptr.h>
#include <libglademm/xml.h>
#include <sigc++/signal.h>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// The current directory; empty when it can't be read.
std::string GetCwd();

// `path` made absolute against the current directory; as it is when it already is absolute,
// or when the current directory can't be read.
std::string AbsolutePath(const std::string& path);

// Appends the folders that may hold the installed data (glade file, images, translations),
// in the order they are searched; each ends in "/". Running from the checkout's share folder
// or from a build next to it finds the data before any installed copy.
void PopulateSharePathList(std::vector<std::string>& list);

// "DownloadQueue.vlx" in the settings directory: the queue kept between runs.
std::string DownloadQueueFilename();
// "AnsweredReports" in the settings directory: the reports the store answered that the saved
// queue may still hold.
std::string AnsweredReportsFilename();

// Emitted after a queue file has been imported successfully. Main thread only.
sigc::signal<void>& VLXEnqueuedSignal();

// The widget tree of "glade/main.glade" whose top-level widget is `root`, from the first share
// folder whose file has that root. Built once per root and kept for the life of the process,
// so every caller sees the same widgets. Empty when no share folder has it. Main thread only.
Glib::RefPtr<Gnome::Glade::Xml> GetGlade(const std::string& root);

// The image `name` from the first share folder that has a "pixmaps/" folder, loaded once and
// kept. An image that can't be loaded is reported on standard error and stands in as a blank
// 1 x 1 picture, which is not kept, so the file is tried again next time. Main thread only.
Glib::RefPtr<Gdk::Pixbuf> GetPixbuf(const std::string& name);

// Starts the translation service on the "translations/" folder of the first share folder that
// has one, with the program's one locale "de_DE".
void InitializeTranslationService();

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
