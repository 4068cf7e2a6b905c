#include "core/database/Transaction.h"

#include "core/database/Connection.h"

#include <sqlite3.h>

namespace Vantor::Database::SQLite {

Transaction::Transaction(boost::shared_ptr<Connection> connection)
    : connection(connection), open(true)
{
    Execute("BEGIN TRANSACTION;");
}

Transaction::~Transaction()
{
    if (open)
        Rollback();
}

bool Transaction::Commit()
{
    if (Execute("COMMIT;") == SQLITE_OK) {
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
    Execute("ROLLBACK;");
    open = false;
}

int Transaction::Execute(const char* sql)
{
    return connection->Noted(sqlite3_exec(connection->Get(), sql, nullptr, nullptr, nullptr));
}

} // namespace Vantor::Database::SQLite
