#ifndef CORE_DATABASE_CONNECTION_H
#define CORE_DATABASE_CONNECTION_H

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <string>

struct sqlite3;

namespace Vantor::Database::SQLite {

// One open SQLite database, open from construction to destruction. Held through
// boost::shared_ptr so that statements and transactions keep it open while they live.
class Connection : private boost::noncopyable {
public:
    // Creates the folder of `path` when missing, then opens the database file, creating it
    // when needed. A failed open is logged and throws std::exception; a path without a
    // folder throws Vantor::Filesystem::invalid_path_exception. A statement that finds the
    // database locked by another connection waits a few seconds for it before it fails with
    // SQLITE_BUSY.
    explicit Connection(const std::string& path);
    ~Connection();

    static boost::shared_ptr<Connection> Open(const std::string& path);

    sqlite3* Get();
    long long GetLastInsertedRowID();

private:
    sqlite3* handle;
};

} // namespace Vantor::Database::SQLite

#endif
