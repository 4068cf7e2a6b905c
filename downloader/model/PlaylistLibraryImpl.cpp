#include "downloader/model/PlaylistLibraryImpl.h"

#include "core/data/StringUtility.h"
#include "core/database/Connection.h"
#include "core/database/Statement.h"
#include "core/database/Transaction.h"
#include "core/diagnostic/Debug.h"
#include "core/filesystem/FilesystemUtility.h"
#include "core/filesystem/UnreadableFile.h"
#include "downloader/model/PlaylistImpl.h"
#include "downloader/model/PlaylistTrackImpl.h"

#include <boost/format.hpp>
#include <sqlite3.h>

#include <exception>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Database::SQLite::Connection;
using Vantor::Database::SQLite::Statement;
using Vantor::Database::SQLite::Transaction;

namespace {

const char kDatabaseName[] = "vantormp3.db";

const char kVersionTable[] = "playlist_version";
const char kPlaylistTable[] = "playlist";
const char kTrackTable[] = "playlist_track";
const char kId[] = "id";
const char kVersion[] = "version";
const char kName[] = "name";
const char kPlaylistId[] = "playlist_id";
const char kPcid[] = "pcid";
const char kFilename[] = "filename";
const char kStatus[] = "status";
const char kPosition[] = "udo";

const char kInsertFailed[] = "PlaylistLibrary: Failed to insert Playlist row!";

// A statement text with its %N% filled with table and column names, never with data.
template <class... Names>
std::string Sql(const char* text, const Names&... names)
{
    boost::format format(text);
    return (format % ... % names).str();
}

using Vantor::Filesystem::FilesystemUtility;

// Only used to find the settings directory.
const boost::shared_ptr<FilesystemUtility> sFilesystem = FilesystemUtility::NewInstance();

} // namespace

PlaylistLibraryImpl::PlaylistLibraryImpl() = default;

PlaylistLibraryImpl::~PlaylistLibraryImpl() = default;

Connection::Health PlaylistLibraryImpl::Open(int waitMilliseconds, std::string& keptAt)
{
    const std::string path = sFilesystem->GetSpecialDirectory(FilesystemUtility::SettingsDirectory) +
                             Vantor::Data::StringUtility::MakeUTF8(kDatabaseName);
    Connection::Health health = Connect(path, waitMilliseconds);
    if (health == Connection::Unreadable) {
        // Left in place it would refuse every purchase with playlists for good. Aside, the
        // user or support can still get at what it holds.
        connection.reset();
        keptAt = Vantor::Filesystem::UnreadableFile::KeepAside(path);
        if (!keptAt.empty()) {
            Vantor::Diagnostic::Debug::LogString("PlaylistLibrary: couldn't read " + path + "; kept it as " + keptAt +
                                                 " and started a new one");
            health = Connect(path, waitMilliseconds);
        }
    }
    if (health != Connection::Readable)
        connection.reset();
    return health;
}

Connection::Health PlaylistLibraryImpl::Connect(const std::string& path, int waitMilliseconds)
{
    try {
        connection = Connection::Open(path);
    } catch (const std::exception&) {
        // Connection has logged which file.
        return Connection::Failed;
    }
    connection->LimitWaits(waitMilliseconds);
    const Connection::Health health = connection->CheckReadable();
    if (health == Connection::Locked || health == Connection::Failed)
        Vantor::Diagnostic::Debug::LogString("PlaylistLibrary: couldn't read " + path +
                                             (health == Connection::Locked ? ": another program holds it" : ""));
    return health;
}

void PlaylistLibraryImpl::LimitWaits(int milliseconds)
{
    connection->LimitWaits(milliseconds);
}

bool PlaylistLibraryImpl::FoundLocked() const
{
    return connection->FoundLocked();
}

bool PlaylistLibraryImpl::ExecuteStatement(const std::string& sql)
{
    Statement statement(connection);
    return statement.Prepare(sql) == SQLITE_OK && statement.Step() == SQLITE_DONE;
}

void PlaylistLibraryImpl::CreateVersionTable()
{
    ExecuteStatement(Sql("CREATE TABLE IF NOT EXISTS %1% ( %2% INTEGER PRIMARY KEY, %3% INTEGER);",
                         kVersionTable, kId, kVersion));
}

