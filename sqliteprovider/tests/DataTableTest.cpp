// DataTable: whole results as text cells.
#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

class DataTableTest : public MemoryDbTest {
 protected:
  DataTableTest() {
    run("INSERT INTO t VALUES (1, 'one', 1.5)");
    run("INSERT INTO t VALUES (2, NULL, 2.5)");
  }

  static void expectEmpty(const DataTable& table) {
    EXPECT_EQ(table.rows(), 0);
    EXPECT_EQ(table.columns(), 0);
    EXPECT_EQ(messageOf([&] { table.getFieldName(0); }), "Exception: Index out of range.");
    EXPECT_EQ(messageOf([&] { table.getFieldValue(0, 0); }), "Exception: Index out of range.");
  }
};

TEST_F(DataTableTest, HoldsNamesAndValuesAsText) {
  const DataTable table(db, "SELECT id, name, score FROM t ORDER BY id");
  EXPECT_EQ(table.rows(), 2);
  EXPECT_EQ(table.columns(), 3);
  EXPECT_EQ(table.getFieldName(2), "score");
  EXPECT_EQ(table.getFieldValue(0, 0), "1");
  EXPECT_EQ(table.getFieldValue(0, 1), "one");
  EXPECT_EQ(table.getFieldValue(1, 1), "NULL");
  EXPECT_EQ(table.getFieldValue(1, 2), "2.5");
}

TEST_F(DataTableTest, CellsOutsideTheTableAreRefused) {
  const DataTable table(db, "SELECT id, name, score FROM t");
  for (auto [row, column] : {std::pair{2, 0}, {-1, 0}, {0, 3}, {0, -1}}) {
    EXPECT_EQ(messageOf([&] { table.getFieldValue(row, column); }), "Exception: Index out of range.");
  }
  EXPECT_EQ(messageOf([&] { table.getFieldName(3); }), "Exception: Index out of range.");
  EXPECT_EQ(messageOf([&] { table.getFieldName(-1); }), "Exception: Index out of range.");
}

// NULL reads like the stored text "NULL"; a byte string ends at its first
// zero byte.
TEST_F(DataTableTest, ValuesReadInTheEnginesTextForm) {
  const DataTable table(db, "SELECT NULL, 'NULL', x'610062', 7, 0.5");
  EXPECT_EQ(table.getFieldValue(0, 0), "NULL");
  EXPECT_EQ(table.getFieldValue(0, 1), "NULL");
  EXPECT_EQ(table.getFieldValue(0, 2), "a");
  EXPECT_EQ(table.getFieldValue(0, 3), "7");
  EXPECT_EQ(table.getFieldValue(0, 4), "0.5");
}

TEST_F(DataTableTest, QueryWithoutRowsGivesAnEmptyTable) {
  expectEmpty(DataTable(db, "SELECT * FROM t WHERE id > 10"));
  expectEmpty(DataTable());
}

TEST_F(DataTableTest, AssignReplacesTheWholeResult) {
  DataTable table(db, "SELECT id, name, score FROM t");
  table.assign(db, "SELECT 'x'");
  EXPECT_EQ(table.rows(), 1);
  EXPECT_EQ(table.columns(), 1);
  EXPECT_EQ(table.getFieldValue(0, 0), "x");
}

TEST_F(DataTableTest, EveryStatementOfTheTextAddsItsRows) {
  const DataTable table(db, "SELECT 1, 2; SELECT 3, 4");
  EXPECT_EQ(table.rows(), 2);
  EXPECT_EQ(table.getFieldValue(1, 1), "4");
  EXPECT_THROW(DataTable(db, "SELECT 1, 2; SELECT 3"), Exception);
}

TEST_F(DataTableTest, FailedAssignLeavesNoCells) {
  DataTable table(db, "SELECT id FROM t");
  EXPECT_EQ(messageOf([&] { table.assign(db, "SELECT * FROM missing"); }), kMemoryPrefix + "no such table: missing");
  expectEmpty(table);
}

TEST_F(DataTableTest, CopiesAreIndependentValues) {
  auto original = std::make_unique<DataTable>(db, "SELECT name FROM t ORDER BY id");
  const DataTable copy(*original);
  DataTable assigned;
  assigned = *original;
  original->assign(db, "SELECT 'other', 'columns'");
  EXPECT_EQ(copy.getFieldValue(0, 0), "one");
  original.reset();
  EXPECT_EQ(copy.rows(), 2);
  EXPECT_EQ(assigned.getFieldValue(0, 0), "one");
}

TEST_F(DataTableTest, FillRunsTheCommandTextAfreshAndLeavesItsCursor) {
  Command query(db, "SELECT id FROM t ORDER BY id");
  query.execute();
  DataTable table;
  query.fill(table);
  EXPECT_EQ(table.rows(), 2);
  query.moveNext();
  EXPECT_EQ(query.getInt32(0), 2);
}

}  // namespace
}  // namespace sqliteprovider::testing
