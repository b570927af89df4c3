#include "platform/ado/Transaction.h"

#include <optional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "platform/tests/AdoTestSupport.h"

namespace ado {
namespace {

using namespace testing_ado;

class TransactionTest : public AdoEngineTest {
 protected:
  void SetUp() override {
    AdoEngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    conn_->Execute("create table tx (name varchar(10))");
  }
  void Insert(const char* name) { conn_->Execute("insert into tx values (?)", {Variant(name)}); }
};

INSTANTIATE_TEST_SUITE_P(Engines, TransactionTest, BothEngines(), EngineParamName());

TEST_P(TransactionTest, KeepsTheWorkOnlyWhenCommitted) {
  {
    Transaction transaction(*conn_);
    EXPECT_EQ(conn_->TransactionLevel(), 1);
    Insert("kept");
    transaction.Commit();
    EXPECT_EQ(conn_->TransactionLevel(), 0);
  }
  {
    Transaction transaction(*conn_);
    Insert("left");  // the guard goes without a commit: an early return
  }
  try {
    Transaction transaction(*conn_);
    Insert("thrown");
    throw std::runtime_error("half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(conn_->TransactionLevel(), 0);
  EXPECT_EQ(Count("tx"), 1);
  EXPECT_EQ(Count("tx", "name = 'kept'"), 1);
}

TEST_P(TransactionTest, InsideAnotherTransactionUndoesOnlyItsOwnWork) {
  Transaction outer(*conn_);
  Insert("outer");
  {
    Transaction inner(*conn_);
    EXPECT_EQ(conn_->TransactionLevel(), 2);
    Insert("inner");
  }
  EXPECT_EQ(conn_->TransactionLevel(), 1);
  {
    Transaction inner(*conn_);
    Insert("again");
    inner.Commit();
  }
  outer.Commit();
  EXPECT_EQ(Count("tx"), 2);
  EXPECT_EQ(Count("tx", "name in ('outer', 'again')"), 2);
}

TEST_P(TransactionTest, AFailedCommitKeepsNothingAndLeavesTheConnectionUsable) {
  // A deferred foreign key is checked by the commit, which then fails on either engine.
  if (!pg()) conn_->Execute("PRAGMA foreign_keys = ON");
  conn_->Execute("create table parent (id integer primary key)");
  conn_->Execute(
      "create table child (parent_id integer references parent (id) "
      "deferrable initially deferred)");
  {
    Transaction transaction(*conn_);
    Insert("orphan's");
    conn_->Execute("insert into child values (7)");
    ExpectError([&] { transaction.Commit(); }, errors::kDatabase, {});
  }
  EXPECT_EQ(conn_->TransactionLevel(), 0);
  EXPECT_EQ(Count("tx"), 0);
  EXPECT_EQ(Count("child"), 0);
  Insert("after");
  EXPECT_EQ(Count("tx"), 1);
}

TEST_P(TransactionTest, ARollbackThatFailsDoesNotThrowFromTheGuard) {
  {
    Transaction transaction(*conn_);
    Insert("gone");
    conn_->Close();  // the rollback in the destructor now fails
  }
  conn_ = OpenAnother();
  EXPECT_EQ(Count("tx"), 0);
  // A closed connection cannot begin one either.
  conn_->Close();
  ExpectError([&] { Transaction transaction(*conn_); }, errors::kConnectionUnusable, {"closed"});
}

TEST_P(TransactionTest, AnInnerLevelThatCannotBeUndoneEndsTheWholeTransaction) {
  conn_->BeginTrans();
  Insert("outer");
  conn_->BeginTrans();
  Insert("inner");
  conn_->Execute("RELEASE SAVEPOINT kestrova_level_2");  // the inner level's savepoint is gone
  EXPECT_THROW(conn_->RollbackTrans(), automation::Error);
  EXPECT_EQ(conn_->TransactionLevel(), 0);
  // The outer commit reports the loss instead of keeping work the caller asked to drop.
  EXPECT_THROW(conn_->CommitTrans(), automation::Error);
  EXPECT_EQ(Count("tx"), 0);
  {
    Transaction transaction(*conn_);
    Insert("after");
    transaction.Commit();
  }
  EXPECT_EQ(Count("tx"), 1);
}

TEST_P(TransactionTest, TryExecuteLeavesTheCallersTransactionUsable) {
  Transaction transaction(*conn_);
  Insert("before");
  // On PostgreSQL a failed statement would end the transaction without its own savepoint.
  const std::optional<std::string> failed = TryExecute(*conn_, "drop table no_such_table");
  ASSERT_TRUE(failed.has_value());
  EXPECT_NE(failed->find("no_such_table"), std::string::npos) << *failed;
  EXPECT_EQ(TryExecute(*conn_, "insert into tx values (?)", {Variant("after")}), std::nullopt);
  EXPECT_EQ(conn_->TransactionLevel(), 1);
  transaction.Commit();
  EXPECT_EQ(Count("tx"), 2);

  conn_->Close();
  ExpectError([&] { TryExecute(*conn_, "select 1"); }, errors::kConnectionUnusable, {"closed"});
}

}  // namespace
}  // namespace ado
