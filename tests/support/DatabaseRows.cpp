#include "tests/support/DatabaseRows.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace VantorTest {

std::vector<std::string> DatabaseRows(const std::string& path, const std::string& sql)
{
    std::vector<std::string> rows;
    sqlite3* database = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << path << ": " << sql << ": " << sqlite3_errmsg(database);
        sqlite3_close(database);
        return rows;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            if (i) row += "|";
            const unsigned char* text = sqlite3_column_text(statement, i);
            row += text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(statement, i)) : "<null>";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return rows;
}

} // namespace VantorTest
