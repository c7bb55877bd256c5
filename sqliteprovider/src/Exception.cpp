#include "sqliteprovider/Exception.h"

#include <sqlite3.h>

#include "sqliteprovider/Connection.h"

namespace sqliteprovider {

Exception::Exception(const std::string& text) : message("Exception: " + text) {}

// The engine gives a message for a null handle too, so a closed connection
// still composes a complete text.
Exception::Exception(const Connection& connection)
    : message("Exception: Connection[" + connection.fileName + "]: " + sqlite3_errmsg(connection.handle)) {}

Exception::Exception(const Exception& other) = default;
Exception& Exception::operator=(const Exception& other) = default;
Exception::~Exception() = default;

const char* Exception::what() const noexcept {
  return message.c_str();
}

}  // namespace sqliteprovider
