// Database files that are not what they should be: corrupt, cut short, not
// a database at all, or read-only. What open, queries and writes throw.
#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "DbTestSupport.h"
#include "support/WithoutPermissionOverride.h"
#ifndef _WIN32
#include "support/PrivateTmpfs.h"
#endif

namespace sqliteprovider::testing {
namespace {

constexpr int kRows = 2000;

std::string prefix(const std::string& file) { return "Exception: Connection[" + file + "]: "; }

// A database of several pages: the schema on the first, the rows of t on
// the others.
void createDatabase(const std::string& file) {
  Connection db(file);
  db.open();
  Command(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT)").executeNonQuery();
  Transaction transaction = db.beginTransaction();
  Command insert(db);
  for (int i = 0; i < kRows; ++i) {
    insert.setCommandText("INSERT INTO t(name) VALUES (?)");
    insert.appendParameter(1, "row number " + std::to_string(i));
    insert.executeNonQuery();
  }
  transaction.commit();
}

int pageSize(const std::string& file) {
  Connection db(file);
  db.open();
  return Command(db, "PRAGMA page_size").executeInt();
}

// Reads every row of t; the exception of the first failing step.
Exception scanFailure(const Connection& db) {
  return exceptionOf([&] {
    Command query(db, "SELECT id, name FROM t");
    for (query.execute(); !query.isEof(); query.moveNext()) {
    }
  });
}

class FileFaultTest : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string file = dir.file("data.db");
};

// Garbage where the rows were, behind a valid header and schema page.
TEST_F(FileFaultTest, CorruptPagesAreReportedAsMalformed) {
  createDatabase(file);
  const int page = pageSize(file);
  {
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(page);
    const std::string garbage(static_cast<std::size_t>(page) * 3, '\xA5');
    out.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    ASSERT_TRUE(out.good());
  }
  Connection db(file);
  ASSERT_NO_THROW(db.open());  // the engine reads nothing yet
  const Exception scan = scanFailure(db);
  EXPECT_EQ(scan.what(), prefix(file) + "database disk image is malformed");
  EXPECT_EQ(scan.errorCode(), SQLITE_CORRUPT);
  const Exception table = exceptionOf([&] { DataTable(db, "SELECT * FROM t"); });
  EXPECT_EQ(table.what(), prefix(file) + "database disk image is malformed");
  EXPECT_EQ(table.errorCode(), SQLITE_CORRUPT);
}

TEST_F(FileFaultTest, TruncatedDatabaseIsReportedAsMalformed) {
  createDatabase(file);
  std::filesystem::resize_file(file, static_cast<std::uintmax_t>(pageSize(file)) * 3);
  Connection db(file);
  db.open();
  const Exception scan = scanFailure(db);
  EXPECT_EQ(scan.what(), prefix(file) + "database disk image is malformed");
  EXPECT_EQ(scan.errorCode(), SQLITE_CORRUPT);
}

// Opening reads nothing; the first statement finds no database.
TEST_F(FileFaultTest, TextFileIsNotADatabase) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "This is a text file, line " + std::to_string(i) + ".\n";
  std::ofstream(file, std::ios::binary) << text;
  Connection db(file);
  ASSERT_NO_THROW(db.open());
  const std::function<void()> actions[] = {
      [&] { Command(db, "SELECT * FROM t"); },
      [&] { Command(db, "CREATE TABLE t(v)"); },
      [&] { DataTable(db, "SELECT 1 FROM sqlite_master"); },
  };
  for (const auto& action : actions) {
    const Exception refused = exceptionOf(action);
    EXPECT_EQ(refused.what(), prefix(file) + "file is not a database");
    EXPECT_EQ(refused.errorCode(), SQLITE_NOTADB);
  }
  db.close();
  // Nothing was written to it.
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), text);
}

// A database that may be read but not written. The connection always asks
// for reading and writing; where the file refuses writing the engine opens
// it for reading only, so open succeeds, queries work and the first write
// throws. Three ways to such a file:
//   - a file system mounted read-only, which refuses root too;
//   - a URI name with mode=ro, handed to the engine unchanged (the engine
//     reads URI names when it is built to, as Debian's is);
//   - a file without write permission, which stops every user, and root
//     too once it has given up its override of permission bits.
class ReadOnlyTest : public FileFaultTest {
 protected:
  ReadOnlyTest() { createDatabase(file); }

  // Opens name, reads and tries to write.
  static void expectReadOnly(const std::string& name) {
    Connection db(name);
    ASSERT_NO_THROW(db.open());
    EXPECT_EQ(Command(db, "SELECT count(*) FROM t").executeInt(), kRows);
    EXPECT_EQ(DataTable(db, "SELECT name FROM t WHERE id = 1").getFieldValue(0, 0), "row number 0");
    const Exception refused = exceptionOf([&] { Command(db, "INSERT INTO t(name) VALUES ('new')").executeNonQuery(); });
    EXPECT_EQ(refused.what(), prefix(name) + "attempt to write a readonly database");
    EXPECT_EQ(refused.errorCode(), SQLITE_READONLY);
    // In a transaction the refusal is the same, and the rollback works.
    Transaction transaction = db.beginTransaction();
    EXPECT_EQ(messageOf([&] { Command(db, "DELETE FROM t").executeNonQuery(); }),
              prefix(name) + "attempt to write a readonly database");
    EXPECT_NO_THROW(transaction.rollback());
    EXPECT_EQ(Command(db, "SELECT count(*) FROM t").executeInt(), kRows);
  }
};

#ifndef _WIN32
// Mount namespaces are Linux's own.
TEST_F(ReadOnlyTest, FileOnAReadOnlyFileSystem) {
  const std::string& unavailable = rdrconf::test::EnterPrivateMountNamespace();
  if (!unavailable.empty()) GTEST_SKIP() << "no private mount namespace: " << unavailable;
  std::filesystem::create_directory(dir.file("fs"));
  rdrconf::test::PrivateTmpfs fileSystem(dir.file("fs"), 4 * 1024 * 1024, 16);
  ASSERT_EQ(fileSystem.error(), "");
  const std::string onFs = dir.file("fs/data.db");
  std::filesystem::copy_file(file, onFs);
  ASSERT_TRUE(fileSystem.SetReadOnly(true)) << std::strerror(errno);

  expectReadOnly(onFs);
  // A database that does not exist yet cannot be made there.
  EXPECT_EQ(messageOf([&] { Connection(dir.file("fs/new.db")).open(); }), "Exception: Unable to open database.");
  EXPECT_FALSE(std::filesystem::exists(dir.file("fs/new.db")));
}
#endif

TEST_F(ReadOnlyTest, UriNameWithReadOnlyMode) {
  if (!sqlite3_compileoption_used("USE_URI")) GTEST_SKIP() << "the engine takes no URI names";
  expectReadOnly("file:" + file + "?mode=ro");
  // Read-only does not create.
  EXPECT_EQ(messageOf([&] { Connection("file:" + dir.file("new.db") + "?mode=ro").open(); }),
            "Exception: Unable to open database.");
}

TEST_F(ReadOnlyTest, FileWithoutWritePermission) {
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  const rdrconf::test::WithoutPermissionOverride bitsBind;
  ASSERT_EQ(bitsBind.error(), "");
  // Tried, not asked with access(): only wine run as root, whose Windows
  // programs cannot give up the override, opens the file all the same.
  if (std::FILE* const writable = std::fopen(file.c_str(), "r+b")) {
    std::fclose(writable);
    GTEST_SKIP() << "the missing write permission does not stop this process";
  }
  expectReadOnly(file);
}


}  // namespace
}  // namespace sqliteprovider::testing
