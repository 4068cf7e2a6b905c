#include "core/database/Transaction.h"

#include "core/database/Connection.h"

#include <sqlite3.h>

namespace Vantor::Database::SQLite {

Transaction::Transaction(boost::shared_ptr<Connection> connection)
    : connection(connection), successful(false)
{
    sqlite3_exec(connection->Get(), "BEGIN TRANSACTION;", nullptr, nullptr, nullptr);
}

Transaction::~Transaction()
{
    sqlite3* handle = connection->Get();
    // A commit that fails leaves the transaction open; end it, or every later change would
    // join it and be lost.
    if (!successful || sqlite3_exec(handle, "COMMIT;", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(handle, "ROLLBACK;", nullptr, nullptr, nullptr);
}

void Transaction::SetSuccessful()
{
    successful = true;
}

} // namespace Vantor::Database::SQLite
