// Command: states, stepping, the scalar family, row access and its text.
#include <cstring>
#include <functional>
#include <memory>

#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

class CommandTest : public MemoryDbTest {
 protected:
  CommandTest() {
    run("INSERT INTO t VALUES (1, 'one', 1.5)");
    run("INSERT INTO t VALUES (2, 'two', 2.5)");
  }
};

TEST_F(CommandTest, SteppingNeedsTextAndStatement) {
  Command empty(db);
  Command commentOnly(db, "/* no statement */");
  Command emptied(db, "SELECT 1");
  emptied.setCommandText("");
  const std::function<void(Command&)> steps[] = {
      [](Command& c) { c.execute(); },       [](Command& c) { c.moveNext(); },
      [](Command& c) { c.executeNonQuery(); }, [](Command& c) { c.executeInt(); },
      [](Command& c) { c.executeString(false); },
  };
  for (const auto& step : steps) {
    EXPECT_EQ(messageOf([&] { step(empty); }), "Exception: The command text has not be assigned.");
    EXPECT_EQ(messageOf([&] { step(emptied); }), "Exception: The command text has not be assigned.");
    EXPECT_EQ(messageOf([&] { step(commentOnly); }), "Exception: The sqlite statement is null.");
  }
}

TEST_F(CommandTest, ExecuteAndMoveNextWalkTheRows) {
  Command query(db, "SELECT id, name FROM t ORDER BY id");
  EXPECT_TRUE(query.isEof());
  EXPECT_EQ(query.getFieldCount(), 0);
  query.execute();
  EXPECT_EQ(query.getFieldCount(), 2);
  std::vector<std::string> names;
  for (; !query.isEof(); query.moveNext()) {
    names.push_back(query.getString(1));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
}

// The engine starts a finished statement again when it is stepped once
// more; moving past the end must not.
TEST_F(CommandTest, MoveNextPastTheEndStaysThere) {
  Command query(db, "SELECT id FROM t ORDER BY id");
  query.execute();
  query.moveNext();
  query.moveNext();
  ASSERT_TRUE(query.isEof());
  for (int i = 0; i < 3; ++i) {
    query.moveNext();
    EXPECT_TRUE(query.isEof());
  }
  Command empty(db, "SELECT id FROM t WHERE id > 10");
  empty.execute();
  empty.moveNext();
  EXPECT_TRUE(empty.isEof());
}

// Running the command again, or a new text, starts from the first row.
TEST_F(CommandTest, RunningAgainAfterTheEndStartsFromTheFirstRow) {
  const std::function<int(Command&)> runs[] = {
      [](Command& c) { c.execute(); return c.getInt32(0); },
      [](Command& c) { return c.executeInt(); },
      [](Command& c) { long long out = 0; c.executeScalar(out); return static_cast<int>(out); },
      [](Command& c) { c.setCommandText("SELECT id FROM t ORDER BY id"); c.moveNext(); return c.getInt32(0); },
  };
  for (const auto& runAgain : runs) {
    Command query(db, "SELECT id FROM t ORDER BY id");
    for (query.execute(); !query.isEof(); query.moveNext()) {
    }
    query.moveNext();
    EXPECT_EQ(runAgain(query), 1);
  }
}

// A run that fails ends the rows as well: moving on does not start it again.
TEST_F(CommandTest, MoveNextAfterAFailedStepStaysAtTheEnd) {
  Command query(db, "SELECT abs(v) FROM (SELECT 1 AS v UNION ALL SELECT -9223372036854775807 - 1)");
  query.execute();
  ASSERT_FALSE(query.isEof());
  EXPECT_EQ(messageOf([&] { query.moveNext(); }), kMemoryPrefix + "integer overflow");
  query.moveNext();
  EXPECT_TRUE(query.isEof());
}

TEST_F(CommandTest, QueryWithoutRowsEndsAtOnceButCountsItsColumns) {
  Command query(db, "SELECT * FROM t WHERE id > 10");
  query.execute();
  EXPECT_TRUE(query.isEof());
  EXPECT_EQ(query.getFieldCount(), 3);
}

TEST_F(CommandTest, ColumnIndexesOutsideTheFieldCountAreRefused) {
  Command query(db, "SELECT id, name, score FROM t");
  const std::function<void(int)> getters[] = {
      [&](int i) { query.getFieldName(i); }, [&](int i) { query.getFieldDbType(i); },
      [&](int i) { query.getDataTypeName(i); }, [&](int i) { query.isDbNull(i); },
      [&](int i) { query.getInt32(i); },     [&](int i) { query.getInt64(i); },
      [&](int i) { query.getFloat(i); },     [&](int i) { query.getString(i); },
      [&](int i) { query.getString16(i); },  [&](int i) { delete[] query.getBlob(i); },
  };
  for (const auto& get : getters) {
    EXPECT_EQ(messageOf([&] { get(0); }), "Exception: Index out of range");  // before execute
  }
  query.execute();
  for (const auto& get : getters) {
    EXPECT_EQ(messageOf([&] { get(-1); }), "Exception: Index out of range");
    EXPECT_EQ(messageOf([&] { get(3); }), "Exception: Index out of range");
    EXPECT_NO_THROW(get(2));
  }
}

TEST_F(CommandTest, ExecuteNonQueryCountsTheChangedRows) {
  EXPECT_EQ(run("UPDATE t SET score = 0"), 2);
  EXPECT_EQ(run("DELETE FROM t WHERE id = 2"), 1);
}

TEST_F(CommandTest, ScalarsReadColumnZeroOfTheNextRow) {
  Command query(db, "SELECT id * 1000000000 + 0.25, name FROM t ORDER BY id");
  double real = 0;
  EXPECT_TRUE(query.executeScalar(real));
  EXPECT_EQ(real, 1000000000.25);
  long long wide = 0;
  EXPECT_TRUE(query.executeScalar(wide));
  EXPECT_EQ(wide, 2000000000);
  EXPECT_FALSE(query.executeScalar(wide));
  EXPECT_EQ(wide, 2000000000);

  Command ids(db, "SELECT id FROM t ORDER BY id");
  EXPECT_EQ(ids.executeInt(), 1);
  EXPECT_EQ(ids.executeInt(), 2);
  EXPECT_EQ(ids.executeInt(), 0);

  Command names(db, "SELECT name FROM t ORDER BY id");
  std::string text;
  EXPECT_TRUE(names.executeScalar(text, false));
  EXPECT_EQ(text, "one");
  EXPECT_TRUE(names.executeScalar(text, true));
  EXPECT_EQ(text, std::string("t\0w\0o\0", 6));
}

TEST_F(CommandTest, ScalarsWithoutARowLeaveTheirDefaults) {
  Command none(db, "SELECT id FROM t WHERE id > 10");
  int number = 7;
  double real = 7.5;
  long long wide = 7;
  std::string text = "kept";
  EXPECT_FALSE(none.executeScalar(number));
  EXPECT_FALSE(none.executeScalar(real));
  EXPECT_FALSE(none.executeScalar(wide));
  EXPECT_FALSE(none.executeScalar(text, false));
  EXPECT_EQ(number, 7);
  EXPECT_EQ(real, 7.5);
  EXPECT_EQ(wide, 7);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(none.executeInt(), 0);
  EXPECT_EQ(none.executeDouble(), 0.0);
  EXPECT_EQ(none.executeInt64(), 0);
  EXPECT_EQ(none.executeString(false), "");
  EXPECT_EQ(none.executeString(true), "");
}

TEST_F(CommandTest, OnlyTheFirstStatementOfATextRuns) {
  EXPECT_EQ(run("INSERT INTO t(id) VALUES (3); INSERT INTO t(id) VALUES (4)"), 1);
  EXPECT_EQ(count(), 3);
}

TEST_F(CommandTest, CopyCompilesItsOwnStatementWithoutValues) {
  Command original(db, "SELECT ?");
  original.appendParameter(1, 5);
  original.execute();
  Command copy(original);
  EXPECT_TRUE(copy.isEof());
  EXPECT_EQ(copy.getFieldCount(), 0);
  copy.execute();
  EXPECT_TRUE(copy.isDbNull(0));
  EXPECT_EQ(original.getInt32(0), 5);
}

// The copy reads its own statement, which outlives the original.
TEST_F(CommandTest, CopyReadsItsOwnStatementAfterTheOriginalIsGone) {
  auto original = std::make_unique<Command>(db, "SELECT name FROM t ORDER BY id");
  original->execute();
  Command copy(*original);
  original.reset();
  copy.execute();
  EXPECT_EQ(copy.getString(0), "one");
  EXPECT_EQ(copy.getFieldCount(), 1);
}

// One value of each storage class, read through every getter.
struct ValueCase {
  const char* expression;
  DbType type;
  long long integer;
  double real;
  std::string utf8;
  std::size_t utf16Bytes;
};

TEST_F(CommandTest, GettersReadEveryStorageClassAsTheEngineConvertsIt) {
  const ValueCase cases[] = {
      {"NULL", DbNull, 0, 0.0, "", 0},
      {"42", DbInteger, 42, 42.0, "42", 4},
      {"-5000000000", DbInteger, -5000000000LL, -5e9, "-5000000000", 22},
      {"2.5", DbFloat, 2, 2.5, "2.5", 6},
      {"'abc'", DbText, 0, 0.0, "abc", 6},
      {"'\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E'", DbText, 0, 0.0, "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E", 8},
      {"x'610062'", DbBlob, 0, 0.0, std::string("a\0b", 3), 6},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.expression);
    Command query(db, std::string("SELECT ") + c.expression + " AS v");
    query.execute();
    EXPECT_EQ(query.getFieldName(0), "v");
    EXPECT_EQ(query.getDataTypeName(0), "");  // an expression has no declared type
    EXPECT_EQ(query.getFieldDbType(0), c.type);
    EXPECT_EQ(query.isDbNull(0), c.type == DbNull);
    EXPECT_EQ(query.getInt64(0), c.integer);
    if (c.integer == static_cast<int>(c.integer)) {
      EXPECT_EQ(query.getInt32(0), c.integer);
    }
    EXPECT_EQ(query.getFloat(0), c.real);
    EXPECT_EQ(query.getString(0), c.utf8);
    const std::unique_ptr<char[]> blob(query.getBlob(0));
    EXPECT_EQ(std::string(blob.get(), c.utf8.size() + 1), c.utf8 + '\0');
    // A value read in one form is converted in place by the engine, so the
    // wide form is read from a fresh run.
    Command wide(query);
    wide.execute();
    EXPECT_EQ(wide.getString16(0).size(), c.utf16Bytes);
  }
}

