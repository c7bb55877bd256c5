#pragma once

#include <string>

#include "sqliteprovider/DataReader.h"
#include "sqliteprovider/DbType.h"
#include "sqliteprovider/Export.h"
#include "sqliteprovider/Parameter.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sqliteprovider {

class Connection;
class DataTable;

// One SQL statement on a connection, with a forward-only cursor over its
// rows, read through the getters of FieldAccess (DataReader.h). Only the
// first statement of a text is compiled. Column indexes count from 0,
// parameter indexes from 1. A statement compiled before its
// connection was closed runs no more ("Not open database connection.") until
// setCommandText compiles it again.
class SQLITEPROVIDER_EXPORT Command : public FieldAccess {
 public:
  explicit Command(const Connection& connection);
  // Compiles the text; throws "Not open database connection." on a closed
  // connection and the connection's Exception when the text does not compile.
  Command(const Connection& connection, const std::string& text);
  // Same connection and text, compiled anew: no bound values, at the start.
  Command(const Command& other);
  Command& operator=(const Command&) = delete;
  ~Command();

  // Rewinds the statement, then compiles the new text. The rewind reports a
  // failed earlier run once more: it throws and the command keeps its text
  // and statement. Values must be bound anew afterwards, even for the same
  // text.
  void setCommandText(const std::string& text);

  // Steps to the first row and captures the column count. Like every
  // operation that runs the command (executeNonQuery, the scalars), it
  // starts again from the first row once the rows have ended.
  void execute();
  // Past the last row it stays at the end (isEof() true) until the command
  // runs again or gets a new text.
  void moveNext();
  // Inline: a loop over the rows asks once a row.
  bool isEof() const { return eof; }
  // Runs the statement to its end, through any rows it answers with
  // (INSERT ... RETURNING), and gives the rows changed by the most recent
  // finished insert, update or delete on the connection. The finished run
  // is rewound at once, keeping its values: the loop of inserts binds the
  // next values and runs again without a new text, and any other run starts
  // from the first row. There is no current row afterwards (isEof() true).
  // A failed run is left as it is, for the rewind to report.
  int executeNonQuery();
  // Each steps once and reads column 0 of the row; without a row the
  // scalars give false and leave out alone, the others give 0 or "".
  bool executeScalar(int& out);
  bool executeScalar(double& out);
  bool executeScalar(long long& out);
  bool executeScalar(std::string& out, bool wide);
  int executeInt();
  double executeDouble();
  long long executeInt64();
  // The value as UTF-8, or with wide as UTF-16 bytes in machine order.
  std::string executeString(bool wide);
  // A reader on this command; no step is made.
  const DataReader executeReader();
  // Runs the text afresh into the table; statement, cursor and bound values
  // play no part.
  void fill(DataTable& table);

  Parameter createParameter();
  // Binding. What the engine refuses (a bad index, a value longer than its
  // limit, a running statement) throws the connection's Exception, a
  // command without a statement "The sqlite statement is null."; nothing is
  // bound then.
  void appendParameter(int index);  // NULL
  void appendParameter(int index, const int& value);
  void appendParameter(int index, const long& value);
  void appendParameter(int index, const long long& value);
  void appendParameter(int index, const double& value);
  void appendParameter(int index, const std::string& value);
  void appendParameter(int index, const char* value);
  // Wide text, stored as UTF-16.
  void appendParameter(int index, const std::wstring& value);
  void appendParameter(int index, const wchar_t* value);
  // A byte string of length bytes.
  void appendParameter(int index, const char* data, int length);
  void appendParameter(int index, const void* data, int length);

 private:
  void prepare();
  // Runs the statement one step: true for a row, false at the end. A
  // finished statement starts again from its first row.
  bool step();
  // Moves to the next row: as step, but past the end it stays there, without
  // asking the engine, until the statement runs again.
  bool advance();
  // The single place where the engine steps the statement.
  bool stepStatement();
  // Throws unless the command has a text and a statement of the
  // connection's current handle.
  void checkRunnable() const;
  void reset();
  // Releases the statement; the command holds none afterwards, even when
  // the engine reports the failure of the last run.
  void finalize();
  // The statement to bind to; "The sqlite statement is null." without one.
  sqlite3_stmt* bindTarget() const;
  // Throws the connection's Exception for a bind to index that the engine
  // refused (it has bound nothing then); notes a bind that it took.
  void checkBound(int index, int result) const;
  // Binds NULL to every parameter that was not bound since setCommandText
  // rewound the statement; all count as bound afterwards.
  void nullUnbound();

  friend class DataReader;
  friend class Parameter;

  bool eof = true;
  const Connection& connection;
  sqlite3_stmt* statement = nullptr;
  std::string commandText;
  // The last step reported no row or failed.
  bool finished = false;
  // The handle that compiled the statement: a statement of a handle closed
  // since is refused without asking the engine for every step.
  sqlite3* statementHandle = nullptr;
  int parameterCount = 0;
  // The statement is at its start with no failed run to report: a finished
  // executeNonQuery or setCommandText rewound it, and nothing ran since.
  bool rewound = false;
  // After setCommandText with the same text, the values of the run before
  // are dropped lazily: the parameters not bound again (bit i - 1 of
  // rebound clear) get NULL at the next step. The common loop binds every
  // parameter anew, and then the engine has nothing to clear at all.
  // Parameter binds through a const command, hence mutable.
  mutable unsigned long long rebound = 0;
  unsigned long long allParameters = 0;  // the bits of every parameter
};

}  // namespace sqliteprovider
