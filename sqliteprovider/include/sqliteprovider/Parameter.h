#pragma once

#include <string>

#include "sqliteprovider/Export.h"

namespace sqliteprovider {

class Command;

// Binds one value to a statement parameter of a command and reports the
// engine's refusal as the connection's Exception. A parameter carries one
// value only: once a value is bound it is spent, and every further set
// throws "The parameter has been assigned.". Parameter indexes count from 1.
class SQLITEPROVIDER_EXPORT Parameter {
 public:
  explicit Parameter(const Command& command);
  ~Parameter();

  void set(int index);  // NULL
  void set(int index, const int& value);
  void set(int index, const long long& value);
  void set(int index, const double& value);
  // UTF-8 text.
  void set(int index, const std::string& value);
  void set(int index, const char* value);
  // Wide text, stored as UTF-16.
  void set(int index, const std::wstring& value);
  void set(int index, const wchar_t* value);
  // A byte string of length bytes.
  void set(int index, const char* data, int length);
  void set(int index, const void* data, int length);

 private:
  // Throws while the parameter is spent.
  void assigned() const;
  // Turns the engine's answer to a bind to index into an exception or a
  // spent parameter.
  void verify(int index, int result);

  const Command& command;
  bool valueAssigned;
};

}  // namespace sqliteprovider
