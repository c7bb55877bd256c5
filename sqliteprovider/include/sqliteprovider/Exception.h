#pragma once

#include <exception>
#include <string>

#include "sqliteprovider/Export.h"

namespace sqliteprovider {

class Connection;

// The only error type of the library; every failure is thrown as one, by
// value. The message is "Exception: " followed by a fixed text of the
// library, or "Exception: Connection[<file name>]: " followed by the
// engine's message for that connection.
class SQLITEPROVIDER_EXPORT Exception : public std::exception {
 public:
  explicit Exception(const std::string& text);
  explicit Exception(const Connection& connection);
  Exception(const Exception& other);
  Exception& operator=(const Exception& other);
  ~Exception() override;

  // The complete message; valid while this exception lives.
  const char* what() const noexcept override;

 private:
  std::string message;
};

}  // namespace sqliteprovider
