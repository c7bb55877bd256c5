#include "sqliteprovider/Command.h"

#include <sqlite3.h>

#include "Engine.h"
#include "sqliteprovider/Connection.h"
#include "sqliteprovider/DataTable.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

namespace {

// The throws of the common paths, out of line: a path that only may throw
// then needs no stack frame for the exception, which a loop of inserts
// would pay for on every call.
[[noreturn, gnu::cold, gnu::noinline]] void fail(const Connection& connection, int result) {
  throw Exception(connection, result);
}

[[noreturn, gnu::cold, gnu::noinline]] void fail(const char* text) {
  throw Exception(text);
}

}  // namespace

// The getters read the command's own statement, a copy's included.
Command::Command(const Connection& connection) : FieldAccess(&statement, 0), connection(connection) {}

Command::Command(const Connection& connection, const std::string& text)
    : FieldAccess(&statement, 0), connection(connection), commandText(text) {
  prepare();
}

Command::Command(const Command& other)
    : FieldAccess(&statement, 0), connection(other.connection), commandText(other.commandText) {
  if (!commandText.empty()) {
    prepare();
  }
}

Command::~Command() {
  // The engine may answer with the failure of the last run; nothing may
  // leave a destructor, and the statement is released either way.
  sqlite3_finalize(statement);
}

// Bit i - 1 of rebound stands for parameter i.
constexpr int kTrackedParameters = 64;

