// libFuzzer entry for the sqliteprovider library: arbitrary SQL texts and an
// arbitrary sequence of calls on one in-memory database. Properties checked:
// no exception but sqliteprovider::Exception leaves the library, each of
// those carries the "Exception: " prefix, engine codes in the connection
// form only (-1 for the library's own texts) and never the engine's "not
// an error", and nothing crashes, trips a sanitizer or leaks. Data
// integrity: a value of any kind written through the library (texts with
// zero bytes or bytes that are no UTF-8, wide texts with any wchar_t,
// blobs, integers, doubles, NULL) reads back unchanged through the
// command's getters, a DataReader and a DataTable, on a second in-memory
// database of its own that the input's SQL never reaches; and past its one
// row the command and the reader stay at the end. The calls keep the library's own rules for callers: the
// connection outlives everything made from it, a reader or parameter its
// command, and no buffer length exceeds the buffer.
//
// Input layout (missing bytes read as zero):
//   texts       up to four SQL texts, each ended by a zero byte; an empty
//               text (a second zero byte) ends the list before the fourth.
//               Text 0 is always the empty text, the input's texts are 1-4.
//   operations  at most 64, each an opcode byte (a letter of the list
//               below; any other byte picks entry byte % count in table
//               order) followed by its operands.
// Operands:
//   choice   (byte - '0') modulo the number of choices, so ASCII digits pick
//            directly: a text, a command (0-3), a table (0-1), a transaction
//            (0-2), a variant
//   index    a column or parameter index: (byte - '0') as a signed byte, so
//            '0'-'9' give 0-9 and '/' gives -1; -128 stands for INT_MIN and
//            127 for INT_MAX
//   int      4 bytes, little-endian; long and long long 8 bytes; double the
//            8 bytes of its bits
//   text     a length byte, then that many bytes; length 0xFF passes nullptr
//            to the const char* overloads (and "" to the others)
//   wide     a length byte (0xFF as for text), then 4 little-endian bytes per
//            wchar_t, any value
//   blob     a signed length byte: n >= 0 passes the n bytes that follow and
//            length n; a negative n passes length n (-128: INT_MIN)
//   value    a choice of its kind, then what the kind needs: 0 NULL, 1 int,
//            2 long, 3 long long, 4 double, 5 std::string, 6 const char*
//            (text), 7 std::wstring, 8 const wchar_t* (wide), 9 const char*
//            blob, 10 const void* blob
// Operations (C command, T table, X transaction):
//   o open, x close, i isOpened, w setBusyTimeout(int)
//   n C: Command(connection); c C text: Command(connection, text);
//   y C C: the second becomes a copy of the first; k C: destroy it;
//   t C text: setCommandText; e C execute; m C moveNext; q C isEof and
//   getFieldCount; u C executeNonQuery; s C choice: executeScalar for int,
//   double, long long, string, wide string; v C choice: executeInt,
//   executeDouble, executeInt64, executeString(false), executeString(true);
//   g C index: every field getter of the command
//   r C executeReader (kept with the command); R C read; C C close;
//   G C index: getFieldCount and every field getter of the reader;
//   D C destroy the reader
//   p C createParameter (kept with the command); P C index value: set;
//   a C index value: appendParameter
//   l C T fill; T T text: DataTable(connection, text); E T DataTable();
//   A T text assign; Y T T: the second becomes DataTable(first); = T T:
//   second = first; L T index index index: rows, columns, getFieldName of
//   the first index, getFieldValue of the other two
//   b X beginTransaction; B X X: the second becomes a copy of the first;
//   K X commit; J X rollback; d X destroy
//   V choice value: the data-integrity check, the value bound through
//   appendParameter (choice 0) or Parameter::set (choice 1)
// The connection is opened before the first operation. Example:
//   "CREATE TABLE t(a)\0SELECT a FROM t\0\0" "c01u0" "c12e1g10"
// runs text 1 through command 0, then text 2 through command 1 and reads
// column 0 of its first row with every getter.
//
// The seeds (fuzz/corpus/sqliteprovider) take one group of calls each and
// are named after it: a table filled through every appendParameter and
// every Parameter::set overload, wide text with invalid code points and
// negative blob lengths; rows read through the command's getters, a reader,
// fill and every scalar; transactions committed, rolled back, copied,
// destroyed in any order and left open across a close; column, cell and
// parameter indexes out of range; statements left stale by close and
// reopen; SQL that fails to compile or to run; empty texts and texts without
// a statement; connection calls while closed; SQL that the guards below
// refuse or interrupt; values of every kind through the integrity check.
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sqliteprovider/sqliteprovider.h"

