#include "core/database/Connection.h"
#include "core/database/Statement.h"
#include "core/database/Transaction.h"
#include "core/diagnostic/Debug.h"
#include "core/filesystem/invalid_path_exception.h"
#include "tests/support/LogSubscriber.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <exception>

using namespace Vantor::Database::SQLite;
using VantorTest::TempDirectory;

namespace {

bool Execute(const boost::shared_ptr<Connection>& connection, const std::string& sql)
{
    Statement statement(connection);
    return statement.Prepare(sql) == SQLITE_OK && statement.Step() == SQLITE_DONE;
}

int CountRows(const boost::shared_ptr<Connection>& connection, const std::string& table)
{
    Statement statement(connection);
    EXPECT_EQ(SQLITE_OK, statement.Prepare("SELECT COUNT(*) FROM " + table));
    EXPECT_EQ(SQLITE_ROW, statement.Step());
    return statement.GetInt(0);
}

bool IsDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

class SQLiteWrapperTest : public ::testing::Test {
protected:
    TempDirectory folder;
};

} // namespace

TEST_F(SQLiteWrapperTest, OpeningCreatesTheMissingFolderChainAndTheFile)
{
    const std::string path = folder.File("a/b/c/test.db");
    boost::shared_ptr<Connection> connection = Connection::Open(path);
    ASSERT_NE(nullptr, connection->Get());
    EXPECT_TRUE(IsDirectory(folder.File("a/b/c")));
    EXPECT_TRUE(Execute(connection, "CREATE TABLE t (x INTEGER);"));
    struct stat info;
    EXPECT_EQ(0, stat(path.c_str(), &info));
}

TEST_F(SQLiteWrapperTest, FailedOpenIsLoggedAndThrows)
{
    // A plain file where a folder should be: neither the folder nor the database can be made.
    VantorTest::WriteFile(folder.File("blocker"), "x");
    const std::string path = folder.File("blocker/sub/test.db");
    VantorTest::Journal log;
    VantorTest::LogSubscriber logged(log);
    EXPECT_THROW(Connection::Open(path), std::exception);
    EXPECT_EQ(std::vector<std::string>({"Connection: couldn't open: " + path}), log.Entries());
}

TEST_F(SQLiteWrapperTest, PathWithoutAFolderIsRefused)
{
    EXPECT_THROW(Connection::Open("test.db"), Vantor::Filesystem::invalid_path_exception);
}

TEST_F(SQLiteWrapperTest, ValuesAreBoundAndReadBackUnchanged)
{
    boost::shared_ptr<Connection> connection = Connection::Open(folder.File("test.db"));
    ASSERT_TRUE(Execute(connection, "CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, small INTEGER, "
                                    "big INTEGER, name STRING, other STRING);"));

    // Data that would break SQL built from text: it must come back as it went in.
    const std::string hostile = "x'); DROP TABLE t; --\"\x01\xFF\xC3";
    const long long big = 9007199254740993LL;
    {
        Statement insert(connection);
        ASSERT_EQ(SQLITE_OK, insert.Prepare("INSERT INTO t VALUES (NULL, ?, ?, ?, ?);"));
        EXPECT_EQ(SQLITE_OK, insert.BindInt(1, -7));
        EXPECT_EQ(SQLITE_OK, insert.BindInt64(2, big));
        EXPECT_EQ(SQLITE_OK, insert.BindText(3, hostile, SQLITE_STATIC));
        EXPECT_EQ(SQLITE_OK, insert.BindText(4, std::wstring(L"\u00C9t\u00E9")));
        EXPECT_EQ(SQLITE_DONE, insert.Step());
    }
    EXPECT_EQ(1, connection->GetLastInsertedRowID());

    Statement select(connection);
    ASSERT_EQ(SQLITE_OK, select.Prepare("SELECT id, small, big, name, other FROM t"));
    ASSERT_EQ(SQLITE_ROW, select.Step());
    EXPECT_EQ(1, select.GetInt(0));
    EXPECT_EQ(-7, select.GetInt(1));
    EXPECT_EQ(big, select.GetInt64(2));
    EXPECT_EQ(hostile, select.GetText(3));
    EXPECT_EQ("\xC3\x89t\xC3\xA9", select.GetText(4));
    EXPECT_EQ(SQLITE_DONE, select.Step());
    EXPECT_EQ(1, CountRows(connection, "t"));
}

