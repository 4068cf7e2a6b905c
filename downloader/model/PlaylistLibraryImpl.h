#ifndef DOWNLOADER_MODEL_PLAYLISTLIBRARYIMPL_H
#define DOWNLOADER_MODEL_PLAYLISTLIBRARYIMPL_H

#include "core/database/Connection.h"
#include "downloader/model/IPlaylist.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Everything the playlist library says to its database. Every value reaches SQLite as a
// bound parameter. Nothing here locks: PlaylistLibrary holds Mutex() around each use.
class PlaylistLibraryImpl : private boost::noncopyable {
public:
    // Nothing is open yet.
    PlaylistLibraryImpl();
    ~PlaylistLibraryImpl();

    boost::mutex& Mutex() { return mutex; }

    // Opens (creating when needed) "vantormp3.db" in the settings directory and reads it
    // whole, waiting for another program that holds it at most `waitMilliseconds`. One that is
    // no database, or a damaged one, is kept aside (Filesystem::UnreadableFile), `keptAt` set
    // to where, and a new one made in its place. Readable when it is open; otherwise it stays
    // closed, and what kept it so is logged. Everything below needs it open.
    Vantor::Database::SQLite::Connection::Health Open(int waitMilliseconds, std::string& keptAt);
    bool IsOpen() const { return connection != nullptr; }
    // The statements from now on wait for another program at most `milliseconds` together.
    void LimitWaits(int milliseconds);
    // Whether a statement since then found the database held by another program.
    bool FoundLocked() const;

    // The schema: the version table always, the playlist tables when the file is new.
    void CreateVersionTable();
    void CreatePlaylistTables();
    // -1 when no version has been written yet.
    int GetSchemaVersion();
    void SetSchemaVersion(int version);

    // Appends the tracks to the playlist of that title, recording the playlist first when
    // it is new; all or nothing. Throws std::exception when a row can't be inserted.
    bool CreatePlaylist(const std::string& title, const std::vector<std::string>& pcids);
    // Every row of the product, in every playlist, whatever the case of its identifier.
    void UpdatePlaylistTrack(const std::string& pcid, IPlaylistTrack::Status status, const std::string& filename);
    // The playlists holding the product that have no pending track left.
    void GetFinishedPlaylistsContainingPCID(const std::string& pcid, std::vector<boost::shared_ptr<IPlaylist>>& out);
    // Empties both playlist tables; the schema version stays.
    bool ClearPlaylists();

private:
    Vantor::Database::SQLite::Connection::Health Connect(const std::string& path, int waitMilliseconds);
    bool ExecuteStatement(const std::string& sql);
    long long GetPlaylistIDByName(const std::string& name);
    long long InsertPlaylist(const std::string& name);
    long long InsertPlaylistTrack(long long playlistId, const std::string& pcid, int position);
    bool IsPlaylistFinished(long long id);
    boost::shared_ptr<IPlaylist> GetPlaylistByID(long long id);

    boost::mutex mutex;
    boost::shared_ptr<Vantor::Database::SQLite::Connection> connection;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
