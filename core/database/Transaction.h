#ifndef CORE_DATABASE_TRANSACTION_H
#define CORE_DATABASE_TRANSACTION_H

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

namespace Vantor::Database::SQLite {

class Connection;

// A transaction for one scope: begun when constructed, committed when it ends if it was
// marked successful, rolled back otherwise.
class Transaction : private boost::noncopyable {
public:
    explicit Transaction(boost::shared_ptr<Connection> connection);
    ~Transaction();

    void SetSuccessful();

private:
    boost::shared_ptr<Connection> connection;
    bool successful;
};

} // namespace Vantor::Database::SQLite

#endif
