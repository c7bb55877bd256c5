// Transaction: begin, commit, rollback and the state shared through the
// connection.
#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

class TransactionTest : public MemoryDbTest {
 protected:
  void insert() { run("INSERT INTO t(name) VALUES ('row')"); }
  // The connection refuses a new transaction while one is active.
  bool active() {
    try {
      db.beginTransaction().rollback();
      return false;
    } catch (const Exception&) {
      return true;
    }
  }
};

TEST_F(TransactionTest, CommitKeepsTheWorkAndEndsTheTransaction) {
  {
    Transaction transaction = db.beginTransaction();
    insert();
    EXPECT_TRUE(active());
    transaction.commit();
    EXPECT_FALSE(active());
  }
  EXPECT_EQ(count(), 1);
}

TEST_F(TransactionTest, RollbackAndDestructionDiscardTheWork) {
  {
    Transaction transaction = db.beginTransaction();
    insert();
    transaction.rollback();
    EXPECT_FALSE(active());
  }
  {
    Transaction transaction = db.beginTransaction();
    insert();
  }
  EXPECT_FALSE(active());
  EXPECT_EQ(count(), 0);
}

TEST_F(TransactionTest, SecondTransactionIsRefusedAndTheFirstGoesOn) {
  Transaction first = db.beginTransaction();
  insert();
  EXPECT_EQ(messageOf([&] { db.beginTransaction(); }).rfind(kMemoryPrefix, 0), 0u);
  insert();
  first.commit();
  EXPECT_EQ(count(), 2);
}

TEST_F(TransactionTest, FirstCopyDestroyedRollsBackForBoth) {
  Transaction transaction = db.beginTransaction();
  {
    const Transaction copy(transaction);
    insert();
  }
  EXPECT_EQ(count(), 0);
  EXPECT_EQ(messageOf([&] { transaction.commit(); }), kMemoryPrefix + "cannot commit - no transaction is active");
}

TEST_F(TransactionTest, RefusedCommitLeavesTheTransactionActive) {
  run("PRAGMA foreign_keys = ON");
  run("CREATE TABLE child(parent INTEGER REFERENCES t(id) DEFERRABLE INITIALLY DEFERRED)");
  Transaction transaction = db.beginTransaction();
  run("INSERT INTO child VALUES (99)");
  EXPECT_EQ(messageOf([&] { transaction.commit(); }), kMemoryPrefix + "FOREIGN KEY constraint failed");
  EXPECT_TRUE(active());
  transaction.rollback();
  EXPECT_EQ(count("child"), 0);
}

TEST_F(TransactionTest, RefusedBeginLeavesNoTransaction) {
  run("BEGIN");
  EXPECT_EQ(messageOf([&] { db.beginTransaction(); }),
            kMemoryPrefix + "cannot start a transaction within a transaction");
  run("COMMIT");
  EXPECT_FALSE(active());
}

TEST_F(TransactionTest, RefusedRollbackThrowsAndFollowsTheEngine) {
  {
    Transaction transaction = db.beginTransaction();
    insert();
    run("COMMIT");  // behind the transaction's back
  }  // the destructor's rollback is refused and dropped
  EXPECT_EQ(count(), 1);
  // The engine has no transaction left, so neither has the connection: a
  // stale flag would refuse every later transaction.
  EXPECT_FALSE(active());

  Transaction transaction = db.beginTransaction();
  run("COMMIT");
  EXPECT_EQ(messageOf([&] { transaction.rollback(); }),
            kMemoryPrefix + "cannot rollback - no transaction is active");
  EXPECT_FALSE(active());
}

}  // namespace
}  // namespace sqliteprovider::testing
