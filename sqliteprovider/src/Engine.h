#pragma once

// Helpers over the engine's calls, shared by the classes of the library.
// Not installed.

#include <sqlite3.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <string>

#include "sqliteprovider/DbType.h"

namespace sqliteprovider::detail {

// The fixed texts of the library's exceptions.
inline constexpr const char* kTextNotAssigned = "The command text has not be assigned.";
inline constexpr const char* kStatementNull = "The sqlite statement is null.";
inline constexpr const char* kColumnOutOfRange = "Index out of range";
inline constexpr const char* kUnableToOpen = "Unable to open database.";
inline constexpr const char* kNotOpen = "Not open database connection.";
inline constexpr const char* kCellOutOfRange = "Index out of range.";
inline constexpr const char* kParameterAssigned = "The parameter has been assigned.";
inline constexpr const char* kTransactionEnded = "The transaction has already ended.";

// Binding. Each returns the engine's answer. Text and byte strings are
// copied by the engine, so the caller's buffer need not outlive the call.
inline int bindNull(sqlite3_stmt* statement, int index) {
  return sqlite3_bind_null(statement, index);
}
inline int bindInt(sqlite3_stmt* statement, int index, int value) {
  return sqlite3_bind_int(statement, index, value);
}
inline int bindInt64(sqlite3_stmt* statement, int index, sqlite3_int64 value) {
  return sqlite3_bind_int64(statement, index, value);
}
inline int bindDouble(sqlite3_stmt* statement, int index, double value) {
  return sqlite3_bind_double(statement, index, value);
}
// The 64-bit length keeps a huge string from being cut short silently: the
// engine refuses what exceeds its limit instead. A null pointer binds NULL.
inline int bindText(sqlite3_stmt* statement, int index, const char* text, std::size_t bytes) {
  return sqlite3_bind_text64(statement, index, text, bytes, SQLITE_TRANSIENT, SQLITE_UTF8);
}
inline int bindText(sqlite3_stmt* statement, int index, const char* text) {
  return bindText(statement, index, text, text ? std::strlen(text) : 0);
}
// wchar_t is converted to UTF-16 first (see toUtf16). A null pointer binds NULL.
int bindWideText(sqlite3_stmt* statement, int index, const wchar_t* text, std::size_t length);
inline int bindWideText(sqlite3_stmt* statement, int index, const wchar_t* text) {
  return bindWideText(statement, index, text, text ? std::wcslen(text) : 0);
}
// A negative length is refused with the engine's misuse code and binds
// nothing: the engine would read an unknown number of bytes.
int bindBlob(sqlite3_stmt* statement, int index, const void* data, int length);

// Wide text as UTF-16 in machine order. A 32-bit wchar_t holds code points:
// those beyond the basic plane become surrogate pairs, and values that are
// no Unicode scalar value become U+FFFD.
std::u16string toUtf16(const wchar_t* text, std::size_t length);

// Column access on the current row. The engine reads a missing row, a bad
// column or a missing statement as NULL; names and declared types are
// empty there.
inline std::string fieldName(sqlite3_stmt* statement, int index) {
  const char* name = statement ? sqlite3_column_name(statement, index) : nullptr;
  return name ? std::string(name) : std::string();
}
inline DbType fieldDbType(sqlite3_stmt* statement, int index) {
  return static_cast<DbType>(sqlite3_column_type(statement, index));
}
inline std::string dataTypeName(sqlite3_stmt* statement, int index) {
  const char* type = statement ? sqlite3_column_decltype(statement, index) : nullptr;
  return type ? std::string(type) : std::string();
}
// The value as UTF-8; zero bytes inside it are kept.
inline std::string text(sqlite3_stmt* statement, int index) {
  const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
  const int bytes = sqlite3_column_bytes(statement, index);
  return value ? std::string(value, static_cast<std::size_t>(bytes)) : std::string();
}
// The value as UTF-16 in machine order, two bytes a unit.
inline std::string text16(sqlite3_stmt* statement, int index) {
  const auto* value = static_cast<const char*>(sqlite3_column_text16(statement, index));
  const int bytes = sqlite3_column_bytes16(statement, index);
  return value ? std::string(value, static_cast<std::size_t>(bytes)) : std::string();
}
// A new array of the value's bytes and one zero byte; owned by the caller.
char* blob(sqlite3_stmt* statement, int index);

}  // namespace sqliteprovider::detail
