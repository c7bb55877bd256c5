#pragma once

#include <string>

#include "sqliteprovider/DbType.h"
#include "sqliteprovider/Export.h"

namespace sqliteprovider {

class Command;

// A forward reader over the rows of a command. Closing or destroying a
// reader (any copy of it) releases the command's statement and clears its
// text; the command needs a new text before it runs again.
class SQLITEPROVIDER_EXPORT DataReader {
 public:
  explicit DataReader(Command& command);
  // Does what close does; a failure of the release is dropped.
  ~DataReader();

  // Steps to the next row: true when one is ready, false at the end.
  bool read() const;
  // Throws the connection's Exception when the engine reports the failure of
  // the statement's last run; the command is left empty in any case.
  void close();
  int getFieldCount() const;

  // Row access, column indexes from 0; "Index out of range" outside
  // 0 to getFieldCount() - 1. Without a current row every value is NULL.
  std::string getFieldName(int index) const;
  DbType getFieldDbType(int index) const;
  std::string getDataTypeName(int index) const;
  bool isDbNull(int index) const;
  int getInt32(int index) const;
  long long getInt64(int index) const;
  double getFloat(int index) const;
  std::string getString(int index) const;
  std::string getString16(int index) const;
  // n + 1 bytes: the n bytes of the value and a zero byte. The caller
  // releases the array with delete[].
  char* getBlob(int index) const;

 private:
  void verify(int index) const;

  Command& command;
  int fieldCount;
};

}  // namespace sqliteprovider