void PlaylistLibraryImpl::CreatePlaylistTables()
{
    ExecuteStatement(Sql("CREATE TABLE IF NOT EXISTS %1% (%2% INTEGER PRIMARY KEY AUTOINCREMENT,%3% STRING);",
                         kPlaylistTable, kId, kName));
    ExecuteStatement(Sql("CREATE TABLE IF NOT EXISTS %1% (%2% INTEGER PRIMARY KEY AUTOINCREMENT,%3% INTEGER,"
                         "%4% STRING,%5% STRING,%6% INTEGER,%7% INTEGER);",
                         kTrackTable, kId, kPlaylistId, kPcid, kFilename, kStatus, kPosition));
}

int PlaylistLibraryImpl::GetSchemaVersion()
{
    Statement statement(connection);
    statement.Prepare(Sql("SELECT %1% FROM %2% WHERE %3%=?;", kVersion, kVersionTable, kId));
    statement.BindInt(1, 0);
    return statement.Step() == SQLITE_ROW ? statement.GetInt(0) : -1;
}

void PlaylistLibraryImpl::SetSchemaVersion(int version)
{
    Statement statement(connection);
    statement.Prepare(Sql("INSERT OR REPLACE INTO %1% (%2%, %3%) VALUES (?, ?);", kVersionTable, kId, kVersion));
    statement.BindInt(1, 0);
    statement.BindInt(2, version);
    if (statement.Step() != SQLITE_DONE)
        Vantor::Diagnostic::Debug::LogString("PlaylistLibrary: Failed to update schema version!");
}

bool PlaylistLibraryImpl::CreatePlaylist(const std::string& title, const std::vector<std::string>& pcids)
{
    Transaction transaction(connection);
    long long id = GetPlaylistIDByName(title);
    if (id == 0) id = InsertPlaylist(title);
    if (id == 0) return false;
    // An existing playlist of that title gets the new tracks after its own, numbered from 0.
    for (std::vector<std::string>::size_type i = 0; i < pcids.size(); ++i) {
        if (InsertPlaylistTrack(id, pcids[i], static_cast<int>(i)) == 0) return false;
    }
    // The import deletes the queue file once its playlists are recorded: a commit that fails
    // (another reader held the database past the wait) must not pass for one.
    if (transaction.Commit()) return true;
    Vantor::Diagnostic::Debug::LogString("PlaylistLibrary: Failed to commit Playlist rows!");
    return false;
}

long long PlaylistLibraryImpl::GetPlaylistIDByName(const std::string& name)
{
    Statement statement(connection);
    if (statement.Prepare(Sql("SELECT %1% FROM %2% WHERE %3%=?", kId, kPlaylistTable, kName)) != SQLITE_OK) return 0;
    statement.BindText(1, name, SQLITE_STATIC);
    return statement.Step() == SQLITE_ROW ? statement.GetInt64(0) : 0;
}

long long PlaylistLibraryImpl::InsertPlaylist(const std::string& name)
{
    Statement statement(connection);
    if (statement.Prepare(Sql("INSERT INTO %1% VALUES (NULL, ?);", kPlaylistTable)) != SQLITE_OK) return 0;
    statement.BindText(1, name, SQLITE_STATIC);
    if (statement.Step() != SQLITE_DONE) {
        Vantor::Diagnostic::Debug::LogString(kInsertFailed);
        throw std::exception();
    }
    return connection->GetLastInsertedRowID();
}

long long PlaylistLibraryImpl::InsertPlaylistTrack(long long playlistId, const std::string& pcid, int position)
{
    Statement statement(connection);
    if (statement.Prepare(Sql("INSERT INTO %1% (%2%, %3%, %4%, %5%, %6%) VALUES (NULL, ?, ?, ?, ?);", kTrackTable,
                              kId, kPlaylistId, kPcid, kStatus, kPosition)) != SQLITE_OK)
        return 0;
    statement.BindInt64(1, playlistId);
    statement.BindText(2, pcid, SQLITE_STATIC);
    statement.BindInt(3, IPlaylistTrack::Pending);
    statement.BindInt(4, position);
    if (statement.Step() != SQLITE_DONE) {
        Vantor::Diagnostic::Debug::LogString(kInsertFailed);
        throw std::exception();
    }
    return connection->GetLastInsertedRowID();
}

