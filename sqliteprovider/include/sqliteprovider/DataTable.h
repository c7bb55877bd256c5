#pragma once

#include <memory>
#include <string>

#include "sqliteprovider/Export.h"

namespace sqliteprovider {

class Connection;

// The whole result of a query as text cells, kept after the query has
// finished. A NULL reads as "NULL"; a byte string ends at its first zero
// byte. A query without rows gives 0 rows and 0 columns.
class SQLITEPROVIDER_EXPORT DataTable {
 public:
  DataTable();
  // Runs the query at once.
  DataTable(const Connection& connection, const std::string& sql);
  DataTable(const DataTable& other);
  DataTable& operator=(const DataTable& other);
  ~DataTable();

  // Runs every statement of the text and keeps their rows, replacing what
  // the table held. On failure throws and the table reports 0 x 0.
  void assign(const Connection& connection, const std::string& sql);
  int rows() const;
  int columns() const;
  // Both throw "Index out of range." outside the table.
  std::string getFieldName(int column) const;
  std::string getFieldValue(int row, int column) const;

 private:
  // The engine's whole-table result, row-major: the column names first, then
  // each data row; a null entry is a NULL value. It is never changed, only
  // replaced, so copies of a table share it.
  std::shared_ptr<char*> cells;
  int rowCount;
  int columnCount;
};

}  // namespace sqliteprovider
