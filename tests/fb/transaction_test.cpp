#include "fb/transaction.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <chrono>
#include <future>
#include <thread>

#include "fb/error.h"
#include "fb_test_db.h"
#include "platform/error.h"
#include "value_print.h"

namespace et::fb::test {
namespace {

class TransactionTest : public DatabaseTest {
 protected:
  void SetUp() override { Exec({"CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER)"}); }

  // Rows of T as the latest committed data shows them.
  Value Count() { return Scalar("SELECT COUNT(*) FROM T"); }
};

struct ModeCase {
  const char* name;
  TransactionOptions options;
  int isolation_mode;  // MON$ISOLATION_MODE
  int lock_timeout;    // MON$LOCK_TIMEOUT: -1 wait, 0 no wait
};

TEST_F(TransactionTest, OptionsBecomeTheParameterBlockTheEngineSees) {
  const std::vector<ModeCase> cases = {
      // No parameter block: the server's defaults, snapshot and wait.
      {"server defaults", TransactionOptions::ServerDefaults(), 1, -1},
      {"snapshot preset", TransactionOptions::Snapshot(), 1, 0},
      {"read committed preset", TransactionOptions::ReadCommitted(), 2, -1},
      {"default-constructed", TransactionOptions{}, 1, -1},
      {"read committed, no record version, no wait",
       {.isolation = Isolation::kReadCommitted,
        .record_version = false,
        .lock = LockResolution::kNoWait},
       3,
       0},
      {"consistency, wait", {.isolation = Isolation::kConsistency}, 0, -1},
      {"wait at most 7 seconds", {.lock_timeout_seconds = 7}, 1, 7},
      {"a timeout means nothing without waiting",
       {.lock = LockResolution::kNoWait, .lock_timeout_seconds = 7},
       1,
       0},
      // The other fields do not matter once there is no parameter block.
      {"server defaults over other fields",
       {.server_defaults = true,
        .isolation = Isolation::kConsistency,
        .lock = LockResolution::kNoWait},
       1,
       -1},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    Transaction t(db_, c.options);
    Statement s(db_, t,
                "SELECT MON$ISOLATION_MODE, MON$LOCK_TIMEOUT FROM MON$TRANSACTIONS "
                "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION");
    s.Execute(t);
    ASSERT_TRUE(s.HasRow());
    EXPECT_EQ(s.Field(0), Int(c.isolation_mode));
    EXPECT_EQ(s.Field(1), Int(c.lock_timeout));
  }
}

TEST_F(TransactionTest, NotAttachedRaises) {
  Attachment none;
  EXPECT_THROW(Transaction(none, TransactionOptions::ServerDefaults()), ProgrammingError);
}

TEST_F(TransactionTest, ReadOnlyAccessIsHonoured) {
  TransactionOptions options = TransactionOptions::ReadCommitted();
  options.access = AccessMode::kReadOnly;
  Transaction t(db_, options);
  Statement s(db_, t, "INSERT INTO T (ID) VALUES (1)");
  try {
    s.Execute(t);
    ADD_FAILURE() << "a read-only transaction wrote";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
  }
}

TEST_F(TransactionTest, CommitEndsAndMakesTheWorkVisible) {
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement insert(db_, t, "INSERT INTO T (ID) VALUES (1)");
  insert.Execute(t);
  EXPECT_EQ(Count(), Int(0));
  t.Commit();
  EXPECT_FALSE(t.IsActive());
  EXPECT_EQ(Count(), Int(1));
  // Using an ended transaction is a fault of the program.
  try {
    t.Commit();
    ADD_FAILURE() << "committed twice";
  } catch (const ProgrammingError& e) {
    EXPECT_STREQ(e.what(), "The transaction is not active");
  }
  EXPECT_THROW(t.Rollback(), ProgrammingError);
  EXPECT_THROW(insert.Execute(t), ProgrammingError);
  EXPECT_THROW(Statement(db_, t, "SELECT 1 FROM RDB$DATABASE"), ProgrammingError);
}

// A statement is prepared once and runs in whichever transaction each
// Execute names; its cursor belongs to that transaction.
TEST_F(TransactionTest, AStatementRunsInTheTransactionOfEachExecute) {
  Exec({"INSERT INTO T (ID) VALUES (1)", "INSERT INTO T (ID) VALUES (2)"});
  auto first = std::make_unique<Transaction>(db_, TransactionOptions::ServerDefaults());
  Statement insert(db_, *first, "INSERT INTO T (ID) VALUES (:ID)");
  Statement ids(db_, *first, "SELECT LIST(ID) FROM (SELECT ID FROM T ORDER BY ID)");
  insert.Set("ID", Int(3));
  insert.Execute(*first);
  ids.Execute(*first);
  EXPECT_EQ(ids.Field(0), Text("1,2,3"));
  ids.Close();
  first->Rollback();
  first.reset();  // the transaction the statements were prepared in is gone

  Transaction second(db_, TransactionOptions::ServerDefaults());
  ids.Execute(second);
  EXPECT_EQ(ids.Field(0), Text("1,2"));  // the first one's work was undone
  insert.Set("ID", Int(4));
  insert.Execute(second);
  // Snapshots of their own: one transaction does not see the other's work.
  Transaction third(db_, TransactionOptions::Snapshot());
  ids.Execute(third);
  EXPECT_EQ(ids.Field(0), Text("1,2"));
  ids.Execute(second);
  EXPECT_EQ(ids.Field(0), Text("1,2,4"));
  ids.Close();
  second.Commit();
  EXPECT_EQ(Count(), Int(3));
}

TEST_F(TransactionTest, AnActiveTransactionIsRolledBackWhenItDies) {
  {
    Transaction t(db_, TransactionOptions::Snapshot());
    Statement(db_, t, "INSERT INTO T (ID) VALUES (1)").Execute(t);
  }
  EXPECT_EQ(Count(), Int(0));
  // Its locks are gone too: a no-wait transaction writes the same key.
  Transaction t(db_, TransactionOptions::Snapshot());
  Statement(db_, t, "INSERT INTO T (ID) VALUES (1)").Execute(t);
  t.Commit();
  EXPECT_EQ(Count(), Int(1));
}

TEST_F(TransactionTest, MovedTransactionKeepsWorking) {
  Transaction a(db_, TransactionOptions::ServerDefaults());
  Statement(db_, a, "INSERT INTO T (ID) VALUES (1)").Execute(a);
  Transaction b = std::move(a);
  EXPECT_FALSE(a.IsActive());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_TRUE(b.IsActive());
  Transaction c(db_, TransactionOptions::ServerDefaults());
  Statement(db_, c, "INSERT INTO T (ID) VALUES (2)").Execute(c);
  c = std::move(b);  // c's own work is rolled back
  c.Commit();
  EXPECT_EQ(Scalar("SELECT LIST(ID) FROM T"), Text("1"));
}

TEST_F(TransactionTest, LockConflictUnderNowaitFailsAtOnceWithItsCode) {
  Exec({"INSERT INTO T (ID, V) VALUES (1, 0)"});
  Attachment other = Attachment::Attach(path_, kUser, kPassword);
  Transaction holder(other, TransactionOptions::Snapshot());
  Statement(other, holder, "UPDATE T SET V = 1 WHERE ID = 1").Execute(holder);

  // A waiting transaction would block here until `holder` ends.
  Transaction t(db_, TransactionOptions::Snapshot());
  Statement update(db_, t, "UPDATE T SET V = 2 WHERE ID = 1");
  try {
    update.Execute(t);
    ADD_FAILURE() << "no lock conflict";
  } catch (const DatabaseError& e) {
    // "deadlock / update conflicts with concurrent update", at once.
    EXPECT_NE(std::string(e.what()).find("update conflicts with concurrent update"),
              std::string::npos)
        << e.what();
    EXPECT_EQ(e.Code(), isc_deadlock) << e.what();
    EXPECT_EQ(e.SqlState(), "40001") << e.what();  // serialization failure
    EXPECT_TRUE(e.IsLockConflict()) << e.Code();
    EXPECT_FALSE(e.IsTableReservedElsewhere()) << e.Code();
  }
}

// A table reserved for protected write: the start waits for (or, without
// waiting, fails on) a transaction that has written the table; once started,
// others read the table but cannot write it.
TEST_F(TransactionTest, ProtectedWriteReservationExcludesOtherWriters) {
  using Clock = std::chrono::steady_clock;
  Exec({"INSERT INTO T (ID, V) VALUES (1, 0)"});
  const TransactionOptions reserving_no_wait = {.lock = LockResolution::kNoWait,
                                                .protected_write_tables = {"T"}};
  Attachment other = Attachment::Attach(path_, kUser, kPassword);
  {
    Transaction writer(other, TransactionOptions::Snapshot());
    Statement(other, writer, "UPDATE T SET V = 1 WHERE ID = 1").Execute(writer);
    for (const TransactionOptions& options :
         {reserving_no_wait,
          TransactionOptions{.lock_timeout_seconds = 1, .protected_write_tables = {"T"}}}) {
      try {
        Transaction reserving(db_, options);
        ADD_FAILURE() << "reserved while another transaction has written the table";
      } catch (const DatabaseError& e) {
        // No wait: a lock conflict at once; a wait: a time-out (the engine
        // counts the wait in whole seconds of its clock).
        EXPECT_TRUE(options.lock == LockResolution::kNoWait ? e.IsLockConflict()
                                                            : e.Code() == isc_lock_timeout)
            << e.what();
      }
    }
    // A waiting start goes on once the writer has ended.
    std::promise<void> waiting;
    std::thread ender([&] {
      waiting.get_future().wait();
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      writer.Commit();
    });
    const auto started = Clock::now();
    waiting.set_value();
    try {
      Transaction reserving(db_, {.lock_timeout_seconds = 30, .protected_write_tables = {"T"}});
    } catch (const DatabaseError& e) {
      ADD_FAILURE() << e.what();
    }
    ender.join();
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(400));
  }

