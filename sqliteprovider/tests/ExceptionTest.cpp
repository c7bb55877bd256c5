// Exception: the message forms, the engine's codes, and texts that name the
// real cause of a failure.
#include <sqlite3.h>

#include <functional>

#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

TEST(ExceptionTest, TextMessageSurvivesCopyAssignmentAndTheBaseClass) {
  const Exception original("some text");
  const Exception copy(original);
  Exception assigned("other text");
  assigned = original;
  const std::exception& base = original;

  for (const char* what : {original.what(), copy.what(), assigned.what(), base.what()}) {
    EXPECT_STREQ(what, "Exception: some text");
  }
}

TEST(ExceptionTest, EveryFixedTextIsThrownWithThePrefix) {
  TempDir dir;
  Connection db(":memory:");
  db.open();
  struct Case {
    const char* message;
    std::function<void()> action;
  };
  const Case cases[] = {
      {"Exception: The command text has not be assigned.", [&] { Command(db).execute(); }},
      {"Exception: The sqlite statement is null.", [&] { Command(db, "-- nothing but a comment").execute(); }},
      {"Exception: Index out of range", [&] { Command(db, "SELECT 1").getInt32(0); }},
      {"Exception: Unable to open database.", [&] { Connection(dir.file("missing/db.sqlite")).open(); }},
      {"Exception: Not open database connection.", [&] { Connection().setBusyTimeout(10); }},
      {"Exception: Index out of range.", [&] { DataTable().getFieldName(0); }},
      {"Exception: The transaction has already ended.",
       [&] {
         Transaction transaction = db.beginTransaction();
         transaction.commit();
         transaction.commit();
       }},
      {"Exception: The parameter has been assigned.",
       [&] {
         Command command(db, "SELECT ?");
         Parameter parameter = command.createParameter();
         parameter.set(1);
         parameter.set(1);
       }},
  };
  for (const Case& c : cases) {
    try {
      c.action();
      ADD_FAILURE() << "nothing thrown, expected " << c.message;
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), c.message);
      const auto* exception = dynamic_cast<const Exception*>(&e);
      ASSERT_NE(exception, nullptr) << c.message;
      // The library's own texts carry no engine code.
      EXPECT_EQ(exception->errorCode(), -1) << c.message;
      EXPECT_EQ(exception->extendedErrorCode(), -1) << c.message;
    }
  }
}

TEST(ExceptionTest, ConnectionMessageNamesTheFileAndTheEnginesText) {
  Connection named(":memory:");
  Connection unnamed;
  named.open();
  unnamed.open();
  EXPECT_EQ(messageOf([&] { Command(named, "SELEC 1"); }),
            kMemoryPrefix + "near \"SELEC\": syntax error");
  EXPECT_EQ(messageOf([&] { Command(unnamed, "SELEC 1"); }),
            "Exception: Connection[]: near \"SELEC\": syntax error");
  // A closed connection has no handle; the engine still gives a text for it.
  const Exception closed{Connection("x.db")};
  EXPECT_EQ(closed.what(), std::string("Exception: Connection[x.db]: ") + sqlite3_errmsg(nullptr));
  EXPECT_EQ(closed.errorCode(), sqlite3_errcode(nullptr));
}

TEST(ExceptionTest, ConnectionFormCarriesTheEnginesCodes) {
  Connection db(":memory:");
  db.open();
  const Exception syntax = exceptionOf([&] { Command(db, "SELEC 1"); });
  EXPECT_EQ(syntax.errorCode(), SQLITE_ERROR);
  EXPECT_EQ(syntax.extendedErrorCode(), SQLITE_ERROR);

  Command(db, "CREATE TABLE u(v UNIQUE)").executeNonQuery();
  Command(db, "INSERT INTO u VALUES (1)").executeNonQuery();
  const Exception unique = exceptionOf([&] { Command(db, "INSERT INTO u VALUES (1)").executeNonQuery(); });
  EXPECT_STREQ(unique.what(), "Exception: Connection[:memory:]: UNIQUE constraint failed: u.v");
  EXPECT_EQ(unique.errorCode(), SQLITE_CONSTRAINT);
  EXPECT_EQ(unique.extendedErrorCode(), SQLITE_CONSTRAINT_UNIQUE);

  // Copies keep the codes.
  Exception assigned("other");
  assigned = unique;
  for (const Exception& copy : {Exception(unique), assigned}) {
    EXPECT_EQ(copy.errorCode(), SQLITE_CONSTRAINT);
    EXPECT_EQ(copy.extendedErrorCode(), SQLITE_CONSTRAINT_UNIQUE);
  }
}

// Each of these once carried a text of another failure: the engine's
// message for the handle's last call, which had succeeded ("not an error"),
// or the engine's text for a null handle ("out of memory").
class ErrorTextTest : public MemoryDbTest {
 protected:
  void makeFailedInsert(Command& insert) {
    run("CREATE TABLE u(v UNIQUE)");
    run("INSERT INTO u VALUES (1)");
    insert.setCommandText("INSERT INTO u VALUES (1)");
    EXPECT_THROW(insert.executeNonQuery(), Exception);
  }
};

TEST_F(ErrorTextTest, SecondTransactionNamesTheRunningOne) {
  Transaction first = db.beginTransaction();
  const Exception refused = exceptionOf([&] { db.beginTransaction(); });
  EXPECT_EQ(refused.what(), kMemoryPrefix + "cannot start a transaction within a transaction");
  EXPECT_EQ(refused.errorCode(), SQLITE_ERROR);
  first.commit();
}

TEST_F(ErrorTextTest, BindingWithoutAStatementSaysSo) {
  Command empty(db);
  Command commentOnly(db, "-- no statement");
  for (Command* command : {&empty, &commentOnly}) {
    EXPECT_EQ(messageOf([&] { command->createParameter().set(1, 1); }), "Exception: The sqlite statement is null.");
  }
}

TEST_F(ErrorTextTest, NewTextOnAClosedConnectionAfterAFailedRunSaysItIsClosed) {
  Command insert(db);
  makeFailedInsert(insert);
  db.close();
  EXPECT_EQ(messageOf([&] { insert.setCommandText("SELECT 1"); }), "Exception: Not open database connection.");
}

// The failure belongs to a handle that is gone: the new text compiles on the
// new one.
TEST_F(ErrorTextTest, NewTextAfterAFailedRunAndAReopenCompilesAnew) {
  Command insert(db);
  makeFailedInsert(insert);
  db.close();
  db.open();
  ASSERT_NO_THROW(insert.setCommandText("SELECT 5"));
  EXPECT_EQ(insert.executeInt(), 5);
}

// A call that the engine refuses without recording an error on the handle:
// the text is the engine's own for the code it returned.
TEST_F(ErrorTextTest, RefusalWithoutAMessageOnTheHandleNamesItsCode) {
  Command query(db, "SELECT ?");
  const char blob[] = {'a'};
  const Exception refused = exceptionOf([&] { query.createParameter().set(1, blob, -1); });
  EXPECT_EQ(refused.what(), kMemoryPrefix + "bad parameter or other API misuse");
  EXPECT_EQ(refused.errorCode(), SQLITE_MISUSE);
  EXPECT_EQ(refused.extendedErrorCode(), SQLITE_MISUSE);
}

}  // namespace
}  // namespace sqliteprovider::testing
