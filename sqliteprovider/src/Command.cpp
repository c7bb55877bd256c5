#include "sqliteprovider/Command.h"

#include <sqlite3.h>

#include "Engine.h"
#include "sqliteprovider/Connection.h"
#include "sqliteprovider/DataTable.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

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
  if (statement && statementHandle != connection.handle) {
    // Made on a handle that has been closed since: a failure that its rewind
    // would report happened there, and the text is compiled anew anyway.
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  reset();
  // Running the same text again is the common loop of inserts: rewinding
  // and dropping the values gives what a fresh compile would, without it.
  if (statement && text == commandText) {
    finished = false;
    if (parameterCount > kTrackedParameters) {
      sqlite3_clear_bindings(statement);
    } else {
      dropOldValues = parameterCount > 0;
      rebound = 0;
    }
    return;
  }
  finalize();
  commandText = text;
  prepare();
}

void Command::prepare() {
  finished = false;
  dropOldValues = false;
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
}

void Command::checkRunnable() const {
  if (commandText.empty()) {
    throw Exception(detail::kTextNotAssigned);
  }
  if (!statement) {
    throw Exception(detail::kStatementNull);
  }
  // A statement made on a handle that has been closed since runs nothing,
  // even while the engine still keeps that database for it.
  if (statementHandle != connection.handle) {
    throw Exception(detail::kNotOpen);
  }
}

bool Command::step() {
  checkRunnable();
  return stepStatement();
}

bool Command::advance() {
  checkRunnable();
  return !finished && stepStatement();
}

bool Command::stepStatement() {
  if (dropOldValues) {
    nullUnbound();
  }
  switch (const int result = sqlite3_step(statement)) {
    case SQLITE_ROW:
      finished = false;
      return true;
    case SQLITE_DONE:
      finished = true;
      return false;
    default:
      finished = true;
      throw Exception(connection, result);
  }
}

void Command::nullUnbound() {
  dropOldValues = false;
  if (rebound == allParameters) {
    return;
  }
  // Right after the rewind the statement is not running, so the engine
  // takes each of these binds.
  for (int index = 1; index <= parameterCount; ++index) {
    if (!(rebound & (1ULL << (index - 1)))) {
      sqlite3_bind_null(statement, index);
    }
  }
}

void Command::reset() {
  if (!statement) {
    return;
  }
  if (const int result = sqlite3_reset(statement); result != SQLITE_OK) {
    throw Exception(connection, result);
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
  step();
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
    throw Exception(detail::kStatementNull);
  }
  return statement;
}

void Command::checkBound(int index, int result) const {
  if (result != SQLITE_OK) {
    throw Exception(connection, result);
  }
  // The engine took it, so 1 <= index <= parameterCount.
  if (index <= kTrackedParameters) {
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
