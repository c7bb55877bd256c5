#pragma once

#include "sqliteprovider/Export.h"

namespace sqliteprovider {

class Connection;

// Brackets work on a connection between BEGIN and COMMIT or ROLLBACK. The
// state lives in the connection, so a connection has at most one active
// transaction and every copy of a Transaction shares it.
class SQLITEPROVIDER_EXPORT Transaction {
 public:
  // Begins the transaction. Throws the connection's Exception when one is
  // already active on it (which is left alone), "Not open database
  // connection." when it is closed.
  explicit Transaction(const Connection& connection);
  // Refers to the same connection; begins nothing.
  Transaction(const Transaction& other);
  Transaction& operator=(const Transaction&) = delete;
  // Rolls back when the connection's transaction is still active; a failed
  // rollback is dropped.
  ~Transaction();

  // Both leave the transaction active when the engine refuses them, except
  // that a refused rollback ends it when the engine has no transaction left
  // (it rolls back by itself after some failures, a full disk among them).
  void commit();
  void rollback();

 private:
  const Connection& connection;
};

}  // namespace sqliteprovider
