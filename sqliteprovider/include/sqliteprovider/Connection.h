#pragma once

#include <string>

#include "sqliteprovider/Export.h"
#include "sqliteprovider/Transaction.h"

struct sqlite3;

namespace sqliteprovider {

// One database file and the engine's connection handle for it. Every other
// object of the library reaches the engine through a connection, which
// must outlive them. A connection is used by one thread at a time.
class SQLITEPROVIDER_EXPORT Connection {
 public:
  // A connection to the engine's private temporary database.
  Connection();
  // The name is handed to the engine unchanged (UTF-8); nothing is opened.
  explicit Connection(const std::string& fileName);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Opens (and creates) the database and waits up to 3000 ms for locks held
  // by others. Does nothing when already open. Throws "Unable to open
  // database." and stays closed when the engine cannot open the file.
  void open();
  // Closes the handle; the engine ends an open transaction. The engine
  // releases the database once the last statement made on it is released.
  void close();
  bool isOpened() const;
  // How long an operation waits for a lock held by another connection;
  // zero or less does not wait at all.
  void setBusyTimeout(int milliseconds) const;
  // Begins a transaction that rolls back unless committed.
  Transaction beginTransaction() const;

 private:
  using RowCallback = int (*)(void* context, int columns, char** values, char** names);

  // Throws "Not open database connection." while the connection is closed.
  void checkOpened() const;
  void execute(const std::string& sql, RowCallback callback, void* context) const;

  friend class Exception;
  friend class Command;
  friend class DataTable;
  friend class Transaction;

  std::string fileName;
  sqlite3* handle;
  // Set while a Transaction on this connection is active; Transaction
  // works on const connections, hence mutable.
  mutable bool inTransaction;
  // How many transactions have begun on this connection: the number of the
  // active one while inTransaction is set. A Transaction keeps the number it
  // began with, so that a finished one never acts on a later one.
  mutable unsigned long long transactionsBegun;
};

}  // namespace sqliteprovider