TEST_F(CommandTest, DataTypeNameIsTheDeclaredColumnType) {
  Command query(db, "SELECT id, name, score FROM t");
  query.execute();
  EXPECT_EQ(query.getDataTypeName(0), "INTEGER");
  EXPECT_EQ(query.getDataTypeName(1), "TEXT");
  EXPECT_EQ(query.getDataTypeName(2), "REAL");
  EXPECT_EQ(query.getFieldName(2), "score");
}

TEST_F(CommandTest, CompileFailureCarriesTheEnginesMessage) {
  EXPECT_EQ(messageOf([&] { Command(db, "SELECT * FROM missing"); }), kMemoryPrefix + "no such table: missing");
  Command command(db, "SELECT 1");
  EXPECT_EQ(messageOf([&] { command.setCommandText("SELECT * FROM missing"); }),
            kMemoryPrefix + "no such table: missing");
}

TEST_F(CommandTest, FailedStepCarriesTheRealCause) {
  run("CREATE TABLE u(v UNIQUE)");
  run("INSERT INTO u VALUES (1)");
  EXPECT_EQ(messageOf([&] { run("INSERT INTO u VALUES (1)"); }), kMemoryPrefix + "UNIQUE constraint failed: u.v");
}

TEST_F(CommandTest, StatementSurvivesASchemaChange) {
  Command query(db, "SELECT count(*) FROM t");
  run("CREATE TABLE other(v)");
  EXPECT_EQ(query.executeInt(), 2);
}

