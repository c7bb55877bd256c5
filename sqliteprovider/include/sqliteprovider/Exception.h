#pragma once

#include <exception>
#include <string>

#include "sqliteprovider/Export.h"

namespace sqliteprovider {

class Connection;
class Transaction;

// The only error type of the library; every failure is thrown as one, by
// value. The message is "Exception: " followed by a fixed text of the
// library, or "Exception: Connection[<file name>]: " followed by the
// engine's message for that connection. The second form also carries the
// engine's result code and extended result code; the first carries -1 for
// both.
class SQLITEPROVIDER_EXPORT Exception : public std::exception {
 public:
  explicit Exception(const std::string& text);
  // The engine's current error of the connection's handle.
  explicit Exception(const Connection& connection);
  // A call on the connection that the engine answered with resultCode (a
  // primary or an extended code). The handle's message is used when the
  // handle's current error is that code; a call that records no error on
  // the handle (or a closed connection) gets the engine's text for the code.
  Exception(const Connection& connection, int resultCode);
  Exception(const Exception& other);
  Exception& operator=(const Exception& other);
  ~Exception() override;

  // The complete message; valid while this exception lives.
  const char* what() const noexcept override;
  // The engine's result code (SQLITE_CONSTRAINT, ...), -1 for the library's
  // own texts.
  int errorCode() const noexcept;
  // The engine's extended result code (SQLITE_CONSTRAINT_UNIQUE, ...), -1
  // for the library's own texts.
  int extendedErrorCode() const noexcept;

 private:
  friend class Transaction;
  // The connection form with a message that the library knows without
  // asking the handle.
  Exception(const Connection& connection, int resultCode, const char* engineMessage);

  std::string message;
  int code;
  int extendedCode;
};

}  // namespace sqliteprovider
