// DataReader: reading rows and leaving its command empty.
#include <memory>

#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

class DataReaderTest : public MemoryDbTest {
 protected:
  DataReaderTest() {
    run("INSERT INTO t VALUES (1, 'one', 1.5)");
    run("INSERT INTO t VALUES (2, NULL, NULL)");
  }
  void makeFailingInsert() {
    run("CREATE TABLE u(v UNIQUE)");
    run("INSERT INTO u VALUES (1)");
    failing.setCommandText("INSERT INTO u VALUES (1)");
  }
  Command query{db, "SELECT id, name, score FROM t ORDER BY id"};
  Command failing{db};
};

TEST_F(DataReaderTest, ReadsEveryRowThroughItsGetters) {
  const DataReader reader = query.executeReader();
  EXPECT_EQ(reader.getFieldCount(), 3);
  ASSERT_TRUE(reader.read());
  EXPECT_EQ(reader.getFieldName(1), "name");
  EXPECT_EQ(reader.getDataTypeName(2), "REAL");
  EXPECT_EQ(reader.getFieldDbType(0), DbInteger);
  EXPECT_EQ(reader.getInt32(0), 1);
  EXPECT_EQ(reader.getInt64(0), 1);
  EXPECT_EQ(reader.getFloat(2), 1.5);
  EXPECT_EQ(reader.getString(1), "one");
  EXPECT_EQ(std::unique_ptr<char[]>(reader.getBlob(1)).get(), std::string("one"));
  EXPECT_EQ(reader.getString16(1), std::string("o\0n\0e\0", 6));
  EXPECT_FALSE(reader.isDbNull(1));
  ASSERT_TRUE(reader.read());
  EXPECT_TRUE(reader.isDbNull(1));
  EXPECT_EQ(reader.getFieldDbType(2), DbNull);
  EXPECT_FALSE(reader.read());
  EXPECT_EQ(reader.getFieldCount(), 3);
}

TEST_F(DataReaderTest, ReadPastTheEndStaysThereUntilTheCommandRunsAgain) {
  const DataReader reader = query.executeReader();
  ASSERT_TRUE(reader.read());
  ASSERT_TRUE(reader.read());
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(reader.read());
  }
  query.execute();
  EXPECT_EQ(reader.getInt32(0), 1);
  EXPECT_TRUE(reader.read());
  EXPECT_EQ(reader.getInt32(0), 2);
}

TEST_F(DataReaderTest, WithoutACurrentRowEveryValueIsNull) {
  const DataReader reader = query.executeReader();
  EXPECT_TRUE(reader.isDbNull(0));
  EXPECT_EQ(reader.getInt32(0), 0);
  EXPECT_EQ(reader.getString(1), "");
  while (reader.read()) {
  }
  EXPECT_TRUE(reader.isDbNull(0));
  EXPECT_EQ(std::unique_ptr<char[]>(reader.getBlob(1))[0], '\0');
}

TEST_F(DataReaderTest, ColumnIndexesOutsideTheFieldCountAreRefused) {
  const DataReader reader = query.executeReader();
  reader.read();
  for (int index : {-1, 3}) {
    EXPECT_EQ(messageOf([&] { reader.getInt32(index); }), "Exception: Index out of range");
    EXPECT_EQ(messageOf([&] { reader.getFieldName(index); }), "Exception: Index out of range");
  }
  Command empty(db);
  const DataReader none = empty.executeReader();
  EXPECT_EQ(none.getFieldCount(), 0);
  EXPECT_EQ(messageOf([&] { none.getString(0); }), "Exception: Index out of range");
}

// A copy reads where the command keeps its statement: the row that any of
// them stepped to, through the command's getters too.
TEST_F(DataReaderTest, CopiesReadTheCommandsCurrentRow) {
  const DataReader reader = query.executeReader();
  const DataReader copy = reader;
  ASSERT_TRUE(reader.read());
  ASSERT_TRUE(copy.read());
  EXPECT_EQ(reader.getInt32(0), 2);
  EXPECT_EQ(copy.getInt32(0), 2);
  EXPECT_EQ(copy.getFieldCount(), 3);
}

TEST_F(DataReaderTest, DestroyingTheReaderEmptiesTheCommand) {
  { const DataReader reader = query.executeReader(); }
  EXPECT_EQ(messageOf([&] { query.execute(); }), "Exception: The command text has not be assigned.");
  query.setCommandText("SELECT count(*) FROM t");
  EXPECT_EQ(query.executeInt(), 2);
}

TEST_F(DataReaderTest, ClosingOneCopyEmptiesTheCommandForAll) {
  DataReader reader = query.executeReader();
  const DataReader copy = reader;
  ASSERT_TRUE(copy.read());
  reader.close();
  EXPECT_EQ(messageOf([&] { copy.read(); }), "Exception: The command text has not be assigned.");
  EXPECT_EQ(messageOf([&] { query.moveNext(); }), "Exception: The command text has not be assigned.");
}

TEST_F(DataReaderTest, CloseReportsTheFailedRunAndStillEmptiesTheCommand) {
  makeFailingInsert();
  DataReader reader = failing.executeReader();
  EXPECT_EQ(messageOf([&] { reader.read(); }), kMemoryPrefix + "UNIQUE constraint failed: u.v");
  EXPECT_EQ(messageOf([&] { reader.close(); }), kMemoryPrefix + "UNIQUE constraint failed: u.v");
  EXPECT_EQ(messageOf([&] { failing.execute(); }), "Exception: The command text has not be assigned.");
}

TEST_F(DataReaderTest, DestroyingTheReaderAfterAFailedRunThrowsNothing) {
  makeFailingInsert();
  {
    const DataReader reader = failing.executeReader();
    EXPECT_THROW(reader.read(), Exception);
  }
  EXPECT_EQ(messageOf([&] { failing.execute(); }), "Exception: The command text has not be assigned.");
}

}  // namespace
}  // namespace sqliteprovider::testing