TEST_F(CommandTest, NewTextLeavesCursorStateAndNeedsValuesAnew) {
  for (const std::string next : {"SELECT ?", "SELECT ?, 2"}) {
    SCOPED_TRACE(next);
    Command query(db, "SELECT ?");
    query.appendParameter(1, 7);
    query.execute();
    query.setCommandText(next);
    EXPECT_FALSE(query.isEof());
    EXPECT_EQ(query.getFieldCount(), 1);
    query.execute();
    EXPECT_TRUE(query.isDbNull(0));
  }
}

// Rerunning the same text keeps no value of the run before: the parameters
// that are not bound anew read as NULL, as after a fresh compile, through
// every way to bind and every way to run.
TEST_F(CommandTest, SameTextAgainKeepsOnlyTheValuesBoundAnew) {
  for (int parameters : {4, 70}) {  // a few, and more than fit a 64-bit mask
    SCOPED_TRACE(parameters);
    std::string text = "SELECT ?1";
    for (int i = 2; i <= parameters; ++i) text += ", ?" + std::to_string(i);
    Command query(db, text);
    for (int i = 1; i <= parameters; ++i) query.appendParameter(i, i);
    query.execute();
    ASSERT_EQ(query.getInt32(parameters - 1), parameters);
    for (const bool throughReader : {false, true}) {
      query.setCommandText(text);
      query.appendParameter(2, 20);
      query.createParameter().set(3, 30);
      if (throughReader) {
        DataReader reader(query);
        ASSERT_TRUE(reader.read());
        EXPECT_TRUE(reader.isDbNull(0));
        EXPECT_EQ(reader.getInt32(1), 20);
        EXPECT_EQ(reader.getInt32(2), 30);
        EXPECT_TRUE(reader.isDbNull(parameters - 1));
        reader.close();
        query.setCommandText(text);
      } else {
        query.execute();
        EXPECT_TRUE(query.isDbNull(0));
        EXPECT_EQ(query.getInt32(1), 20);
        EXPECT_EQ(query.getInt32(2), 30);
        EXPECT_TRUE(query.isDbNull(parameters - 1));
      }
    }
  }
}

