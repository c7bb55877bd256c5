#include "sqliteprovider/DataReader.h"

#include <sqlite3.h>

#include "sqliteprovider/Command.h"

namespace sqliteprovider {

// The reader reads wherever the command keeps its statement, so that it
// sees the statement go when any copy of it closes the command.
DataReader::DataReader(Command& command)
    : FieldAccess(&command.statement, sqlite3_column_count(command.statement)), command(command) {}

DataReader::~DataReader() {
  try {
    close();
  } catch (...) {
    // The release reports the failure of the last run, which read() has
    // already thrown; nothing may leave a destructor.
  }
}

bool DataReader::read() const {
  return command.advance();
}

void DataReader::close() {
  // The text goes first so that the command is empty even when the release
  // throws.
  command.commandText.clear();
  command.finalize();
}

}  // namespace sqliteprovider
