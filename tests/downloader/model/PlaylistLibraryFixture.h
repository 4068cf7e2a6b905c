#ifndef TESTS_DOWNLOADER_MODEL_PLAYLISTLIBRARYFIXTURE_H
#define TESTS_DOWNLOADER_MODEL_PLAYLISTLIBRARYFIXTURE_H

#include "core/diagnostic/Debug.h"
#include "downloader/model/IPlaylist.h"
#include "downloader/model/PlaylistLibrary.h"
#include "tests/support/DatabaseRows.h"
#include "tests/support/LogSubscriber.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace VantorTest {

typedef Vantor::DigitalMedia::MusicClient::Downloader::PlaylistLibrary PlaylistLibrary;
typedef Vantor::DigitalMedia::MusicClient::Downloader::IPlaylist IPlaylist;
typedef Vantor::DigitalMedia::MusicClient::Downloader::IPlaylistTrack IPlaylistTrack;

// Collects the playlists a library announces as finished, from whichever thread.
class FinishedPlaylists : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    explicit FinishedPlaylists(PlaylistLibrary& library)
    {
        library.PlaylistFinishedSignal.connect(this, &FinishedPlaylists::OnFinished);
    }
    ~FinishedPlaylists() { disconnect_all(); }

    std::vector<boost::shared_ptr<IPlaylist>> TakeAll()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<boost::shared_ptr<IPlaylist>> taken;
        taken.swap(playlists);
        return taken;
    }

private:
    void OnFinished(boost::shared_ptr<IPlaylist> playlist)
    {
        std::lock_guard<std::mutex> lock(mutex);
        playlists.push_back(playlist);
    }

    std::mutex mutex;
    std::vector<boost::shared_ptr<IPlaylist>> playlists;
};

// A temporary home folder for the test's lifetime, so the settings directory and the
// playlist database are fresh and real; every log line is noted in `log`.
class PlaylistLibraryTest : public ::testing::Test {
protected:
    PlaylistLibraryTest()
        : logged(log)
    {
    }

    std::string SettingsDirectory() const { return home.File(".vantormp3"); }
    std::string DatabasePath() const { return home.File(".vantormp3/vantormp3.db"); }

    // Every row of a query on the library's file: columns joined with "|", NULL as "<null>".
    std::vector<std::string> Rows(const std::string& sql) const { return DatabaseRows(DatabasePath(), sql); }

    ScopedHome home;
    Journal log;

private:
    LogSubscriber logged;
};

} // namespace VantorTest

#endif