namespace {

using sqliteprovider::Command;
using sqliteprovider::Connection;
using sqliteprovider::DataReader;
using sqliteprovider::DataTable;
using sqliteprovider::Parameter;
using sqliteprovider::Transaction;

constexpr int kMaxOperations = 64;
constexpr std::size_t kMaxTexts = 4;

// Guards on every connection the engine opens, so that arbitrary SQL can
// neither reach the file system nor run for long.

// VM steps one statement may take in all before it is interrupted: plenty
// for the seeds' queries, and a recursive query ends with an Exception
// instead of running forever.
constexpr int kStepBudget = 10000;
// Largest text or blob. Still spans several pages, yet a function that is
// quadratic in its argument (replace, instr) stays quick over it.
constexpr int kValueLimit = 16 * 1024;
// LIKE and GLOB take time in the product of pattern and text lengths.
constexpr int kPatternLimit = 64;
// All memory of the engine: within the step budget, the statements of one
// input could still store a gigabyte of large rows.
constexpr sqlite3_int64 kHeapLimit = 64 << 20;

// PRAGMAs that reach beyond the one connection: temp_store could move
// temporary tables to files again, the two folder PRAGMAs name where files
// go, and the heap limits are process-wide, so one input would change the
// limits of every later one.
constexpr const char* kDeniedPragmas[] = {"temp_store", "temp_store_directory", "data_store_directory",
                                          "hard_heap_limit", "soft_heap_limit"};
// fts3_tokenizer with two arguments installs a tokenizer from a pointer that
// SQL supplies: the engine would call whatever address the input names.
// (load_extension is off unless enabled on the handle.)
constexpr const char* kDeniedFunctions[] = {"fts3_tokenizer"};

template <std::size_t N>
bool IsOneOf(const char* name, const char* const (&names)[N]) {
  for (const char* candidate : names) {
    if (name && sqlite3_stricmp(name, candidate) == 0) return true;
  }
  return false;
}

// ATTACH would open (and create) any file; VACUUM INTO attaches its target
// the same way, so refusing ATTACH refuses it too.
int Authorize(void*, int action, const char* first, const char* second, const char*, const char*) {
  switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
      return SQLITE_DENY;
    case SQLITE_PRAGMA:
      return IsOneOf(first, kDeniedPragmas) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_FUNCTION:
      return IsOneOf(second, kDeniedFunctions) ? SQLITE_DENY : SQLITE_OK;
    default:
      return SQLITE_OK;
  }
}

// Called once the statement has used up kStepBudget steps: ends it.
int Interrupt(void*) { return 1; }

int GuardConnection(sqlite3* db, char**, const sqlite3_api_routines*) {
  // No database besides main and temp (the authorizer refuses ATTACH as
  // well; the limit also stops the ATTACH that VACUUM runs inside).
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kValueLimit);
  sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, kPatternLimit);
  // Temporary tables and indexes go to files by default.
  sqlite3_exec(db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
  // No writable_schema and the like: a database corrupted on purpose tests
  // the engine, not the library.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, static_cast<int*>(nullptr));
  sqlite3_set_authorizer(db, Authorize, nullptr);
  sqlite3_progress_handler(db, kStepBudget, Interrupt, nullptr);
  return SQLITE_OK;
}

// Once per process, before the first connection opens.
bool InstallGuards() {
  // The engine calls every automatic extension with this signature; the
  // registration takes it as a plain function pointer.
  if (sqlite3_auto_extension(reinterpret_cast<void (*)()>(&GuardConnection)) != SQLITE_OK) std::abort();
  sqlite3_hard_heap_limit64(kHeapLimit);
  return true;
}

[[noreturn]] void Fail(const std::string& operation, const char* what) {
  std::fprintf(stderr, "property broken: %s let out %s\n", operation.c_str(), what);
  std::abort();
}

