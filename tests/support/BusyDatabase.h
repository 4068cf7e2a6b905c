#ifndef TESTS_SUPPORT_BUSYDATABASE_H
#define TESTS_SUPPORT_BUSYDATABASE_H

// Another program on the playlist database, reading it as a music player indexing it would or
// writing, and the waits of the connections that find the database busy.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <string>

namespace VantorTest {

// Another program's transaction on the database, held from construction until Release.
class DatabaseHolder {
public:
    DatabaseHolder(const std::string& path, int flags, const char* begin)
    {
        if (sqlite3_open_v2(path.c_str(), &database, flags, nullptr) != SQLITE_OK
            || sqlite3_exec(database, begin, nullptr, nullptr, nullptr) != SQLITE_OK)
            ADD_FAILURE() << path << ": " << sqlite3_errmsg(database);
    }
    ~DatabaseHolder()
    {
        Release();
        sqlite3_close(database);
    }
    DatabaseHolder(const DatabaseHolder&) = delete;
    DatabaseHolder& operator=(const DatabaseHolder&) = delete;

    void Release() { sqlite3_exec(database, "COMMIT;", nullptr, nullptr, nullptr); }

private:
    sqlite3* database = nullptr;
};

// A read transaction: while it is held, no other connection can commit a change.
struct DatabaseReader : DatabaseHolder {
    explicit DatabaseReader(const std::string& path)
        : DatabaseHolder(path, SQLITE_OPEN_READONLY, "BEGIN; SELECT COUNT(*) FROM sqlite_master;") {}
};

// An exclusive transaction, as another program writing holds one: while it is held, no other
// connection can even read.
struct DatabaseWriter : DatabaseHolder {
    explicit DatabaseWriter(const std::string& path)
        : DatabaseHolder(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, "BEGIN EXCLUSIVE;") {}
};

// Every SQLite connection opened after the first call of Installed() sleeps through here when
// it finds the database busy. The pauses are counted; while `instant` is set they take no
// time, so a connection's whole wait runs out at once (it counts the time it asked to sleep,
// not the clock).
class BusyWaits {
public:
    static BusyWaits& Installed()
    {
        static BusyWaits waits;
        return waits;
    }

    std::atomic<int> count{0};
    std::atomic<bool> instant{false};

private:
    BusyWaits() : base(sqlite3_vfs_find(nullptr)), vfs(*base)
    {
        vfs.zName = "vantor-test-busy-waits";
        vfs.xSleep = [](sqlite3_vfs*, int microseconds) {
            BusyWaits& waits = Installed();
            ++waits.count;
            return waits.instant ? microseconds : waits.base->xSleep(waits.base, microseconds);
        };
        // Made the default, and never taken back: connections opened through it may outlive any test.
        sqlite3_vfs_register(&vfs, 1);
    }

    sqlite3_vfs* const base;
    sqlite3_vfs vfs;
};

} // namespace VantorTest

#endif
