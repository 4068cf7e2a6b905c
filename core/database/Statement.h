#ifndef CORE_DATABASE_STATEMENT_H
#define CORE_DATABASE_STATEMENT_H

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <string>

struct sqlite3_stmt;

namespace Vantor::Database::SQLite {

class Connection;

// One prepared statement. Every operation returns SQLite's own result code unchanged;
// on a statement that was never prepared successfully they give SQLITE_MISUSE.
// Bind indexes start at 1, column indexes at 0.
class Statement : private boost::noncopyable {
public:
    explicit Statement(boost::shared_ptr<Connection> connection);
    ~Statement();

    // Prepares the whole text. A statement is prepared once; a second call is refused.
    int Prepare(const std::string& sql);

    int BindInt(int index, int value);
    int BindInt64(int index, long long value);
    // Binds `text` up to its first zero byte. `destructor` is SQLITE_STATIC when `text`
    // outlives the step, SQLITE_TRANSIENT to have SQLite copy it.
    int BindText(int index, const std::string& text, void (*destructor)(void*));
    // Binds the UTF-8 form of `text`; SQLite always copies it.
    int BindText(int index, const std::wstring& text);

    // SQLITE_ROW when a row is ready, SQLITE_DONE when finished.
    int Step();

    int GetInt(int column);
    long long GetInt64(int column);
    // "" for a NULL value.
    std::string GetText(int column);

private:
    sqlite3_stmt* statement;
    boost::shared_ptr<Connection> connection;
};

} // namespace Vantor::Database::SQLite

#endif
