#include "core/settings/UtilityPreferences.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/AtomicFile.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/filesystem/RegularFile.h"
#include "core/filesystem/UnreadableFile.h"

#include <boost/thread/mutex.hpp>

#include <fcntl.h>

#include <cerrno>
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

// Where an unreadable settings file was kept (Preferences); guarded by the preferences mutex.
std::string& UnreadableKeptAt()
{
    static std::string kept;
    return kept;
}

// A settings file cut short or garbled reads as the defaults, which the next save would
// write over it: the user's proxy and folder would be gone without a word. It is kept aside
// instead, and the log says so. Where it is, is told (UnreadablePreferencesFile).
std::string KeepUnreadable(const std::string& path)
{
    const std::string kept = Filesystem::UnreadableFile::KeepAside(path);
    if (!kept.empty())
        Diagnostic::Debug::LogString("Preferences: couldn't read " + path + "; kept it as " + kept +
                                     " and started with the defaults");
    return kept.empty() ? path : kept;
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
        // Opened for update: a settings file that may not be written back is not used (and
        // the save leaves it alone). A link in its place is not followed: it is kept aside and
        // told as a damaged file is.
        const std::string path = PreferencesFilename();
        if (FILE* file = Filesystem::RegularFile::OpenStream(path, O_RDWR | O_NOFOLLOW, "r+b")) {
            const bool loaded = preferences->Load(file);
            std::fclose(file);
            if (!loaded)
                UnreadableKeptAt() = KeepUnreadable(path);
        } else if (errno == ELOOP) {
            UnreadableKeptAt() = KeepUnreadable(path);
        }
    }
    return preferences;
}

std::string UnreadablePreferencesFile()
{
    Preferences();
    boost::mutex::scoped_lock lock(PreferencesMutex());
    return UnreadableKeptAt();
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
