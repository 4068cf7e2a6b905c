#include "core/database/Connection.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/FilesystemUtility.h"

#include <sqlite3.h>

#include <algorithm>
#include <exception>

namespace Vantor::Database::SQLite {

namespace {

// How long a statement that finds the database locked sleeps before it tries again.
const int kPauseMilliseconds = 10;

// Whether it worked shows when the database is opened.
void CreateDirectoryOf(const std::string& path)
{
    boost::shared_ptr<Vantor::Filesystem::FilesystemUtility> fs = Vantor::Filesystem::FilesystemUtility::NewInstance();
    fs->CreateDirectory(fs->GetDirectory(path).c_str());
}

} // namespace

Connection::Connection(const std::string& path)
    : handle(nullptr)
{
    CreateDirectoryOf(path);
    // Never through a link in its place, which would have the database read and written
    // wherever it leads. (SQLite opens its journal without following links of its own accord.)
    if (sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        Vantor::Diagnostic::Debug::LogString("Connection: couldn't open: " + path);
        // SQLite hands out a handle even when opening fails; it still has to be closed.
        sqlite3_close(handle);
        handle = nullptr;
        throw std::exception();
    }
    // SQLite's own busy timeout waits that long in each statement: an operation of many
    // statements would wait many times over. The wait is counted across them instead.
    sqlite3_busy_handler(handle, &Connection::WaitWhileTimeLeft, this);
}

Connection::~Connection()
{
    sqlite3_close(handle);
    handle = nullptr;
}

boost::shared_ptr<Connection> Connection::Open(const std::string& path)
{
    return boost::shared_ptr<Connection>(new Connection(path));
}

sqlite3* Connection::Get()
{
    return handle;
}

long long Connection::GetLastInsertedRowID()
{
    return sqlite3_last_insert_rowid(handle);
}

void Connection::LimitWaits(int milliseconds)
{
    waitLeftMilliseconds = milliseconds;
    foundLocked = false;
}

Connection::Health Connection::CheckReadable()
{
    sqlite3_stmt* check = nullptr;
    int code = Noted(sqlite3_prepare_v2(handle, "PRAGMA quick_check;", -1, &check, nullptr));
    bool ok = false;
    if (code == SQLITE_OK && (code = Noted(sqlite3_step(check))) == SQLITE_ROW) {
        // One row "ok", or a row for each fault found.
        const unsigned char* text = sqlite3_column_text(check, 0);
        ok = text && std::string(reinterpret_cast<const char*>(text)) == "ok";
    }
    sqlite3_finalize(check);
    switch (code & 0xff) {
    case SQLITE_ROW:
        return ok ? Readable : Unreadable;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return Unreadable;
    case SQLITE_BUSY:
        return Locked;
    default:
        return Failed;
    }
}

int Connection::Noted(int code)
{
    if ((code & 0xff) == SQLITE_BUSY)
        foundLocked = true;
    return code;
}

int Connection::WaitWhileTimeLeft(void* connection, int)
{
    Connection& self = *static_cast<Connection*>(connection);
    if (self.waitLeftMilliseconds <= 0)
        return 0;
    // The pauses asked for are counted, not the clock: a thread that is not scheduled for a
    // while does not lose its turn.
    const int pause = std::min(kPauseMilliseconds, self.waitLeftMilliseconds);
    sqlite3_sleep(pause);
    self.waitLeftMilliseconds -= pause;
    return 1;
}

} // namespace Vantor::Database::SQLite
