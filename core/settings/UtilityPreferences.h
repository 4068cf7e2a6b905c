#ifndef CORE_SETTINGS_UTILITYPREFERENCES_H
#define CORE_SETTINGS_UTILITYPREFERENCES_H

#include "core/settings/Preferences.h"

#include <boost/shared_ptr.hpp>
#include <sigc++/signal.h>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// The settings directory under HOME, made when missing; ends in "/".
std::string GetSettingsDirectory();

// "Settings.xml" in the settings directory.
std::string PreferencesFilename();

// The one preferences object of the process, loaded from "Settings.xml" by the first call
// from any thread. A file that is missing or not writable leaves every default in place; so
// does one that can't be read, or a link in its place, which is kept aside
// (Filesystem::UnreadableFile, logged).
boost::shared_ptr<Settings::Preferences> Preferences();

// Where the "Settings.xml" that the preferences could not be read from is: the name it was
// kept aside under, or its own when it could not be moved. Empty when there was none. Loads
// the preferences first when they are not yet.
std::string UnreadablePreferencesFile();

// Replaces "Settings.xml" with the current preferences as a whole: the old file stays as it
// was unless the new one has been written completely. Announces a successful save through
// PreferencesSavedSignal (after the file is written, outside the lock).
bool SavePreferences();

// Emitted on the thread that saved; the application uses it on the main thread only.
sigc::signal<void>& PreferencesSavedSignal();

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