TEST_F(CommandTest, SameTextAgainForInsertsStoresNullForValuesNotBoundAnew) {
  Command insert(db);
  for (int id = 10; id < 13; ++id) {
    insert.setCommandText("INSERT INTO t(id, name, score) VALUES (?, ?, ?)");
    insert.appendParameter(1, id);
    if (id == 10) {
      insert.appendParameter(2, std::string("first"));
      insert.appendParameter(3, 0.5);
    }
    EXPECT_EQ(insert.executeNonQuery(), 1);
  }
  EXPECT_EQ(Command(db, "SELECT count(*) FROM t WHERE id > 10 AND name IS NULL AND score IS NULL").executeInt(), 2);
}

// A finished run takes the next values without a new text, and keeps the
// values that are not bound again. A failed run is not rewound behind the
// caller's back: the rewind reports its failure.
TEST_F(CommandTest, AFinishedNonQueryTakesTheNextValuesWithoutANewText) {
  run("CREATE TABLE u(v UNIQUE, w)");
  Command insert(db, "INSERT INTO u VALUES (?, ?)");
  insert.appendParameter(1, 1);
  insert.appendParameter(2, std::string("kept"));
  EXPECT_EQ(insert.executeNonQuery(), 1);
  insert.appendParameter(1, 2);
  EXPECT_EQ(insert.executeNonQuery(), 1);
  EXPECT_EQ(Command(db, "SELECT group_concat(v || w, ',') FROM u").executeString(false), "1kept,2kept");

  insert.appendParameter(1, 1);
  EXPECT_EQ(messageOf([&] { insert.executeNonQuery(); }), kMemoryPrefix + "UNIQUE constraint failed: u.v");
  EXPECT_EQ(messageOf([&] { insert.appendParameter(1, 3); }), kMemoryPrefix + "bad parameter or other API misuse");
  EXPECT_EQ(messageOf([&] { insert.setCommandText("INSERT INTO u VALUES (?, ?)"); }),
            kMemoryPrefix + "UNIQUE constraint failed: u.v");
  insert.setCommandText("INSERT INTO u VALUES (?, ?)");
  insert.appendParameter(1, 3);
  EXPECT_EQ(insert.executeNonQuery(), 1);
  EXPECT_EQ(Command(db, "SELECT count(*) FROM u WHERE v = 3 AND w IS NULL").executeInt(), 1);
}

