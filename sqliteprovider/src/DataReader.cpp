#include "sqliteprovider/DataReader.h"

#include <sqlite3.h>

#include "Engine.h"
#include "sqliteprovider/Command.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

DataReader::DataReader(Command& command)
    : command(command), fieldCount(sqlite3_column_count(command.statement)) {}

DataReader::~DataReader() {
  try {
    close();
  } catch (...) {
    // The release reports the failure of the last run, which read() has
    // already thrown; nothing may leave a destructor.
  }
}

bool DataReader::read() const {
  return command.step();
}

void DataReader::close() {
  // The text goes first so that the command is empty even when the release
  // throws.
  command.commandText.clear();
  command.finalize();
}

int DataReader::getFieldCount() const {
  return fieldCount;
}

void DataReader::verify(int index) const {
  if (index < 0 || index >= fieldCount) {
    throw Exception(detail::kColumnOutOfRange);
  }
}

std::string DataReader::getFieldName(int index) const {
  verify(index);
  return detail::fieldName(command.statement, index);
}

DbType DataReader::getFieldDbType(int index) const {
  verify(index);
  return detail::fieldDbType(command.statement, index);
}

std::string DataReader::getDataTypeName(int index) const {
  verify(index);
  return detail::dataTypeName(command.statement, index);
}

bool DataReader::isDbNull(int index) const {
  verify(index);
  return detail::fieldDbType(command.statement, index) == DbNull;
}

int DataReader::getInt32(int index) const {
  verify(index);
  return sqlite3_column_int(command.statement, index);
}

long long DataReader::getInt64(int index) const {
  verify(index);
  return sqlite3_column_int64(command.statement, index);
}

double DataReader::getFloat(int index) const {
  verify(index);
  return sqlite3_column_double(command.statement, index);
}

std::string DataReader::getString(int index) const {
  verify(index);
  return detail::text(command.statement, index);
}

std::string DataReader::getString16(int index) const {
  verify(index);
  return detail::text16(command.statement, index);
}

char* DataReader::getBlob(int index) const {
  verify(index);
  return detail::blob(command.statement, index);
}

}  // namespace sqliteprovider