// Runs one call of the library; an Exception is its documented failure.
template <typename Action>
void Call(const std::string& operation, Action&& action) {
  static constexpr char kPrefix[] = "Exception: ";
  static constexpr char kConnectionPrefix[] = "Exception: Connection[";
  static constexpr char kNoError[] = ": not an error";
  try {
    action();
  } catch (const sqliteprovider::Exception& e) {
    const std::string what = e.what();
    if (what.rfind(kPrefix, 0) != 0) Fail(operation, "an Exception without its prefix");
    const bool fromEngine = what.rfind(kConnectionPrefix, 0) == 0;
    if (fromEngine ? e.errorCode() <= 0 || (e.extendedErrorCode() & 0xFF) != e.errorCode()
                   : e.errorCode() != -1 || e.extendedErrorCode() != -1) {
      Fail(operation, ("an Exception whose codes do not fit its text: " + what).c_str());
    }
    const std::size_t noError = sizeof kNoError - 1;
    if (what.size() >= noError && what.compare(what.size() - noError, noError, kNoError) == 0) {
      Fail(operation, ("a failure reported as success: " + what).c_str());
    }
  } catch (const std::exception& e) {
    Fail(operation, e.what());
  } catch (...) {
    Fail(operation, "an exception of unknown type");
  }
}

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::size_t Choice(std::size_t count) { return static_cast<std::uint8_t>(Byte() - '0') % count; }
  int Index() {
    const auto index = static_cast<signed char>(Byte() - '0');
    if (index == SCHAR_MIN) return INT_MIN;
    if (index == SCHAR_MAX) return INT_MAX;
    return index;
  }
  std::uint64_t Little(int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= std::uint64_t{Byte()} << (8 * i);
    return value;
  }
  int Int() { return static_cast<int>(static_cast<std::uint32_t>(Little(4))); }
  double Double() {
    const std::uint64_t bits = Little(8);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // Up to count bytes: fewer when the input ends.
  std::string Bytes(std::size_t count) {
    const std::size_t taken = std::min(count, size_ - std::min(at_, size_));
    std::string bytes(reinterpret_cast<const char*>(data_ + at_), taken);
    at_ += taken;
    return bytes;
  }
  std::string ZeroTerminated() {
    std::string text;
    for (std::uint8_t byte = Byte(); byte != 0; byte = Byte()) text.push_back(static_cast<char>(byte));
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// One value to bind, in the form of one binding overload.
struct Value {
  enum Kind { kNull, kInt, kLong, kLongLong, kDouble, kString, kCString, kWide, kCWide, kCharBlob, kVoidBlob, kKinds };

  explicit Value(Input& in) : kind(static_cast<Kind>(in.Choice(kKinds))) {
    constexpr std::uint8_t kNullPointer = 0xFF;
    switch (kind) {
      case kInt:
        number = in.Int();
        break;
      case kLong:
      case kLongLong:
        number = static_cast<long long>(in.Little(8));
        break;
      case kDouble:
        real = in.Double();
        break;
      case kString:
      case kCString:
        if (const std::uint8_t length = in.Byte(); length != kNullPointer) text = in.Bytes(length);
        break;
      case kWide:
      case kCWide:
        if (const std::uint8_t length = in.Byte(); length != kNullPointer) {
          wide.emplace();
          for (int i = 0; i < length && !in.Empty(); ++i) {
            wide->push_back(static_cast<wchar_t>(in.Int()));
          }
        }
        break;
      case kCharBlob:
      case kVoidBlob:
        if (const auto length = static_cast<signed char>(in.Byte()); length >= 0) {
          text = in.Bytes(static_cast<std::size_t>(length));
          blobLength = static_cast<int>(text->size());
        } else {
          blobLength = length == SCHAR_MIN ? INT_MIN : length;
        }
        break;
      case kNull:
      case kKinds:
        break;
    }
  }

  Kind kind;
  long long number = 0;
  double real = 0;
  std::optional<std::string> text;  // empty: the null pointer
  std::optional<std::wstring> wide;
  int blobLength = 0;
};

// The two ways to bind a value, under one name so that one switch feeds both.
template <typename... Args>
void Bind(Command& command, int index, const Args&... value) {
  command.appendParameter(index, value...);
}
template <typename... Args>
void Bind(Parameter& parameter, int index, const Args&... value) {
  parameter.set(index, value...);
}
// Parameter has no overload for long.
void Bind(Parameter& parameter, int index, const long& value) {
  parameter.set(index, static_cast<long long>(value));
}

template <typename Binder>
void BindValue(Binder& binder, int index, const Value& value) {
  const char* bytes = value.text ? value.text->c_str() : nullptr;
  switch (value.kind) {
    case Value::kNull:
      Bind(binder, index);
      break;
    case Value::kInt:
      Bind(binder, index, static_cast<int>(value.number));
      break;
    case Value::kLong:
      Bind(binder, index, static_cast<long>(value.number));
      break;
    case Value::kLongLong:
      Bind(binder, index, value.number);
      break;
    case Value::kDouble:
      Bind(binder, index, value.real);
      break;
    case Value::kString:
      Bind(binder, index, value.text.value_or(std::string()));
      break;
    case Value::kCString:
      Bind(binder, index, bytes);
      break;
    case Value::kWide:
      Bind(binder, index, value.wide.value_or(std::wstring()));
      break;
    case Value::kCWide:
      Bind(binder, index, value.wide ? value.wide->c_str() : nullptr);
      break;
    case Value::kCharBlob:
      Bind(binder, index, bytes, value.blobLength);
      break;
    case Value::kVoidBlob:
      Bind(binder, index, static_cast<const void*>(bytes), value.blobLength);
      break;
    case Value::kKinds:
      break;
  }
}

// The data-integrity oracle -----------------------------------------------

// What a value reads back as, worked out from the value alone.
struct Expected {
  bool refused = false;  // the bind must throw (a negative blob length)
  sqliteprovider::DbType type = sqliteprovider::DbNull;
  long long integer = 0;
  double real = 0;
  std::string bytes;                 // text as UTF-8, or the blob
  std::optional<std::string> utf16;  // wide text: its UTF-16 bytes
  std::optional<std::string> cell;   // the DataTable's text, where known
  // False for a wide text whose UTF-16 holds a lone surrogate (16-bit
  // wchar_t only): the engine converts it by rules of its own, which the
  // oracle does not model, so only its storage class is compared.
  bool bytesKnown = true;
};

// A wchar_t as a Unicode scalar value; anything else stands for U+FFFD.
char32_t ScalarValue(wchar_t w) {
  const auto c = static_cast<std::uint32_t>(w);
  return c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? U'\uFFFD' : static_cast<char32_t>(c);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 in the machine's byte order, as the engine gives it.
void AppendUtf16(std::string& out, char32_t c) {
  char16_t units[2] = {static_cast<char16_t>(c), 0};
  std::size_t count = 1;
  if (c >= 0x10000) {
    units[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    units[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    count = 2;
  }
  out.append(reinterpret_cast<const char*>(units), count * sizeof(char16_t));
}

std::string UpToZero(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

Expected ExpectedOf(const Value& value) {
  Expected e;
  e.cell = "NULL";
  const auto text = [&](const std::string& bytes) {
    e.type = sqliteprovider::DbText;
    e.bytes = bytes;
    e.cell = UpToZero(bytes);
  };
  const auto wide = [&](const std::wstring& characters) {
    e.utf16.emplace();
    std::string utf8;
    for (std::size_t i = 0; i < characters.size(); ++i) {
      char32_t c = ScalarValue(characters[i]);
      if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
        // 16-bit wchar_t holds UTF-16 units, which reach the engine
        // unchanged: a pair is one character.
        const auto unit = static_cast<char16_t>(characters[i]);
        const char16_t next = i + 1 < characters.size() ? static_cast<char16_t>(characters[i + 1]) : 0;
        if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
          c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (next - 0xDC00);
          ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
          e.bytesKnown = false;
        }
      }
      AppendUtf8(utf8, c);
      // Stored as UTF-8; the engine reads the noncharacters U+FFFE and
      // U+FFFF there as U+FFFD when it converts to UTF-16.
      AppendUtf16(*e.utf16, c == 0xFFFE || c == 0xFFFF ? U'\uFFFD' : c);
    }
    text(utf8);
    if (!e.bytesKnown) e.cell.reset();
  };
  const auto integer = [&](long long number) {
    e.type = sqliteprovider::DbInteger;
    e.integer = number;
    e.cell = std::to_string(number);
  };
  switch (value.kind) {
    case Value::kInt:
      integer(static_cast<int>(value.number));
      break;
    case Value::kLong:
      // 64-bit on Linux, 32-bit on Windows: what the cast keeps.
      integer(static_cast<long>(value.number));
      break;
    case Value::kLongLong:
      integer(value.number);
      break;
    case Value::kDouble:
      // The engine stores NaN as NULL; other doubles it prints by rules of
      // its own, so their cell is not checked.
      if (!std::isnan(value.real)) {
        e.type = sqliteprovider::DbFloat;
        e.real = value.real;
        e.cell.reset();
      }
      break;
    case Value::kString:
      text(value.text.value_or(std::string()));
      break;
    case Value::kCString:
      if (value.text) text(UpToZero(*value.text));
      break;
    case Value::kWide:
      wide(value.wide.value_or(std::wstring()));
      break;
    case Value::kCWide:
      if (value.wide) wide(value.wide->substr(0, value.wide->find(L'\0')));
      break;
    case Value::kCharBlob:
    case Value::kVoidBlob:
      if (value.blobLength < 0) {
        e.refused = true;
      } else {
        e.type = sqliteprovider::DbBlob;
        e.bytes = value.text.value_or(std::string());
        e.cell = UpToZero(e.bytes);
      }
      break;
    case Value::kNull:
    case Value::kKinds:
      break;
  }
  return e;
}

[[noreturn]] void Changed(const std::string& path, const std::string& what) {
  std::fprintf(stderr, "property broken: a value written and read back through %s: %s\n", path.c_str(),
               what.c_str());
  std::abort();
}

// Reads column 0 of the current row in an order in which the engine's own
// conversions keep the value: the storage class first, a value in its
// stored form before any other form, and UTF-16 only of a text that is
// UTF-8 for sure.
void CheckFields(const std::string& path, const sqliteprovider::FieldAccess& row, const Expected& e) {
  if (row.getFieldCount() != 1) Changed(path, "getFieldCount");
  if (row.getFieldDbType(0) != e.type) Changed(path, "getFieldDbType");
  if (row.isDbNull(0) != (e.type == sqliteprovider::DbNull)) Changed(path, "isDbNull");
  switch (e.type) {
    case sqliteprovider::DbInteger:
      if (row.getInt64(0) != e.integer) Changed(path, "getInt64");
      if (e.integer == static_cast<int>(e.integer) && row.getInt32(0) != e.integer) Changed(path, "getInt32");
      if (row.getString(0) != std::to_string(e.integer)) Changed(path, "getString of an integer");
      break;
    case sqliteprovider::DbFloat:
      if (!(row.getFloat(0) == e.real)) Changed(path, "getFloat");
      break;
    case sqliteprovider::DbText:
    case sqliteprovider::DbBlob: {
      if (!e.bytesKnown) break;
      const std::unique_ptr<char[]> blob(row.getBlob(0));
      if (std::string(blob.get(), e.bytes.size() + 1) != e.bytes + '\0') Changed(path, "getBlob");
      if (row.getString(0) != e.bytes) Changed(path, "getString");
      if (e.utf16 && row.getString16(0) != *e.utf16) Changed(path, "getString16");
      break;
    }
    case sqliteprovider::DbNull: {
      const std::unique_ptr<char[]> blob(row.getBlob(0));
      if (row.getInt64(0) != 0 || !row.getString(0).empty() || blob[0] != '\0') Changed(path, "a NULL");
      break;
    }
  }
}

// Writes the value into a table of the oracle's database and reads it back
// three ways.
void CheckRoundTrip(Connection& db, const Value& value, bool throughSet) {
  constexpr char kQuery[] = "SELECT x FROM v";
  const Expected e = ExpectedOf(value);
  try {
    if (!db.isOpened()) {
      db.open();
      Command(db, "CREATE TABLE v(x)").executeNonQuery();
    }
    Command(db, "DELETE FROM v").executeNonQuery();
    Command insert(db, "INSERT INTO v VALUES (?)");
    try {
      if (throughSet) {
        Parameter parameter = insert.createParameter();
        BindValue(parameter, 1, value);
      } else {
        BindValue(insert, 1, value);
      }
    } catch (const sqliteprovider::Exception& refusal) {
      if (e.refused && refusal.errorCode() == SQLITE_MISUSE) return;
      throw;
    }
    if (e.refused) Changed("the bind", "a negative blob length was taken");
    if (insert.executeNonQuery() != 1) Changed("executeNonQuery", "not one row written");

    Command query(db, kQuery);
    query.execute();
    if (query.isEof()) Changed("Command", "no row");
    CheckFields("Command", query, e);
    for (int i = 0; i < 2; ++i) {
      query.moveNext();
      if (!query.isEof()) Changed("Command::moveNext", "a row past the end");
    }

    Command readerQuery(db, kQuery);
    {
      const DataReader reader = readerQuery.executeReader();
      if (!reader.read()) Changed("DataReader", "no row");
      CheckFields("DataReader", reader, e);
      if (reader.read() || reader.read()) Changed("DataReader::read", "a row past the end");
    }

    const DataTable table(db, kQuery);
    if (table.rows() != 1 || table.columns() != 1 || table.getFieldName(0) != "x") Changed("DataTable", "its shape");
    if (e.cell && table.getFieldValue(0, 0) != *e.cell) Changed("DataTable", "getFieldValue");
  } catch (const sqliteprovider::Exception& failure) {
    // Only the engine's heap limit, which the input's own database may have
    // used up, excuses a failure here.
    if (failure.errorCode() != SQLITE_NOMEM) Changed("the library", failure.what());
  }
}

// Command and DataReader share their field getters.
void ReadFields(const std::string& type, const sqliteprovider::FieldAccess& source, int index) {
  Call(type + "::getFieldName", [&] { source.getFieldName(index); });
  Call(type + "::getFieldDbType", [&] { source.getFieldDbType(index); });
  Call(type + "::getDataTypeName", [&] { source.getDataTypeName(index); });
  Call(type + "::isDbNull", [&] { source.isDbNull(index); });
  Call(type + "::getInt32", [&] { source.getInt32(index); });
  Call(type + "::getInt64", [&] { source.getInt64(index); });
  Call(type + "::getFloat", [&] { source.getFloat(index); });
  Call(type + "::getString", [&] { source.getString(index); });
  Call(type + "::getString16", [&] { source.getString16(index); });
  Call(type + "::getBlob", [&] { delete[] source.getBlob(index); });
}

// A command with the reader and the parameter made from it; members in this
// order so that those two go before the command.
struct CommandSlot {
  std::unique_ptr<Command> command;
  std::optional<Parameter> parameter;
  std::unique_ptr<DataReader> reader;

  void Replace(std::unique_ptr<Command> next) {
    reader.reset();
    parameter.reset();
    command = std::move(next);
  }
};

// Everything one input works on; the connection is declared before
// everything made from it, so it is destroyed after all of them.
struct Session {
  Session(const std::uint8_t* data, std::size_t size) : in(data, size), texts{std::string()} {
    while (texts.size() <= kMaxTexts) {
      std::string text = in.ZeroTerminated();
      if (text.empty()) break;
      texts.push_back(std::move(text));
    }
  }

  const std::string& PickText() { return texts[in.Choice(texts.size())]; }
  CommandSlot& PickSlot() { return commands[in.Choice(commands.size())]; }
  Command* PickCommand() { return PickSlot().command.get(); }
  DataReader* PickReader() { return PickSlot().reader.get(); }
  DataTable& PickTable() { return tables[in.Choice(tables.size())]; }
  std::unique_ptr<Transaction>& PickTransaction() { return transactions[in.Choice(transactions.size())]; }

  Input in;
  std::vector<std::string> texts;
  Connection db{":memory:"};
  // The integrity check's own database.
  Connection oracle{":memory:"};
  std::array<DataTable, 2> tables;
  std::array<CommandSlot, 4> commands;
  std::array<std::unique_ptr<Transaction>, 3> transactions;
};

struct Operation {
  char code;
  void (*run)(Session&);
};

// Objects that the library returns by value are kept with new from the
// returned object itself: a copy would be a second reader or transaction
// whose destruction closes the command or rolls back.
const Operation kOperations[] = {
    {'o', [](Session& s) { Call("Connection::open", [&] { s.db.open(); }); }},
    {'x', [](Session& s) { Call("Connection::close", [&] { s.db.close(); }); }},
    {'i', [](Session& s) { Call("Connection::isOpened", [&] { s.db.isOpened(); }); }},
    {'w',
     [](Session& s) {
       const int milliseconds = s.in.Int();
       Call("Connection::setBusyTimeout", [&] { s.db.setBusyTimeout(milliseconds); });
     }},
    {'n',
     [](Session& s) {
       CommandSlot& slot = s.PickSlot();
       Call("Command(const Connection&)", [&] { slot.Replace(std::make_unique<Command>(s.db)); });
     }},
    {'c',
     [](Session& s) {
       CommandSlot& slot = s.PickSlot();
       const std::string& text = s.PickText();
       Call("Command(const Connection&, const std::string&)",
             [&] { slot.Replace(std::make_unique<Command>(s.db, text)); });
     }},
    {'y',
     [](Session& s) {
       const Command* from = s.PickCommand();
       CommandSlot& to = s.PickSlot();
       if (from) Call("Command(const Command&)", [&] { to.Replace(std::make_unique<Command>(*from)); });
     }},
    {'k', [](Session& s) { s.PickSlot().Replace(nullptr); }},
    {'t',
     [](Session& s) {
       Command* command = s.PickCommand();
       const std::string& text = s.PickText();
       if (command) Call("Command::setCommandText", [&] { command->setCommandText(text); });
     }},
    {'e',
     [](Session& s) {
       if (Command* command = s.PickCommand()) Call("Command::execute", [&] { command->execute(); });
     }},
    {'m',
     [](Session& s) {
       if (Command* command = s.PickCommand()) Call("Command::moveNext", [&] { command->moveNext(); });
     }},
    {'q',
     [](Session& s) {
       if (Command* command = s.PickCommand()) {
         Call("Command::isEof", [&] { command->isEof(); });
         Call("Command::getFieldCount", [&] { command->getFieldCount(); });
       }
     }},
    {'u',
     [](Session& s) {
       if (Command* command = s.PickCommand()) {
         Call("Command::executeNonQuery", [&] { command->executeNonQuery(); });
       }
     }},
    {'s',
     [](Session& s) {
       Command* command = s.PickCommand();
       const std::size_t variant = s.in.Choice(5);
       if (!command) return;
       int number = 0;
       double real = 0;
       long long wide = 0;
       std::string text;
       switch (variant) {
         case 0:
           Call("Command::executeScalar(int&)", [&] { command->executeScalar(number); });
           break;
         case 1:
           Call("Command::executeScalar(double&)", [&] { command->executeScalar(real); });
           break;
         case 2:
           Call("Command::executeScalar(long long&)", [&] { command->executeScalar(wide); });
           break;
         default:
           Call("Command::executeScalar(std::string&, bool)", [&] { command->executeScalar(text, variant == 4); });
       }
     }},
    {'v',
     [](Session& s) {
       Command* command = s.PickCommand();
       const std::size_t variant = s.in.Choice(5);
       if (!command) return;
       switch (variant) {
         case 0:
           Call("Command::executeInt", [&] { command->executeInt(); });
           break;
         case 1:
           Call("Command::executeDouble", [&] { command->executeDouble(); });
           break;
         case 2:
           Call("Command::executeInt64", [&] { command->executeInt64(); });
           break;
         default:
           Call("Command::executeString", [&] { command->executeString(variant == 4); });
       }
     }},
    {'g',
     [](Session& s) {
       const Command* command = s.PickCommand();
       const int index = s.in.Index();
       if (command) ReadFields("Command", *command, index);
     }},
    {'r',
     [](Session& s) {
       CommandSlot& slot = s.PickSlot();
       if (slot.command) {
         Call("Command::executeReader", [&] { slot.reader.reset(new DataReader(slot.command->executeReader())); });
       }
     }},
    {'R',
     [](Session& s) {
       if (const DataReader* reader = s.PickReader()) Call("DataReader::read", [&] { reader->read(); });
     }},
    {'C',
     [](Session& s) {
       if (DataReader* reader = s.PickReader()) Call("DataReader::close", [&] { reader->close(); });
     }},
    {'G',
     [](Session& s) {
       const DataReader* reader = s.PickReader();
       const int index = s.in.Index();
       if (!reader) return;
       Call("DataReader::getFieldCount", [&] { reader->getFieldCount(); });
       ReadFields("DataReader", *reader, index);
     }},
    {'D', [](Session& s) { s.PickSlot().reader.reset(); }},
    {'p',
     [](Session& s) {
       CommandSlot& slot = s.PickSlot();
       if (slot.command) {
         Call("Command::createParameter", [&] { slot.parameter.emplace(slot.command->createParameter()); });
       }
     }},
    {'P',
     [](Session& s) {
       std::optional<Parameter>& parameter = s.PickSlot().parameter;
       const int index = s.in.Index();
       const Value value(s.in);
       if (parameter) Call("Parameter::set", [&] { BindValue(*parameter, index, value); });
     }},
    {'a',
     [](Session& s) {
       Command* command = s.PickCommand();
       const int index = s.in.Index();
       const Value value(s.in);
       if (command) Call("Command::appendParameter", [&] { BindValue(*command, index, value); });
     }},
    {'l',
     [](Session& s) {
       Command* command = s.PickCommand();
       DataTable& table = s.PickTable();
       if (command) Call("Command::fill", [&] { command->fill(table); });
     }},
    {'T',
     [](Session& s) {
       DataTable& table = s.PickTable();
       const std::string& text = s.PickText();
       Call("DataTable(const Connection&, const std::string&)", [&] { table = DataTable(s.db, text); });
     }},
    {'E',
     [](Session& s) {
       DataTable& table = s.PickTable();
       Call("DataTable()", [&] { table = DataTable(); });
     }},
    {'A',
     [](Session& s) {
       DataTable& table = s.PickTable();
       const std::string& text = s.PickText();
       Call("DataTable::assign", [&] { table.assign(s.db, text); });
     }},
    {'Y',
     [](Session& s) {
       const DataTable& from = s.PickTable();
       DataTable& to = s.PickTable();
       Call("DataTable(const DataTable&)", [&] { to = DataTable(from); });
     }},
    {'=',
     [](Session& s) {
       const DataTable& from = s.PickTable();
       DataTable& to = s.PickTable();
       Call("DataTable::operator=", [&] { to = from; });
     }},
    {'L',
     [](Session& s) {
       const DataTable& table = s.PickTable();
       const int column = s.in.Index();
       const int row = s.in.Index();
       const int valueColumn = s.in.Index();
       Call("DataTable::rows", [&] { table.rows(); });
       Call("DataTable::columns", [&] { table.columns(); });
       Call("DataTable::getFieldName", [&] { table.getFieldName(column); });
       Call("DataTable::getFieldValue", [&] { table.getFieldValue(row, valueColumn); });
     }},
    {'b',
     [](Session& s) {
       std::unique_ptr<Transaction>& slot = s.PickTransaction();
       Call("Connection::beginTransaction", [&] { slot.reset(new Transaction(s.db.beginTransaction())); });
     }},
    {'B',
     [](Session& s) {
       const Transaction* from = s.PickTransaction().get();
       std::unique_ptr<Transaction>& to = s.PickTransaction();
       if (from) Call("Transaction(const Transaction&)", [&] { to = std::make_unique<Transaction>(*from); });
     }},
    {'K',
     [](Session& s) {
       if (Transaction* transaction = s.PickTransaction().get()) {
         Call("Transaction::commit", [&] { transaction->commit(); });
       }
     }},
    {'J',
     [](Session& s) {
       if (Transaction* transaction = s.PickTransaction().get()) {
         Call("Transaction::rollback", [&] { transaction->rollback(); });
       }
     }},
    {'d', [](Session& s) { s.PickTransaction().reset(); }},
    {'V',
     [](Session& s) {
       const bool throughSet = s.in.Choice(2) == 1;
       const Value value(s.in);
       CheckRoundTrip(s.oracle, value, throughSet);
     }},
};

const Operation& Decode(std::uint8_t code) {
  for (const Operation& operation : kOperations) {
    if (static_cast<std::uint8_t>(operation.code) == code) return operation;
  }
  return kOperations[code % std::size(kOperations)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Here rather than in LLVMFuzzerInitialize: the replay driver calls only
  // this function.
  [[maybe_unused]] static const bool guarded = InstallGuards();
  Session session(data, size);
  Call("Connection::open", [&] { session.db.open(); });
  for (int count = 0; count < kMaxOperations && !session.in.Empty(); ++count) {
    Decode(session.in.Byte()).run(session);
  }
  return 0;
}
