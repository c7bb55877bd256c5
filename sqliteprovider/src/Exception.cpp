#include "sqliteprovider/Exception.h"

#include <sqlite3.h>

#include "sqliteprovider/Connection.h"

namespace sqliteprovider {

namespace {

// Result codes are a primary code in the low byte and its refinement above.
constexpr int kPrimaryMask = 0xFF;

std::string connectionMessage(const std::string& fileName, const char* engineMessage) {
  return "Exception: Connection[" + fileName + "]: " + engineMessage;
}

}  // namespace

Exception::Exception(const std::string& text) : message("Exception: " + text), code(-1), extendedCode(-1) {}

// The engine gives a message for a null handle too, so a closed connection
// still composes a complete text.
Exception::Exception(const Connection& connection)
    : Exception(connection, sqlite3_extended_errcode(connection.handle), sqlite3_errmsg(connection.handle)) {}

// The handle's message describes the handle's last call, which need not be
// the one that failed: a bind refused for a missing statement or a negative
// length, or a statement of a handle that is closed since, leaves it as it
// was ("not an error" after a success). Only a matching code makes it the
// failure's own text.
Exception::Exception(const Connection& connection, int resultCode)
    : Exception(connection, resultCode, sqlite3_errstr(resultCode)) {
  sqlite3* handle = connection.handle;
  if (handle && sqlite3_errcode(handle) == (resultCode & kPrimaryMask)) {
    message = connectionMessage(connection.fileName, sqlite3_errmsg(handle));
    extendedCode = sqlite3_extended_errcode(handle);
  }
}

Exception::Exception(const Connection& connection, int resultCode, const char* engineMessage)
    : message(connectionMessage(connection.fileName, engineMessage)),
      code(resultCode & kPrimaryMask),
      extendedCode(resultCode) {}

Exception::Exception(const Exception& other) = default;
Exception& Exception::operator=(const Exception& other) = default;
Exception::~Exception() = default;

const char* Exception::what() const noexcept {
  return message.c_str();
}

int Exception::errorCode() const noexcept {
  return code;
}

int Exception::extendedErrorCode() const noexcept {
  return extendedCode;
}

}  // namespace sqliteprovider
