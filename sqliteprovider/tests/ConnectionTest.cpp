// Connection: opening and closing, its state, the busy timeout.
#include <chrono>
#include <functional>
#include <thread>
#include <type_traits>

#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

// Nothing may leave these destructors.
static_assert(std::is_nothrow_destructible_v<Connection>);
static_assert(std::is_nothrow_destructible_v<Command>);
static_assert(std::is_nothrow_destructible_v<DataReader>);
static_assert(std::is_nothrow_destructible_v<Transaction>);

TEST(ConnectionTest, DefaultConnectionOpensAPrivateTemporaryDatabase) {
  Connection db;
  db.open();
  ASSERT_TRUE(db.isOpened());
  Command(db, "CREATE TABLE t(v)").executeNonQuery();
  EXPECT_EQ(Command(db, "INSERT INTO t VALUES (1)").executeNonQuery(), 1);
}

TEST(ConnectionTest, OpenAndCloseFollowTheHandleAndKeepTheFile) {
  TempDir dir;
  Connection db(dir.file("data.db"));
  EXPECT_FALSE(db.isOpened());
  db.open();
  EXPECT_TRUE(db.isOpened());
  Command(db, "CREATE TABLE t(v)").executeNonQuery();
  db.close();
  EXPECT_FALSE(db.isOpened());
  db.close();
  EXPECT_FALSE(db.isOpened());
  db.open();
  EXPECT_EQ(Command(db, "SELECT count(*) FROM t").executeInt(), 0);
}

TEST(ConnectionTest, OperationsOnAClosedConnectionAreRefused) {
  Connection db(":memory:");
  db.open();
  Command command(db, "SELECT 1");
  db.close();
  const std::function<void()> actions[] = {
      [&] { db.setBusyTimeout(100); },
      [&] { Command(db, "SELECT 1"); },
      [&] { Command(db).setCommandText("SELECT 1"); },
      [&] { command.execute(); },
      [&] { db.beginTransaction(); },
      [&] { DataTable(db, "SELECT 1"); },
  };
  for (const auto& action : actions) {
    EXPECT_EQ(messageOf(action), "Exception: Not open database connection.");
  }
}

TEST(ConnectionTest, BusyTimeoutIsSetOnOpenAndChangeable) {
  Connection db(":memory:");
  db.open();
  Command timeout(db, "PRAGMA busy_timeout");
  EXPECT_EQ(timeout.executeInt(), 3000);
  db.setBusyTimeout(250);
  timeout.setCommandText("PRAGMA busy_timeout");
  EXPECT_EQ(timeout.executeInt(), 250);
  db.setBusyTimeout(-5);
  timeout.setCommandText("PRAGMA busy_timeout");
  EXPECT_EQ(timeout.executeInt(), 0);
}

class LockTest : public ::testing::Test {
 protected:
  LockTest() {
    holder.open();
    waiter.open();
    Command(holder, "CREATE TABLE t(v)").executeNonQuery();
  }
  TempDir dir;
  Connection holder{dir.file("shared.db")};
  Connection waiter{dir.file("shared.db")};
};

TEST_F(LockTest, WithoutBusyTimeoutALockedDatabaseFailsAtOnce) {
  Transaction lock = holder.beginTransaction();
  Command(holder, "INSERT INTO t VALUES (1)").executeNonQuery();
  waiter.setBusyTimeout(0);
  EXPECT_EQ(messageOf([&] { Command(waiter, "INSERT INTO t VALUES (2)").executeNonQuery(); }),
            "Exception: Connection[" + dir.file("shared.db") + "]: database is locked");
}

// A non-query ends its run even when the statement answers with rows: a
// run stopped at a row holds its lock (a write transaction for an
// INSERT ... RETURNING, a read lock for a query) until it is stepped again.
TEST_F(LockTest, NonQueryThatReturnsRowsLeavesNoLockBehind) {
  Command(holder, "INSERT INTO t VALUES (0)").executeNonQuery();
  waiter.setBusyTimeout(0);
  for (const std::string text : {"INSERT INTO t VALUES (1) RETURNING v", "SELECT v FROM t"}) {
    SCOPED_TRACE(text);
    Command command(holder, text);
    command.executeNonQuery();
    EXPECT_NO_THROW(Command(waiter, "INSERT INTO t VALUES (2)").executeNonQuery());
  }
  EXPECT_EQ(Command(waiter, "SELECT count(*) FROM t").executeInt(), 4);
}

TEST_F(LockTest, OpenedConnectionWaitsForALockThatIsReleased) {
  Transaction lock = holder.beginTransaction();
  Command(holder, "INSERT INTO t VALUES (1)").executeNonQuery();
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    lock.commit();
  });
  // Without a busy timeout this fails at once with "database is locked".
  EXPECT_NO_THROW(Command(waiter, "INSERT INTO t VALUES (2)").executeNonQuery());
  release.join();
  EXPECT_EQ(Command(waiter, "SELECT count(*) FROM t").executeInt(), 2);
}

TEST(ConnectionStateTest, FailedOpenLeavesTheConnectionClosed) {
  TempDir dir;
  Connection db(dir.file("missing/db.sqlite"));
  EXPECT_THROW(db.open(), Exception);
  EXPECT_FALSE(db.isOpened());
  EXPECT_EQ(messageOf([&] { db.setBusyTimeout(1); }), "Exception: Not open database connection.");
}

TEST(ConnectionStateTest, OpenOnAnOpenConnectionKeepsItsDatabase) {
  Connection db(":memory:");
  db.open();
  Command(db, "CREATE TABLE kept(v)").executeNonQuery();
  db.open();
  EXPECT_EQ(Command(db, "SELECT count(*) FROM kept").executeInt(), 0);
}

TEST(ConnectionStateTest, CloseEndsTheTransaction) {
  TempDir dir;
  Connection db(dir.file("data.db"));
  db.open();
  Command(db, "CREATE TABLE t(v)").executeNonQuery();
  {
    Transaction open = db.beginTransaction();
    Command(db, "INSERT INTO t VALUES (1)").executeNonQuery();
    db.close();
  }
  db.open();
  EXPECT_NO_THROW(db.beginTransaction().commit());
  EXPECT_EQ(Command(db, "SELECT count(*) FROM t").executeInt(), 0);
}

TEST_F(LockTest, CloseWithALiveStatementReleasesTheDatabaseWithIt) {
  {
    Transaction open = holder.beginTransaction();
    Command insert(holder, "INSERT INTO t VALUES (1)");
    insert.executeNonQuery();
    holder.close();
    // A closed connection runs nothing, even through a statement it made.
    EXPECT_EQ(messageOf([&] { insert.executeNonQuery(); }), "Exception: Not open database connection.");
  }
  waiter.setBusyTimeout(0);
  EXPECT_NO_THROW(Command(waiter, "INSERT INTO t VALUES (2)").executeNonQuery());
  EXPECT_EQ(Command(waiter, "SELECT count(*) FROM t").executeInt(), 1);
}

}  // namespace
}  // namespace sqliteprovider::testing
