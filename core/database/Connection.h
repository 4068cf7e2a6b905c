#ifndef CORE_DATABASE_CONNECTION_H
#define CORE_DATABASE_CONNECTION_H

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <string>

struct sqlite3;

namespace Vantor::Database::SQLite {

class Statement;
class Transaction;

// One open SQLite database, open from construction to destruction. Held through
// boost::shared_ptr so that statements and transactions keep it open while they live.
class Connection : private boost::noncopyable {
public:
    // What a read of the whole database found (CheckReadable).
    enum Health { Readable, Unreadable, Locked, Failed };

    // Creates the folder of `path` when missing, then opens the database file, creating it
    // when needed, never through a link. A failed open (a link there included) is logged and
    // throws std::exception; a path without a folder throws
    // Vantor::Filesystem::invalid_path_exception. Until LimitWaits, a statement that finds the
    // database locked by another connection fails at once.
    explicit Connection(const std::string& path);
    ~Connection();

    static boost::shared_ptr<Connection> Open(const std::string& path);

    sqlite3* Get();
    long long GetLastInsertedRowID();

    // From now on the statements that find the database locked by another connection wait
    // for it, all of them together, at most `milliseconds`, and then fail with SQLITE_BUSY.
    // Forgets that one found it locked before.
    void LimitWaits(int milliseconds);
    // Whether a statement or transaction found the database locked since LimitWaits.
    bool FoundLocked() const { return foundLocked; }

    // Reads every page: Unreadable when the file is no database or a damaged one (garbage, cut
    // short), Locked when another connection kept it from being read, Failed for any other
    // failure (the file can't be read at all).
    Health CheckReadable();

private:
    friend class Statement;
    friend class Transaction;

    // `code` unchanged, noted when it says the database was locked.
    int Noted(int code);
    static int WaitWhileTimeLeft(void* connection, int attempts);

    sqlite3* handle;
    int waitLeftMilliseconds = 0;
    bool foundLocked = false;
};

} // namespace Vantor::Database::SQLite

#endif
