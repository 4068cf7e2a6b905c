#include "core/settings/UtilityPreferences.h"

#include "core/filesystem/AtomicFile.h"
#include "core/filesystem/LinuxFilesystemUtility.h"

#include <boost/thread/mutex.hpp>

#include <cstdio>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

namespace {

const char kPreferencesFilename[] = "Settings.xml";

// Made on first use rather than at namespace scope so that callers from other static
// constructors never find it unbuilt.
boost::mutex& PreferencesMutex()
{
    static boost::mutex mutex;
    return mutex;
}

} // namespace

std::string GetSettingsDirectory()
{
    static LinuxFilesystemUtility filesystem;
    const std::string directory = filesystem.GetSpecialDirectory(Filesystem::FilesystemUtility::SettingsDirectory);
    if (!filesystem.DirectoryExists(directory.c_str()))
        filesystem.CreateDirectory(directory.c_str());
    return directory;
}

std::string PreferencesFilename()
{
    return GetSettingsDirectory() + kPreferencesFilename;
}

boost::shared_ptr<Settings::Preferences> Preferences()
{
    static boost::shared_ptr<Settings::Preferences> preferences;
    boost::mutex::scoped_lock lock(PreferencesMutex());
    if (!preferences) {
        preferences.reset(new Settings::Preferences());
        // Opened for update: a settings file that may not be written back is not used.
        if (FILE* file = std::fopen(PreferencesFilename().c_str(), "r+b")) {
            preferences->Load(file);
            std::fclose(file);
        }
    }
    return preferences;
}

bool SavePreferences()
{
    const boost::shared_ptr<Settings::Preferences> preferences = Preferences();
    bool saved;
    {
        boost::mutex::scoped_lock lock(PreferencesMutex());
        saved = Filesystem::AtomicFile::Replace(PreferencesFilename(), [&preferences](FILE* file) {
            return preferences->Save(file);
        });
    }
    if (saved)
        PreferencesSavedSignal().emit();
    return saved;
}

sigc::signal<void>& PreferencesSavedSignal()
{
    static sigc::signal<void> signal;
    return signal;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
