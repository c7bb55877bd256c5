#pragma once

#include "sqliteprovider/Export.h"

namespace sqliteprovider {

class Connection;

// Brackets work on a connection between BEGIN and COMMIT or ROLLBACK. A
// connection has at most one active transaction. A Transaction acts only on
// the transaction that it began, which its copies share: once that has
// ended (committed, rolled back, through any copy, or by closing the
// connection) the object is finished and never touches a later one.
class SQLITEPROVIDER_EXPORT Transaction {
 public:
  // Begins the transaction. Throws the connection's Exception when one is
  // already active on it (which is left alone), "Not open database
  // connection." when it is closed.
  explicit Transaction(const Connection& connection);
  // The same transaction; begins nothing.
  Transaction(const Transaction& other);
  Transaction& operator=(const Transaction&) = delete;
  // Rolls back while its transaction is still active; a failed rollback is
  // dropped. A finished Transaction does nothing.
  ~Transaction();

  // Both throw "Not open database connection." on a closed connection and
  // "The transaction has already ended." through a finished Transaction.
  // Both leave the transaction active when the engine refuses them, except
  // that a refused rollback ends it when the engine has no transaction left
  // (it rolls back by itself after some failures, a full disk among them).
  void commit();
  void rollback();

 private:
  bool active() const;
  // Throws unless active.
  void checkActive() const;

  const Connection& connection;
  // The connection's count of begun transactions when this one began.
  unsigned long long number;
};

}  // namespace sqliteprovider
