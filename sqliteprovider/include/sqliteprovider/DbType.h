#pragma once

namespace sqliteprovider {

// Storage class of one result value. The values are the engine's own
// storage-class codes, so a column type converts without a table.
enum DbType {
  DbInteger = 1,
  DbFloat = 2,
  DbText = 3,
  DbBlob = 4,
  DbNull = 5,
};

}  // namespace sqliteprovider
