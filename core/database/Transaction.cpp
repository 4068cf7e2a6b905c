#include "core/database/Transaction.h"

#include "core/database/Connection.h"

#include <sqlite3.h>

namespace Vantor::Database::SQLite {

Transaction::Transaction(boost::shared_ptr<Connection> connection)
    : connection(connection), open(true)
{
    sqlite3_exec(connection->Get(), "BEGIN TRANSACTION;", nullptr, nullptr, nullptr);
}

Transaction::~Transaction()
{
    if (open)
        Rollback();
}

bool Transaction::Commit()
{
    if (sqlite3_exec(connection->Get(), "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK) {
        open = false;
        return true;
    }
    // A commit that fails leaves the transaction open; end it, or every later change would
    // join it and be lost.
    Rollback();
    return false;
}

void Transaction::Rollback()
{
    sqlite3_exec(connection->Get(), "ROLLBACK;", nullptr, nullptr, nullptr);
    open = false;
}

} // namespace Vantor::Database::SQLite
