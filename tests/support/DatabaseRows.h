#ifndef TESTS_SUPPORT_DATABASEROWS_H
#define TESTS_SUPPORT_DATABASEROWS_H

#include <string>
#include <vector>

namespace VantorTest {

// Every row of a query on an SQLite file, read with SQLite itself and read-only: columns
// joined with "|", NULL shown as "<null>". A file or query that can't be read fails the
// current test and gives no rows.
std::vector<std::string> DatabaseRows(const std::string& path, const std::string& sql);

} // namespace VantorTest

#endif
