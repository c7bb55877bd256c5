#include "sqliteprovider/Connection.h"

#include <sqlite3.h>

#include "Engine.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

namespace {
constexpr int kDefaultBusyTimeoutMs = 3000;
}  // namespace

Connection::Connection() : Connection(std::string()) {}

Connection::Connection(const std::string& fileName)
    : fileName(fileName), handle(nullptr), inTransaction(false), transactionsBegun(0) {}

Connection::~Connection() {
  close();
}

void Connection::open() {
  // A second handle would leak the first and lose everything that lives
  // only in it (an in-memory database, temporary tables).
  if (handle) {
    return;
  }
  sqlite3* opened = nullptr;
  if (sqlite3_open(fileName.c_str(), &opened) != SQLITE_OK) {
    // The engine hands back a handle even when it fails; holding on to it
    // would make a connection that never opened look open.
    sqlite3_close(opened);
    throw Exception(detail::kUnableToOpen);
  }
  handle = opened;
  checkOpened();
  if (const int result = sqlite3_busy_timeout(handle, kDefaultBusyTimeoutMs); result != SQLITE_OK) {
    throw Exception(*this, result);
  }
}

void Connection::close() {
  // The _v2 form never refuses: with statements still unreleased the engine
  // closes as soon as the last of them is released, instead of keeping the
  // handle (and any transaction and lock on the file) forever.
  sqlite3_close_v2(handle);
  handle = nullptr;
  // Closing ends the engine's transaction; a stale flag would refuse every
  // later transaction on this connection.
  inTransaction = false;
}

bool Connection::isOpened() const {
  return handle != nullptr;
}

void Connection::setBusyTimeout(int milliseconds) const {
  checkOpened();
  if (const int result = sqlite3_busy_timeout(handle, milliseconds); result != SQLITE_OK) {
    throw Exception(*this, result);
  }
}

Transaction Connection::beginTransaction() const {
  return Transaction(*this);
}

void Connection::checkOpened() const {
  if (!handle) {
    throw Exception(detail::kNotOpen);
  }
}

void Connection::execute(const std::string& sql, RowCallback callback, void* context) const {
  checkOpened();
  if (const int result = sqlite3_exec(handle, sql.c_str(), callback, context, nullptr); result != SQLITE_OK) {
    throw Exception(*this, result);
  }
}

}  // namespace sqliteprovider
