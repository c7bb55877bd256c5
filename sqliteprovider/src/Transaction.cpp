#include "sqliteprovider/Transaction.h"

#include <sqlite3.h>

#include "Engine.h"
#include "sqliteprovider/Connection.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

Transaction::Transaction(const Connection& connection) : connection(connection), number(0) {
  if (connection.inTransaction) {
    // The engine's own refusal of a nested BEGIN, without asking it: its
    // transaction may have ended behind the active Transaction's back.
    throw Exception(connection, SQLITE_ERROR, "cannot start a transaction within a transaction");
  }
  connection.checkOpened();
  if (const int result = sqlite3_exec(connection.handle, "BEGIN TRANSACTION;", nullptr, nullptr, nullptr);
      result != SQLITE_OK) {
    throw Exception(connection, result);
  }
  connection.inTransaction = true;
  number = ++connection.transactionsBegun;
}

Transaction::Transaction(const Transaction& other) : connection(other.connection), number(other.number) {}

Transaction::~Transaction() {
  if (!active()) {
    return;
  }
  try {
    rollback();
  } catch (...) {
    // Nothing may leave a destructor. The flag stays set only while the
    // engine's transaction is really still open (see rollback).
  }
}

bool Transaction::active() const {
  return connection.inTransaction && connection.transactionsBegun == number;
}

void Transaction::checkActive() const {
  if (!active()) {
    throw Exception(detail::kTransactionEnded);
  }
}

void Transaction::commit() {
  connection.checkOpened();
  checkActive();
  if (const int result = sqlite3_exec(connection.handle, "COMMIT TRANSACTION;", nullptr, nullptr, nullptr);
      result != SQLITE_OK) {
    throw Exception(connection, result);
  }
  connection.inTransaction = false;
}

void Transaction::rollback() {
  connection.checkOpened();
  checkActive();
  try {
    connection.execute("ROLLBACK TRANSACTION;", nullptr, nullptr);
  } catch (const Exception&) {
    // After some failures, a full disk among them, the engine rolls the
    // whole transaction back by itself, and the ROLLBACK finds none to end.
    // The refusal is still reported, but the flag follows the engine: left
    // set, it would refuse every later transaction on the connection.
    if (connection.handle && sqlite3_get_autocommit(connection.handle)) {
      connection.inTransaction = false;
    }
    throw;
  }
  connection.inTransaction = false;
}

}  // namespace sqliteprovider
