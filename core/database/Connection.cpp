#include "core/database/Connection.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/FilesystemUtility.h"

#include <sqlite3.h>

#include <exception>

namespace Vantor::Database::SQLite {

namespace {

// Another program may read the database at any time (a music player indexing it, a look with
// the sqlite3 shell); SQLite then refuses a change at once unless told to wait. A few seconds
// outlast any such read without leaving the caller hanging.
const int kBusyTimeoutMilliseconds = 5000;

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
    if (sqlite3_open(path.c_str(), &handle) != SQLITE_OK) {
        Vantor::Diagnostic::Debug::LogString("Connection: couldn't open: " + path);
        // SQLite hands out a handle even when opening fails; it still has to be closed.
        sqlite3_close(handle);
        handle = nullptr;
        throw std::exception();
    }
    sqlite3_busy_timeout(handle, kBusyTimeoutMilliseconds);
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

} // namespace Vantor::Database::SQLite