void PlaylistLibraryImpl::UpdatePlaylistTrack(const std::string& pcid, IPlaylistTrack::Status status,
                                              const std::string& filename)
{
    Statement statement(connection);
    if (statement.Prepare(Sql("UPDATE %1% SET %2%=?, %3%=? WHERE LOWER(%4%)=LOWER(?);", kTrackTable, kStatus,
                              kFilename, kPcid)) != SQLITE_OK)
        return;
    statement.BindInt(1, status);
    statement.BindText(2, filename, SQLITE_STATIC);
    statement.BindText(3, pcid, SQLITE_STATIC);
    if (statement.Step() != SQLITE_DONE)
        Vantor::Diagnostic::Debug::LogString("PlaylistLibrary: Failed to update Playlist row!");
}

void PlaylistLibraryImpl::GetFinishedPlaylistsContainingPCID(const std::string& pcid,
                                                             std::vector<boost::shared_ptr<IPlaylist>>& out)
{
    std::vector<long long> ids;
    {
        Statement statement(connection);
        statement.Prepare(Sql("SELECT DISTINCT %1% FROM %2% WHERE LOWER(%3%)=LOWER(?)", kPlaylistId, kTrackTable, kPcid));
        statement.BindText(1, pcid, SQLITE_STATIC);
        while (statement.Step() == SQLITE_ROW) ids.push_back(statement.GetInt64(0));
    }
    for (long long id : ids) {
        if (IsPlaylistFinished(id)) out.push_back(GetPlaylistByID(id));
    }
}

bool PlaylistLibraryImpl::IsPlaylistFinished(long long id)
{
    Statement total(connection);
    const bool totalPrepared =
        total.Prepare(Sql("SELECT COUNT(%1%) FROM %2% WHERE %3%=?", kId, kTrackTable, kPlaylistId)) == SQLITE_OK;
    total.BindInt64(1, id);
    Statement done(connection);
    const bool donePrepared = done.Prepare(Sql("SELECT COUNT(%1%) FROM %2% WHERE %3%=? AND %4%<>?", kId, kTrackTable,
                                               kPlaylistId, kStatus)) == SQLITE_OK;
    done.BindInt64(1, id);
    done.BindInt(2, IPlaylistTrack::Pending);

    // A count that can't be prepared counts as 0; one that gives no row decides: not finished.
    long long totalCount = 0;
    long long doneCount = 0;
    if (totalPrepared) {
        if (total.Step() != SQLITE_ROW) return false;
        totalCount = total.GetInt64(0);
    }
    if (donePrepared) {
        if (done.Step() != SQLITE_ROW) return false;
        doneCount = done.GetInt64(0);
    }
    return totalCount == doneCount;
}

boost::shared_ptr<IPlaylist> PlaylistLibraryImpl::GetPlaylistByID(long long id)
{
    long long foundId = 0;
    std::string title;
    {
        Statement statement(connection);
        statement.Prepare(Sql("SELECT %1% FROM %2% WHERE %3%=?", kName, kPlaylistTable, kId));
        statement.BindInt64(1, id);
        if (statement.Step() == SQLITE_ROW) {
            foundId = id;
            title = statement.GetText(0);
        }
    }
    PlaylistImpl::Tracks tracks;
    Statement statement(connection);
    // Tracks appended to an existing playlist restart their positions at 0: the row id
    // keeps equal positions in the order they were recorded.
    statement.Prepare(Sql("SELECT %1%, %2%, %3%, %4% FROM %5% WHERE %6%=? ORDER BY %7% ASC, %1% ASC", kId, kPcid,
                          kFilename, kStatus, kTrackTable, kPlaylistId, kPosition));
    statement.BindInt64(1, id);
    while (statement.Step() == SQLITE_ROW) {
        tracks.push_back(boost::shared_ptr<IPlaylistTrack>(
            new PlaylistTrackImpl(statement.GetInt64(0), id, statement.GetText(1), statement.GetText(2),
                                  static_cast<IPlaylistTrack::Status>(statement.GetInt(3)))));
    }
    return boost::shared_ptr<IPlaylist>(new PlaylistImpl(foundId, title, tracks));
}

bool PlaylistLibraryImpl::ClearPlaylists()
{
    {
        Transaction transaction(connection);
        const bool playlists = ExecuteStatement(Sql("DELETE FROM %1%;", kPlaylistTable));
        const bool tracks = ExecuteStatement(Sql("DELETE FROM %1%;", kTrackTable));
        if (!playlists || !tracks || !transaction.Commit()) return false;
    }
    // Outside the transaction: SQLite refuses to vacuum inside one.
    ExecuteStatement("VACUUM");
    return true;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
