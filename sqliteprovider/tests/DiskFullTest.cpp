// A database that runs out of space: the exception of the statement that
// fails, the work that survives it, and the connection's state afterwards.
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "DbTestSupport.h"
#include "support/PrivateTmpfs.h"

namespace sqliteprovider::testing {
namespace {

using Rows = std::vector<std::string>;

// Far more than a page: such a value needs new pages of its own.
constexpr int kTooBig = 64 * 1024;

void run(const Connection& db, const std::string& sql) { Command(db, sql).executeNonQuery(); }

void createTable(const Connection& db) {
  run(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, payload BLOB)");
}

// A small row, which fits into the pages the table already has.
void insertSmall(const Connection& db, const std::string& name) {
  run(db, "INSERT INTO t(name, payload) VALUES ('" + name + "', zeroblob(8))");
}

void insertCommitted(const Connection& db, const std::string& name) {
  Transaction transaction = db.beginTransaction();
  insertSmall(db, name);
  transaction.commit();
}

// Each row as "name/payload size", in the order of insertion.
Rows rows(const Connection& db) {
  const DataTable table(db, "SELECT name || '/' || length(payload) FROM t ORDER BY id");
  Rows result;
  for (int row = 0; row < table.rows(); ++row) result.push_back(table.getFieldValue(row, 0));
  return result;
}

std::string fullMessage(const std::string& file) {
  return "Exception: Connection[" + file + "]: database or disk is full";
}

// A statement that needs more room than the database has. After a one-row
// INSERT the engine gives the whole transaction up by itself; after a
// statement that may change many rows it undoes only that statement, and the
// transaction goes on.
struct Overflow {
  const char* name;
  void (*run)(const Connection& db);
};

void PrintTo(const Overflow& overflow, std::ostream* out) { *out << overflow.name; }

const Overflow kOverflows[] = {
    {"BoundInsert",
     [](const Connection& db) {
       const std::string payload(kTooBig, 'p');
       Command insert(db, "INSERT INTO t(name, payload) VALUES ('big', ?)");
       insert.appendParameter(1, payload.data(), kTooBig);
       insert.executeNonQuery();
     }},
    {"UpdateThroughExecuteNonQuery",
     [](const Connection& db) {
       run(db, "UPDATE t SET payload = zeroblob(" + std::to_string(kTooBig) + ")");
     }},
    {"InsertSelectThroughDataTable",
     [](const Connection& db) {
       DataTable(db, "INSERT INTO t(name, payload) SELECT 'big', zeroblob(" +
                         std::to_string(kTooBig) + ")");
     }},
};

// A database file whose page count may not grow: one committed row, room
// for small rows, none for anything bigger.
class DiskFullTest : public ::testing::TestWithParam<Overflow> {
 protected:
  DiskFullTest() {
    db.open();
    createTable(db);
    insertSmall(db, "kept");
    run(db, "PRAGMA max_page_count = " + std::to_string(Command(db, "PRAGMA page_count").executeInt()));
  }

  void reopen() {
    db.close();
    db.open();
  }

  TempDir dir;
  const std::string file = dir.file("data.db");
  Connection db{file};
};

TEST_P(DiskFullTest, InsideATransactionAllItsWorkIsUndone) {
  {
    Transaction transaction = db.beginTransaction();
    insertSmall(db, "pending");
    EXPECT_EQ(messageOf([&] { GetParam().run(db); }), fullMessage(file));
  }
  EXPECT_EQ(rows(db), Rows{"kept/8"});
  EXPECT_NO_THROW(insertCommitted(db, "after"));

  reopen();
  EXPECT_EQ(rows(db), (Rows{"kept/8", "after/8"}));
}

TEST_P(DiskFullTest, InAutocommitModeTheStatementIsUndone) {
  EXPECT_EQ(messageOf([&] { GetParam().run(db); }), fullMessage(file));
  EXPECT_EQ(rows(db), Rows{"kept/8"});
  EXPECT_NO_THROW(insertCommitted(db, "after"));

  reopen();
  EXPECT_EQ(rows(db), (Rows{"kept/8", "after/8"}));
}

INSTANTIATE_TEST_SUITE_P(Statements, DiskFullTest, ::testing::ValuesIn(kOverflows),
                         [](const ::testing::TestParamInfo<Overflow>& info) {
                           return std::string(info.param.name);
                         });

// A file system that is really full. The engine keeps the new pages in
// memory until the commit, which cannot write them: the commit fails, and
// the engine rolls the transaction back by itself.
TEST(FullFileSystemTest, FailedCommitLeavesTheCommittedRowsAndTheConnectionUsable) {
  const std::string& unavailable = rdrconf::test::EnterPrivateMountNamespace();
  if (!unavailable.empty()) GTEST_SKIP() << "no private mount namespace: " << unavailable;
  TempDir dir;
  std::filesystem::create_directory(dir.file("fs"));
  const rdrconf::test::PrivateTmpfs fileSystem(dir.file("fs"), 256 * 1024, 16);
  ASSERT_EQ(fileSystem.error(), "");
  const std::string file = dir.file("fs/data.db");
  Connection db(file);
  db.open();
  createTable(db);
  insertSmall(db, "kept");
  {
    Transaction transaction = db.beginTransaction();
    insertSmall(db, "pending");
    run(db, "INSERT INTO t(name, payload) VALUES ('big', zeroblob(512 * 1024))");
    EXPECT_EQ(messageOf([&] { transaction.commit(); }), fullMessage(file));
    // There is nothing left to roll back, and the rollback says so, yet the
    // transaction ends for the connection too.
    EXPECT_EQ(messageOf([&] { transaction.rollback(); }),
              "Exception: Connection[" + file + "]: cannot rollback - no transaction is active");
  }
  EXPECT_EQ(rows(db), Rows{"kept/8"});
  EXPECT_NO_THROW(insertCommitted(db, "after"));

  db.close();
  db.open();
  EXPECT_EQ(rows(db), (Rows{"kept/8", "after/8"}));
}

}  // namespace
}  // namespace sqliteprovider::testing