TEST_F(SQLiteWrapperTest, NullTextReadsAsEmpty)
{
    boost::shared_ptr<Connection> connection = Connection::Open(folder.File("test.db"));
    ASSERT_TRUE(Execute(connection, "CREATE TABLE t (name STRING);"));
    ASSERT_TRUE(Execute(connection, "INSERT INTO t VALUES (NULL);"));
    Statement select(connection);
    ASSERT_EQ(SQLITE_OK, select.Prepare("SELECT name FROM t"));
    ASSERT_EQ(SQLITE_ROW, select.Step());
    EXPECT_EQ("", select.GetText(0));
}

TEST_F(SQLiteWrapperTest, TransactionCommitsOnlyWhenMarkedSuccessful)
{
    boost::shared_ptr<Connection> connection = Connection::Open(folder.File("test.db"));
    ASSERT_TRUE(Execute(connection, "CREATE TABLE t (x INTEGER);"));
    {
        Transaction transaction(connection);
        ASSERT_TRUE(Execute(connection, "INSERT INTO t VALUES (1);"));
    }
    EXPECT_EQ(0, CountRows(connection, "t"));
    {
        Transaction transaction(connection);
        ASSERT_TRUE(Execute(connection, "INSERT INTO t VALUES (2);"));
        transaction.SetSuccessful();
    }
    EXPECT_EQ(1, CountRows(connection, "t"));

    // The change is on disk: a second connection sees it.
    boost::shared_ptr<Connection> other = Connection::Open(folder.File("test.db"));
    EXPECT_EQ(1, CountRows(other, "t"));
}

TEST_F(SQLiteWrapperTest, FailedPrepareIsReportedAndTheStatementStaysUnusable)
{
    boost::shared_ptr<Connection> connection = Connection::Open(folder.File("test.db"));
    Statement statement(connection);
    EXPECT_EQ(SQLITE_ERROR, statement.Prepare("SELECT * FROM missing"));
    EXPECT_EQ(SQLITE_MISUSE, statement.BindInt(1, 1));
    EXPECT_EQ(SQLITE_MISUSE, statement.BindText(1, std::string("x"), SQLITE_TRANSIENT));
    EXPECT_EQ(SQLITE_MISUSE, statement.Step());
    EXPECT_EQ("", statement.GetText(0));

    Statement once(connection);
    EXPECT_EQ(SQLITE_OK, once.Prepare("SELECT 1"));
    EXPECT_EQ(SQLITE_MISUSE, once.Prepare("SELECT 2"));
    ASSERT_EQ(SQLITE_ROW, once.Step());
    EXPECT_EQ(1, once.GetInt(0));
}

TEST_F(SQLiteWrapperTest, StatementKeepsItsConnectionOpen)
{
    boost::shared_ptr<Connection> connection = Connection::Open(folder.File("test.db"));
    Statement statement(connection);
    ASSERT_EQ(SQLITE_OK, statement.Prepare("SELECT 42"));
    connection.reset();
    ASSERT_EQ(SQLITE_ROW, statement.Step());
    EXPECT_EQ(42, statement.GetInt64(0));
}

TEST_F(SQLiteWrapperTest, FileThatIsNotADatabaseOpensButRefusesStatements)
{
    const std::string path = folder.File("test.db");
    VantorTest::WriteFile(path, std::string(4096, 'x'));
    boost::shared_ptr<Connection> connection = Connection::Open(path);
    Statement statement(connection);
    EXPECT_EQ(SQLITE_NOTADB, statement.Prepare("CREATE TABLE t (x INTEGER);"));
    EXPECT_EQ(std::string(4096, 'x'), VantorTest::ReadFile(path));
}
