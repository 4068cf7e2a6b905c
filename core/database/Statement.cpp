#include "core/database/Statement.h"

#include "core/data/StringUtility.h"
#include "core/database/Connection.h"

#include <sqlite3.h>

namespace Vantor::Database::SQLite {

Statement::Statement(boost::shared_ptr<Connection> connection)
    : statement(nullptr), connection(connection)
{
}

Statement::~Statement()
{
    sqlite3_finalize(statement);
}

int Statement::Prepare(const std::string& sql)
{
    if (statement) return SQLITE_MISUSE;
    return connection->Noted(sqlite3_prepare_v2(connection->Get(), sql.c_str(), -1, &statement, nullptr));
}

int Statement::BindInt(int index, int value)
{
    if (!statement) return SQLITE_MISUSE;
    return sqlite3_bind_int(statement, index, value);
}

int Statement::BindInt64(int index, long long value)
{
    if (!statement) return SQLITE_MISUSE;
    return sqlite3_bind_int64(statement, index, value);
}

int Statement::BindText(int index, const std::string& text, void (*destructor)(void*))
{
    if (!statement) return SQLITE_MISUSE;
    return sqlite3_bind_text(statement, index, text.c_str(), -1, destructor);
}

int Statement::BindText(int index, const std::wstring& text)
{
    return BindText(index, Vantor::Data::StringUtility::UTF16toUTF8(text), SQLITE_TRANSIENT);
}

int Statement::Step()
{
    if (!statement) return SQLITE_MISUSE;
    return connection->Noted(sqlite3_step(statement));
}

int Statement::GetInt(int column)
{
    return sqlite3_column_int(statement, column);
}

long long Statement::GetInt64(int column)
{
    return sqlite3_column_int64(statement, column);
}

std::string Statement::GetText(int column)
{
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (!text) return std::string();
    return std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(statement, column));
}

} // namespace Vantor::Database::SQLite