  Transaction reserving(db_, reserving_no_wait);
  Transaction reader(other, TransactionOptions::Snapshot());
  Statement read(other, reader, "SELECT V FROM T WHERE ID = 1", ParamMode::kNone);
  read.Execute(reader);
  EXPECT_EQ(read.Field(0), Int(1));
  try {
    Statement(other, reader, "INSERT INTO T (ID, V) VALUES (2, 2)", ParamMode::kNone)
        .Execute(reader);
    ADD_FAILURE() << "written while the table was reserved";
  } catch (const DatabaseError& e) {
    EXPECT_TRUE(e.IsLockConflict()) << e.what();
    EXPECT_TRUE(e.IsTableReservedElsewhere()) << e.what();
  }
}

TEST_F(TransactionTest, TheAttachmentMayMoveWhileItsTransactionsLive) {
  Attachment moved;  // outlives the transactions and the statement below
  auto first = std::make_unique<Attachment>(Attachment::Attach(path_, kUser, kPassword));
  Transaction t(*first, TransactionOptions::ReadCommitted());
  Transaction open(*first, TransactionOptions::ServerDefaults());
  Statement insert(*first, t, "INSERT INTO T (ID) VALUES (:ID)");
  moved = std::move(*first);
  first.reset();  // the object the transactions were started on is gone

  insert.Set("ID", Int(1));
  insert.Execute(t);
  Statement(moved, t, "INSERT INTO T (ID) VALUES (2)").Execute(t);
  t.Commit();
  EXPECT_EQ(Count(), Int(2));

  Statement(moved, open, "INSERT INTO T (ID) VALUES (3)").Execute(open);
  open.Rollback();
  EXPECT_EQ(Count(), Int(2));
}

// What outlives what is the caller's to keep; debug builds assert it where
// it is broken, release builds keep no bookkeeping for it.
TEST_F(TransactionTest, BrokenLifetimesAreAssertedInDebugBuilds) {
#ifdef NDEBUG
  GTEST_SKIP() << "the lifetime checks are compiled into debug builds only";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Exec({"INSERT INTO T (ID) VALUES (1)", "INSERT INTO T (ID) VALUES (2)"});
  EXPECT_DEATH(
      {
        Transaction t(db_, TransactionOptions::ServerDefaults());
        db_.Detach();
      },
      "outlives its attachment");
  EXPECT_DEATH(
      {
        Transaction t(db_, TransactionOptions::ServerDefaults());
        Statement s(db_, t, "SELECT ID FROM T");
        s.Execute(t);
        t.Commit();
      },
      "cursor is still open");
  // A cursor closed in time, by Close or past its last row, is no fault.
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement s(db_, t, "SELECT ID FROM T");
  s.Execute(t);
  s.Close();
  s.Execute(t);
  while (s.Next()) {
  }
  t.Commit();
  EXPECT_FALSE(t.IsActive());
#endif
}

}  // namespace
}  // namespace et::fb::test
