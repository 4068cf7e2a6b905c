#include "core/database/Connection.h"
#include "core/database/Statement.h"
#include "core/database/Transaction.h"
#include "core/filesystem/invalid_path_exception.h"
#include "tests/support/LogSubscriber.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <exception>

using namespace Vantor::Database::SQLite;
using namespace VantorTest;

namespace {

bool Execute(const boost::shared_ptr<Connection>& connection, const std::string& sql)
{
    Statement statement(connection);
    return statement.Prepare(sql) == SQLITE_OK && statement.Step() == SQLITE_DONE;
}

int CountRows(const boost::shared_ptr<Connection>& connection)
{
    Statement statement(connection);
    EXPECT_EQ(SQLITE_OK, statement.Prepare("SELECT COUNT(*) FROM t"));
    EXPECT_EQ(SQLITE_ROW, statement.Step());
    return statement.GetInt(0);
}

} // namespace

TEST(SQLiteWrapperTest, OpeningCreatesTheFolderChainOrFailsLogged)
{
    TempDirectory folder;
    EXPECT_TRUE(Execute(Connection::Open(folder.File("a/b/c/test.db")), "CREATE TABLE t (x INTEGER);"));
    EXPECT_EQ(0, CountRows(Connection::Open(folder.File("a/b/c/test.db"))));

    // A plain file where a folder should be: neither the folder nor the database can be made.
    WriteFile(folder.File("blocker"), "x");
    Journal log;
    LogSubscriber logged(log);
    EXPECT_THROW(Connection::Open(folder.File("blocker/sub/test.db")), std::exception);
    EXPECT_EQ(std::vector<std::string>({"Connection: couldn't open: " + folder.File("blocker/sub/test.db")}), log.Entries());
    EXPECT_THROW(Connection::Open("test.db"), Vantor::Filesystem::invalid_path_exception);
}

TEST(SQLiteWrapperTest, ValuesAreBoundAndReadBackUnchanged)
{
    TempDirectory folder;
    boost::shared_ptr<Connection> connection = Connection::Open(folder.File("test.db"));
    ASSERT_TRUE(Execute(connection, "CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, small INTEGER, "
                                    "big INTEGER, name STRING, other STRING, missing STRING);"));
    // Data that would break SQL built from text: it must come back as it went in.
    const std::string hostile = "x'); DROP TABLE t; --\"\x01\xFF\xC3";
    const long long big = 9007199254740993LL;
    {
        Statement insert(connection);
        ASSERT_EQ(SQLITE_OK, insert.Prepare("INSERT INTO t VALUES (NULL, ?, ?, ?, ?, NULL);"));
        EXPECT_EQ(SQLITE_OK, insert.BindInt(1, -7));
        EXPECT_EQ(SQLITE_OK, insert.BindInt64(2, big));
        EXPECT_EQ(SQLITE_OK, insert.BindText(3, hostile, SQLITE_STATIC));
        EXPECT_EQ(SQLITE_OK, insert.BindText(4, std::wstring(L"\u00C9t\u00E9")));
        EXPECT_EQ(SQLITE_DONE, insert.Step());
    }
    EXPECT_EQ(1, connection->GetLastInsertedRowID());

    Statement select(connection);
    ASSERT_EQ(SQLITE_OK, select.Prepare("SELECT id, small, big, name, other, missing FROM t"));
    // The statement keeps its connection open.
    connection.reset();
    ASSERT_EQ(SQLITE_ROW, select.Step());
    EXPECT_EQ(1, select.GetInt(0));
    EXPECT_EQ(-7, select.GetInt(1));
    EXPECT_EQ(big, select.GetInt64(2));
    EXPECT_EQ(hostile, select.GetText(3));
    EXPECT_EQ("\xC3\x89t\xC3\xA9", select.GetText(4));
    EXPECT_EQ("", select.GetText(5));
    EXPECT_EQ(SQLITE_DONE, select.Step());
}

TEST(SQLiteWrapperTest, TransactionCommitsOnlyWhenMarkedSuccessful)
{
    TempDirectory folder;
    boost::shared_ptr<Connection> connection = Connection::Open(folder.File("test.db"));
    ASSERT_TRUE(Execute(connection, "CREATE TABLE t (x INTEGER);"));
    for (const bool successful : {false, true}) {
        Transaction transaction(connection);
        ASSERT_TRUE(Execute(connection, "INSERT INTO t VALUES (1);"));
        if (successful)
            transaction.SetSuccessful();
    }
    // Only the second is on disk: a second connection sees it.
    EXPECT_EQ(1, CountRows(Connection::Open(folder.File("test.db"))));
}

TEST(SQLiteWrapperTest, FailedPrepareLeavesTheStatementUnusable)
{
    TempDirectory folder;
    Statement statement(Connection::Open(folder.File("test.db")));
    EXPECT_EQ(SQLITE_ERROR, statement.Prepare("SELECT * FROM missing"));
    EXPECT_EQ(SQLITE_MISUSE, statement.BindText(1, std::string("x"), SQLITE_TRANSIENT));
    EXPECT_EQ(SQLITE_MISUSE, statement.Step());
    EXPECT_EQ("", statement.GetText(0));
}
