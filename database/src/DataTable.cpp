#include "sqliteprovider/DataTable.h"

#include <sqlite3.h>

#include <cstddef>
#include <memory>

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
  if (sqlite3_get_table(connection.handle, sql.c_str(), &result, &rowCount, &columnCount, nullptr) !=
      SQLITE_OK) {
    rowCount = 0;
    columnCount = 0;
    cells.clear();
    throw Exception(connection);
  }
  const std::unique_ptr<char*, decltype(&sqlite3_free_table)> release(result, &sqlite3_free_table);
  const std::size_t count = (static_cast<std::size_t>(rowCount) + 1) * static_cast<std::size_t>(columnCount);
  cells.clear();
  cells.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    cells.emplace_back(result[i] ? result[i] : "NULL");
  }
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
  return cells[static_cast<std::size_t>(column)];
}

std::string DataTable::getFieldValue(int row, int column) const {
  if (column < 0 || column >= columnCount || row < 0 || row >= rowCount) {
    throw Exception(detail::kCellOutOfRange);
  }
  return cells[static_cast<std::size_t>(columnCount) * (static_cast<std::size_t>(row) + 1) +
               static_cast<std::size_t>(column)];
}

}  // namespace sqliteprovider
