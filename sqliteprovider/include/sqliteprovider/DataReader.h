#pragma once

#include <string>

#include "sqliteprovider/DbType.h"
#include "sqliteprovider/Export.h"

struct sqlite3_stmt;

namespace sqliteprovider {

class Command;

// The column getters on the current row of a statement, written once for
// the two classes that read rows: Command (its own statement) and
// DataReader (the statement of its command). Column indexes count from 0;
// every getter throws "Index out of range" outside 0 to getFieldCount() - 1.
// Without a current row, or once the statement is released, every value
// reads as NULL.
class SQLITEPROVIDER_EXPORT FieldAccess {
 public:
  int getFieldCount() const { return fieldCount; }

  std::string getFieldName(int index) const;
  DbType getFieldDbType(int index) const;
  // The declared type of the table column; empty for an expression.
  std::string getDataTypeName(int index) const;
  bool isDbNull(int index) const;
  int getInt32(int index) const;
  long long getInt64(int index) const;
  double getFloat(int index) const;
  // The value as UTF-8; zero bytes inside it are kept.
  std::string getString(int index) const;
  // The value as UTF-16 in machine order, two bytes a unit, converted by
  // the engine (which gives U+FFFD for the noncharacters U+FFFE and U+FFFF
  // of a UTF-8 text).
  std::string getString16(int index) const;
  // n + 1 bytes: the n bytes of the value and a zero byte. The caller
  // releases the array with delete[].
  char* getBlob(int index) const;

 protected:
  // statement is where the statement to read is kept, not the statement
  // itself: its owner compiles a new one or releases it as it runs.
  FieldAccess(sqlite3_stmt* const* statement, int fieldCount) noexcept;
  FieldAccess(const FieldAccess&) = default;
  FieldAccess& operator=(const FieldAccess&) = default;
  ~FieldAccess() = default;

  sqlite3_stmt* const* statementSlot;
  int fieldCount;

 private:
  void verify(int index) const;
};

// A forward reader over the rows of a command. Closing or destroying a
// reader (any copy of it) releases the command's statement and clears its
// text; the command needs a new text before it runs again. Copies read the
// same command.
class SQLITEPROVIDER_EXPORT DataReader : public FieldAccess {
 public:
  explicit DataReader(Command& command);
  // Does what close does; a failure of the release is dropped.
  ~DataReader();

  // Steps to the next row: true when one is ready, false at the end.
  bool read() const;
  // Throws the connection's Exception when the engine reports the failure of
  // the statement's last run; the command is left empty in any case.
  void close();

 private:
  Command& command;
};

}  // namespace sqliteprovider
