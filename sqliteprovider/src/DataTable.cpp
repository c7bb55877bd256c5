#include "sqliteprovider/DataTable.h"

#include <sqlite3.h>

#include <cstddef>

#include "Engine.h"
#include "sqliteprovider/Connection.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

DataTable::DataTable() : rowCount(0), columnCount(0) {}

DataTable::DataTable(const Connection& connection, const std::string& sql) : DataTable() {
  assign(connection, sql);
}

DataTable::DataTable(const DataTable& other) = default;
DataTable& DataTable::operator=(const DataTable& other) = default;
DataTable::~DataTable() = default;

void DataTable::assign(const Connection& connection, const std::string& sql) {
  connection.checkOpened();
  char** result = nullptr;
  // The engine sets both counts to 0 before it runs and keeps them there on
  // failure; it releases its own result then.
  const int status = sqlite3_get_table(connection.handle, sql.c_str(), &result, &rowCount, &columnCount, nullptr);
  if (status != SQLITE_OK) {
    rowCount = 0;
    columnCount = 0;
    cells.reset();
    throw Exception(connection, status);
  }
  // The cells stay in the engine's form: copying each of them again would
  // cost about half as much as running the query.
  cells.reset(result, sqlite3_free_table);
}

int DataTable::rows() const {
  return rowCount;
}

int DataTable::columns() const {
  return columnCount;
}

std::string DataTable::getFieldName(int column) const {
  if (column < 0 || column >= columnCount) {
    throw Exception(detail::kCellOutOfRange);
  }
  return cells.get()[column];
}

std::string DataTable::getFieldValue(int row, int column) const {
  if (column < 0 || column >= columnCount || row < 0 || row >= rowCount) {
    throw Exception(detail::kCellOutOfRange);
  }
  const char* value =
      cells.get()[static_cast<std::size_t>(columnCount) * (static_cast<std::size_t>(row) + 1) +
                  static_cast<std::size_t>(column)];
  return value ? value : "NULL";
}

}  // namespace sqliteprovider