// A statement that answers with rows runs to its end as well: stopped at
// its first row, an INSERT ... RETURNING would keep its write transaction
// open, refuse the next values and report a stale change count.
TEST_F(CommandTest, NonQueryRunsAStatementThatReturnsRowsToItsEnd) {
  run("CREATE TABLE u(v)");
  Command insert(db, "INSERT INTO u VALUES (?), (? + 1) RETURNING v");
  for (const int first : {10, 20}) {
    insert.appendParameter(1, first);
    insert.appendParameter(2, first);
    EXPECT_EQ(insert.executeNonQuery(), 2);
  }
  EXPECT_EQ(Command(db, "SELECT group_concat(v, ',') FROM u").executeString(false), "10,11,20,21");
  // A row after the first that fails is the run's failure, reported once
  // more by the rewind.
  Command failing(db, "SELECT abs(v) FROM (SELECT 1 AS v UNION ALL SELECT -9223372036854775807 - 1)");
  EXPECT_EQ(messageOf([&] { failing.executeNonQuery(); }), kMemoryPrefix + "integer overflow");
  EXPECT_EQ(messageOf([&] { failing.setCommandText("SELECT 5"); }), kMemoryPrefix + "integer overflow");
  EXPECT_NO_THROW(failing.setCommandText("SELECT 5"));
}

// executeNonQuery leaves no current row, and whatever runs next starts from
// the first row: a query, or the insert again.
TEST_F(CommandTest, RunAfterANonQueryStartsFromTheFirstRow) {
  Command query(db, "SELECT id FROM t ORDER BY id");
  query.execute();
  query.executeNonQuery();
  EXPECT_TRUE(query.isEof());
  query.execute();
  EXPECT_EQ(query.getInt32(0), 1);
  query.executeNonQuery();
  EXPECT_EQ(query.executeInt(), 1);

  Command insert(db, "INSERT INTO t(id) VALUES (10), (11) RETURNING id");
  EXPECT_EQ(insert.executeNonQuery(), 2);
  EXPECT_EQ(messageOf([&] { insert.execute(); }), kMemoryPrefix + "UNIQUE constraint failed: t.id");
  EXPECT_EQ(count(), 4);
}

// The rewind reports a failed run once, whether the text is the same or not.
TEST_F(CommandTest, RewindReportsAFailedRunOnce) {
  run("CREATE TABLE u(v UNIQUE)");
  run("INSERT INTO u VALUES (1)");
  for (const std::string next : {"INSERT INTO u VALUES (?)", "SELECT 5"}) {
    SCOPED_TRACE(next);
    Command insert(db, "INSERT INTO u VALUES (?)");
    insert.appendParameter(1, 1);
    EXPECT_THROW(insert.executeNonQuery(), Exception);
    EXPECT_EQ(messageOf([&] { insert.setCommandText(next); }), kMemoryPrefix + "UNIQUE constraint failed: u.v");
    EXPECT_NO_THROW(insert.setCommandText(next));
    if (next == "SELECT 5") {
      EXPECT_EQ(insert.executeInt(), 5);
    } else {
      insert.appendParameter(1, 2);
      EXPECT_EQ(insert.executeNonQuery(), 1);
    }
  }
}

TEST_F(CommandTest, ThrowingRewindKeepsTextAndStatement) {
  run("CREATE TABLE u(v UNIQUE)");
  run("INSERT INTO u VALUES (1)");
  Command insert(db, "INSERT INTO u VALUES (?)");
  insert.appendParameter(1, 1);
  EXPECT_THROW(insert.executeNonQuery(), Exception);
  EXPECT_THROW(insert.setCommandText("SELECT 5"), Exception);
  // Still the insert, with its value.
  EXPECT_EQ(messageOf([&] { insert.executeNonQuery(); }), kMemoryPrefix + "UNIQUE constraint failed: u.v");
}

TEST_F(CommandTest, StatementFromBeforeAReopenRunsOnlyOnceCompiledAnew) {
  Command query(db, "SELECT count(*) FROM t");
  db.close();
  db.open();
  run("CREATE TABLE t(v)");
  run("INSERT INTO t VALUES (1)");
  EXPECT_EQ(messageOf([&] { query.executeInt(); }), "Exception: Not open database connection.");
  query.setCommandText("SELECT count(*) FROM t");
  EXPECT_EQ(query.executeInt(), 1);
}

TEST_F(CommandTest, DestroyingACommandAfterAFailedRunThrowsNothing) {
  run("CREATE TABLE u(v UNIQUE)");
  run("INSERT INTO u VALUES (1)");
  {
    Command insert(db, "INSERT INTO u VALUES (1)");
    EXPECT_THROW(insert.executeNonQuery(), Exception);
  }
  EXPECT_EQ(count("u"), 1);
}

}  // namespace
}  // namespace sqliteprovider::testing
