#ifndef TESTS_SUPPORT_BUSYDATABASE_H
#define TESTS_SUPPORT_BUSYDATABASE_H

// Another reader of the playlist database, as a music player indexing it would be, and the
// waits of the connections that find the database busy.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <string>

namespace VantorTest {

// Holds a read transaction on the database from construction until Release: while it does,
// no other connection can commit a change.
class DatabaseReader {
public:
    explicit DatabaseReader(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK
            || sqlite3_exec(database, "BEGIN; SELECT COUNT(*) FROM sqlite_master;", nullptr, nullptr, nullptr) != SQLITE_OK)
            ADD_FAILURE() << path << ": " << sqlite3_errmsg(database);
    }
    ~DatabaseReader()
    {
        Release();
        sqlite3_close(database);
    }
    DatabaseReader(const DatabaseReader&) = delete;
    DatabaseReader& operator=(const DatabaseReader&) = delete;

    void Release() { sqlite3_exec(database, "COMMIT;", nullptr, nullptr, nullptr); }

private:
    sqlite3* database = nullptr;
};

// Every SQLite connection opened after the first call of Installed() sleeps through here when
// it finds the database busy. The pauses are counted; while `instant` is set they take no
// time, so a connection's whole busy timeout runs out at once (SQLite counts the time it
// asked to sleep, not the clock).
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
