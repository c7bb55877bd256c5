#include <sqlite3.h>

#include "Engine.h"
#include "sqliteprovider/DataReader.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

FieldAccess::FieldAccess(sqlite3_stmt* const* statement, int fieldCount) noexcept
    : statementSlot(statement), fieldCount(fieldCount) {}

void FieldAccess::verify(int index) const {
  if (index < 0 || index >= fieldCount) {
    throw Exception(detail::kColumnOutOfRange);
  }
}

std::string FieldAccess::getFieldName(int index) const {
  verify(index);
  return detail::fieldName(*statementSlot, index);
}

DbType FieldAccess::getFieldDbType(int index) const {
  verify(index);
  return detail::fieldDbType(*statementSlot, index);
}

std::string FieldAccess::getDataTypeName(int index) const {
  verify(index);
  return detail::dataTypeName(*statementSlot, index);
}

bool FieldAccess::isDbNull(int index) const {
  verify(index);
  return detail::fieldDbType(*statementSlot, index) == DbNull;
}

int FieldAccess::getInt32(int index) const {
  verify(index);
  return sqlite3_column_int(*statementSlot, index);
}

long long FieldAccess::getInt64(int index) const {
  verify(index);
  return sqlite3_column_int64(*statementSlot, index);
}

double FieldAccess::getFloat(int index) const {
  verify(index);
  return sqlite3_column_double(*statementSlot, index);
}

std::string FieldAccess::getString(int index) const {
  verify(index);
  return detail::text(*statementSlot, index);
}

std::string FieldAccess::getString16(int index) const {
  verify(index);
  return detail::text16(*statementSlot, index);
}

char* FieldAccess::getBlob(int index) const {
  verify(index);
  return detail::blob(*statementSlot, index);
}

}  // namespace sqliteprovider