void Command::setCommandText(const std::string& text) {
  if (statement && statementHandle == connection.handle) {
    // The rewind reports a failed earlier run; a statement that
    // executeNonQuery rewound has none to report.
    if (!rewound) {
      reset();
      rewound = true;
    }
    // Running the same text again is the common loop of inserts: rewinding
    // and dropping the values gives what a fresh compile would, without it.
    if (text == commandText) {
      finished = false;
      if (parameterCount > kTrackedParameters) {
        sqlite3_clear_bindings(statement);
      } else {
        rebound = 0;
      }
      return;
    }
    finalize();
  } else if (statement) {
    // Made on a handle that has been closed since: a failure that its rewind
    // would report happened there, and the text is compiled anew anyway.
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  commandText = text;
  prepare();
}

void Command::prepare() {
  finished = false;
  rewound = false;
  connection.checkOpened();
  // The _v2 form makes a failed step report the engine's real cause at once
  // and recompiles by itself after a schema change.
  if (const int result = sqlite3_prepare_v2(connection.handle, commandText.c_str(), -1, &statement, nullptr);
      result != SQLITE_OK) {
    throw Exception(connection, result);
  }
  statementHandle = connection.handle;
  parameterCount = sqlite3_bind_parameter_count(statement);
  allParameters = parameterCount >= kTrackedParameters ? ~0ULL : (1ULL << parameterCount) - 1;
  // A fresh statement has nothing of an earlier run to drop.
  rebound = allParameters;
}

// Inline in this file: the common path of a run is one test. A compiled
// statement always comes from a text, so the text is looked at only when
// the test fails, to give the first reason that applies.
inline void Command::checkRunnable() const {
  if (statement && statementHandle == connection.handle) {
    return;
  }
  if (commandText.empty()) {
    fail(detail::kTextNotAssigned);
  }
  if (!statement) {
    fail(detail::kStatementNull);
  }
  // A statement made on a handle that has been closed since runs nothing,
  // even while the engine still keeps that database for it.
  fail(detail::kNotOpen);
}

[[gnu::always_inline]] inline bool Command::stepStatement() {
  if (rebound != allParameters) {
    nullUnbound();
  }
  const int result = sqlite3_step(statement);
  rewound = false;
  if (result == SQLITE_DONE) {
    finished = true;
    return false;
  }
  finished = result != SQLITE_ROW;
  if (finished) {
    fail(connection, result);
  }
  return true;
}

// Inlined into every run of this file, above all executeNonQuery.
[[gnu::always_inline]] inline bool Command::step() {
  checkRunnable();
  return stepStatement();
}

bool Command::advance() {
  checkRunnable();
  return !finished && stepStatement();
}

void Command::nullUnbound() {
  // Right after the rewind the statement is not running, so the engine
  // takes each of these binds.
  for (int index = 1; index <= parameterCount; ++index) {
    if (!(rebound & (1ULL << (index - 1)))) {
      sqlite3_bind_null(statement, index);
    }
  }
  rebound = allParameters;
}

void Command::reset() {
  if (!statement) {
    return;
  }
  if (const int result = sqlite3_reset(statement); result != SQLITE_OK) {
    fail(connection, result);
  }
}

void Command::finalize() {
  if (!statement) {
    return;
  }
  const int result = sqlite3_finalize(statement);
  statement = nullptr;
  if (result != SQLITE_OK) {
    throw Exception(connection, result);
  }
}

void Command::execute() {
  eof = !step();
  fieldCount = sqlite3_column_count(statement);
}

void Command::moveNext() {
  eof = !advance();
}

int Command::executeNonQuery() {
  // The run leaves no current row, whatever it ends with.
  eof = true;
  // A statement that answers with rows (INSERT ... RETURNING, a query) is
  // run to its end too: stopped at a row it would keep its transaction and
  // lock, refuse the next values and leave the change count of an earlier
  // statement. A failed step throws and leaves the run for the rewind to
  // report.
  if (step()) {
    while (stepStatement()) {
    }
  }
  // Finished: rewound at once, so that the next values can be bound for
  // another run without a new text, and whatever runs next starts from the
  // first row. After a finished run the engine's rewind cannot fail.
  sqlite3_reset(statement);
  rewound = true;
  return sqlite3_changes(connection.handle);
}

bool Command::executeScalar(int& out) {
  if (!step()) {
    return false;
  }
  out = sqlite3_column_int(statement, 0);
  return true;
}

bool Command::executeScalar(double& out) {
  if (!step()) {
    return false;
  }
  out = sqlite3_column_double(statement, 0);
  return true;
}

bool Command::executeScalar(long long& out) {
  if (!step()) {
    return false;
  }
  out = sqlite3_column_int64(statement, 0);
  return true;
}

bool Command::executeScalar(std::string& out, bool wide) {
  if (!step()) {
    return false;
  }
  out = wide ? detail::text16(statement, 0) : detail::text(statement, 0);
  return true;
}

int Command::executeInt() {
  return step() ? sqlite3_column_int(statement, 0) : 0;
}

double Command::executeDouble() {
  return step() ? sqlite3_column_double(statement, 0) : 0.0;
}

long long Command::executeInt64() {
  return step() ? sqlite3_column_int64(statement, 0) : 0;
}

std::string Command::executeString(bool wide) {
  std::string out;
  executeScalar(out, wide);
  return out;
}

const DataReader Command::executeReader() {
  return DataReader(*this);
}

void Command::fill(DataTable& table) {
  table.assign(connection, commandText);
}

sqlite3_stmt* Command::bindTarget() const {
  if (!statement) {
    fail(detail::kStatementNull);
  }
  return statement;
}

void Command::checkBound(int index, int result) const {
  if (result != SQLITE_OK) {
    fail(connection, result);
  }
  // The engine took it, so 1 <= index <= parameterCount. Only a rewind by
  // setCommandText leaves values to be dropped; once every parameter is
  // bound again there is nothing to note.
  if (rebound != allParameters && index <= kTrackedParameters) {
    rebound |= 1ULL << (index - 1);
  }
}

Parameter Command::createParameter() {
  return Parameter(*this);
}

// Each binding reports what the engine refuses, as Parameter::set does: a
// value dropped silently would be stored as NULL by the next run.
void Command::appendParameter(int index) {
  checkBound(index, detail::bindNull(bindTarget(), index));
}

void Command::appendParameter(int index, const int& value) {
  checkBound(index, detail::bindInt(bindTarget(), index, value));
}

// long is 64-bit here; the 32-bit call would cut it.
void Command::appendParameter(int index, const long& value) {
  checkBound(index, detail::bindInt64(bindTarget(), index, value));
}

void Command::appendParameter(int index, const long long& value) {
  checkBound(index, detail::bindInt64(bindTarget(), index, value));
}

void Command::appendParameter(int index, const double& value) {
  checkBound(index, detail::bindDouble(bindTarget(), index, value));
}

void Command::appendParameter(int index, const std::string& value) {
  checkBound(index, detail::bindText(bindTarget(), index, value.data(), value.size()));
}

void Command::appendParameter(int index, const char* value) {
  checkBound(index, detail::bindText(bindTarget(), index, value));
}

void Command::appendParameter(int index, const std::wstring& value) {
  checkBound(index, detail::bindWideText(bindTarget(), index, value.c_str(), value.size()));
}

void Command::appendParameter(int index, const wchar_t* value) {
  checkBound(index, detail::bindWideText(bindTarget(), index, value));
}

void Command::appendParameter(int index, const char* data, int length) {
  checkBound(index, detail::bindBlob(bindTarget(), index, data, length));
}

void Command::appendParameter(int index, const void* data, int length) {
  checkBound(index, detail::bindBlob(bindTarget(), index, data, length));
}

}  // namespace sqliteprovider
