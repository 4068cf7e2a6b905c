#ifndef CORE_DATABASE_TRANSACTION_H
#define CORE_DATABASE_TRANSACTION_H

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

namespace Vantor::Database::SQLite {

class Connection;

// A transaction for one scope: begun when constructed, rolled back when it ends unless
// Commit succeeded.
class Transaction : private boost::noncopyable {
public:
    explicit Transaction(boost::shared_ptr<Connection> connection);
    ~Transaction();

    // False when the changes could not be committed (another connection kept reading past the
    // wait, a full disk): they are rolled back then, and the caller must not report them as
    // stored.
    bool Commit();

private:
    void Rollback();
    int Execute(const char* sql);

    boost::shared_ptr<Connection> connection;
    bool open;
};

} // namespace Vantor::Database::SQLite

#endif
