// Transaction: begin, commit, rollback and the state shared through the
// connection.
#include <memory>

#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

const std::string kEnded = "Exception: The transaction has already ended.";

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
  EXPECT_EQ(messageOf([&] { transaction.commit(); }), kEnded);
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

// A Transaction that has finished (committed, rolled back, ended by its
// copy or by closing the connection) never acts on a transaction begun
// after it on the same connection.
class StaleTransactionTest : public TransactionTest {
 protected:
  // A transaction, and how it came to an end.
  struct Ending {
    const char* name;
    void (*end)(Connection& db, std::unique_ptr<Transaction>& transaction);
  };
  static const Ending kEndings[];

  // An empty table and a transaction that has ended the given way.
  std::unique_ptr<Transaction> finished(const Ending& ending) {
    run("DELETE FROM t");
    std::unique_ptr<Transaction> transaction(new Transaction(db.beginTransaction()));  // no copy
    ending.end(db, transaction);
    return transaction;
  }
};

const StaleTransactionTest::Ending StaleTransactionTest::kEndings[] = {
    {"commit", [](Connection&, std::unique_ptr<Transaction>& t) { t->commit(); }},
    {"rollback", [](Connection&, std::unique_ptr<Transaction>& t) { t->rollback(); }},
    {"copy destroyed",
     [](Connection&, std::unique_ptr<Transaction>& t) { const Transaction copy(*t); }},
    {"close and reopen",
     [](Connection& db, std::unique_ptr<Transaction>&) {
       db.close();
       db.open();
       Command(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, score REAL)").executeNonQuery();
     }},
};

TEST_F(StaleTransactionTest, DestroyingAFinishedOneLeavesTheNewerOneAlone) {
  for (const Ending& ending : kEndings) {
    SCOPED_TRACE(ending.name);
    std::unique_ptr<Transaction> stale = finished(ending);
    Transaction newer = db.beginTransaction();
    insert();
    insert();
    stale.reset();
    EXPECT_TRUE(active());
    insert();
    EXPECT_NO_THROW(newer.commit());
    EXPECT_EQ(count(), 3);
  }
}

TEST_F(StaleTransactionTest, CommitAndRollbackThroughAFinishedOneAreRefused) {
  for (const Ending& ending : kEndings) {
    SCOPED_TRACE(ending.name);
    std::unique_ptr<Transaction> stale = finished(ending);
    EXPECT_EQ(messageOf([&] { stale->commit(); }), kEnded);
    EXPECT_EQ(messageOf([&] { stale->rollback(); }), kEnded);

    Transaction newer = db.beginTransaction();
    insert();
    EXPECT_EQ(messageOf([&] { stale->commit(); }), kEnded);
    EXPECT_EQ(messageOf([&] { stale->rollback(); }), kEnded);
    EXPECT_TRUE(active());
    insert();
    newer.commit();
    EXPECT_EQ(count(), 2);
  }
}

// Copies of one active transaction still share it; once it has ended
// through one of them, the other is finished too.
TEST_F(StaleTransactionTest, CopiesOfAFinishedOneAreFinishedToo) {
  Transaction first = db.beginTransaction();
  auto copy = std::make_unique<Transaction>(first);
  insert();
  first.commit();
  Transaction newer = db.beginTransaction();
  insert();
  copy.reset();
  EXPECT_EQ(messageOf([&] { first.rollback(); }), kEnded);
  newer.commit();
  EXPECT_EQ(count(), 2);
}

}  // namespace
}  // namespace sqliteprovider::testing
