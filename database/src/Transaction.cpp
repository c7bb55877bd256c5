#include "sqliteprovider/Transaction.h"

#include <sqlite3.h>

#include "sqliteprovider/Connection.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

Transaction::Transaction(const Connection& connection) : connection(connection) {
  if (connection.inTransaction) {
    throw Exception(connection);
  }
  connection.checkOpened();
  if (sqlite3_exec(connection.handle, "BEGIN TRANSACTION;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw Exception(connection);
  }
  connection.inTransaction = true;
}

Transaction::Transaction(const Transaction& other) : connection(other.connection) {}

Transaction::~Transaction() {
  if (!connection.inTransaction) {
    return;
  }
  try {
    rollback();
  } catch (...) {
    // Nothing may leave a destructor; the flag stays set, so the connection
    // still tells that its transaction did not end.
  }
}

void Transaction::commit() {
  connection.checkOpened();
  if (sqlite3_exec(connection.handle, "COMMIT TRANSACTION;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw Exception(connection);
  }
  connection.inTransaction = false;
}

void Transaction::rollback() {
  connection.execute("ROLLBACK TRANSACTION;", nullptr, nullptr);
  connection.inTransaction = false;
}

}  // namespace sqliteprovider
