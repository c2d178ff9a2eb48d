// A workstation's connection to the server on a bad day: the server ends it
// (a restart, a network cut), or another workstation holds a lock too long.
// Work outside a transaction goes on over a new connection (a read that was
// cut off runs again); a transaction that lost its connection fails whole;
// a lock held too long answers "busy".
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "runtime/data/postgres/connection.h"
#include "runtime/data/postgres/testing/test_server.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/sleep.h"

namespace rt::postgres {
namespace {

class ConnectionLossTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = std::make_unique<rt::testing::TestDatabase>(Engine::Postgres, std::string());
    ASSERT_FALSE(database_->Setting().empty());
    session_ = Connect(database_->Setting());
    // The session's own login, which may end its connections.
    admin_ = std::make_unique<Connection>(database_->Setting());
  }
  void TearDown() override {
    session_.reset();
    admin_.reset();
    database_.reset();
  }

  std::int64_t Number(const char* sql) { return rt::testing::QueryInteger(*session_, sql); }

  // The server ends the session's connection, as a restart would; the
  // session learns of it at its next statement.
  void CutTheConnection() {
    const std::int64_t pid = Number("SELECT pg_backend_pid()");
    admin_->ExecuteBound("SELECT pg_terminate_backend(?)", {pid});
    for (int i = 0; i < 200; ++i) {
      if (admin_->QueryBound("SELECT 1 FROM pg_stat_activity WHERE pid = ?", {pid}).rows.empty()) return;
      platform::SleepFor(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "the connection was not ended";
  }

  std::unique_ptr<rt::testing::TestDatabase> database_;
  std::unique_ptr<DataSession> session_;
  std::unique_ptr<Connection> admin_;
};

TEST_F(ConnectionLossTest, WorkOutsideATransactionGoesOnOverANewConnection) {
  session_->Execute("Insert into Lab_List(TV_ID,TV_Name) Values(1,'一')");
  struct Case {
    const char* what;
    std::function<std::int64_t()> work;
  };
  const Case cases[] = {
      {"a bound read, cut off and run again", [&] { return Number("SELECT count(*) FROM Lab_List"); }},
      {"a text, begun again",
       [&] { return std::get<std::int64_t>(session_->Query("Select count(*) From Lab_List").rows[0][0]); }},
      {"a write in its own transaction",
       [&] { return session_->Execute("Update Lab_List Set TV_Name='壹' Where TV_ID=1"); }},
      {"a transaction's first statement, begun again",
       [&] {
         Transaction transaction(*session_, Transaction::Kind::Deferred);
         const RowSet rows = session_->QueryBound("SELECT count(*) FROM Lab_List WHERE TV_ID = ?", {std::int64_t{1}});
         transaction.Commit();
         return std::get<std::int64_t>(rows.rows.at(0).at(0));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CutTheConnection();
    EXPECT_EQ(c.work(), 1);
  }
  EXPECT_EQ(std::get<std::string>(session_->Query("Select TV_Name From Lab_List").rows[0][0]), "壹");
}

TEST_F(ConnectionLossTest, ATransactionThatLostItsConnectionFailsWhole) {
  {
    Transaction transaction(*session_);
    session_->ExecuteBound("INSERT INTO Lab_List(TV_ID, TV_Name) VALUES(2, 'two')", {});
    CutTheConnection();
    try {
      session_->ExecuteBound("INSERT INTO Lab_List(TV_ID, TV_Name) VALUES(3, 'three')", {});
      ADD_FAILURE() << "the statement ran";
    } catch (const EDatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("connection to the database server was lost"), std::string::npos)
          << error.what();
    }
    EXPECT_THROW(transaction.Commit(), EDatabaseError) << "a commit of a lost transaction says so";
  }
  // Nothing of it was kept, and the session works on.
  EXPECT_EQ(Number("SELECT count(*) FROM Lab_List"), 0);
  session_->Execute("Insert into Lab_List(TV_ID,TV_Name) Values(4,'四')");
  EXPECT_EQ(Number("SELECT count(*) FROM Lab_List"), 1);
}

TEST_F(ConnectionLossTest, AWriterHeldTooLongAnswersBusy) {
  const std::unique_ptr<DataSession> other = Connect(database_->Setting());
  Transaction holding(*other);                           // the other workstation's writer lock
  session_->ExecuteBound("SET lock_timeout = 200", {});  // instead of the usual wait
  try {
    session_->Execute("Insert into Lab_List(TV_ID,TV_Name) Values(5,'五')");
    ADD_FAILURE() << "the write did not wait";
  } catch (const EDatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("the database is busy"), std::string::npos) << error.what();
  }
  holding.Commit();
  EXPECT_EQ(session_->Execute("Insert into Lab_List(TV_ID,TV_Name) Values(5,'五')"), 1);
}

// A key that says the session's process lives is held again once the
// session has made its lost connection anew, and another person's login
// sees it held, then released.
TEST_F(ConnectionLossTest, AKeyHeldIsHeldAgainOnTheNewConnection) {
  const std::unique_ptr<DataSession> other = Connect(database_->SettingAs(rt::testing::StaffLogin(2)));
  constexpr std::int64_t kKey = (std::int64_t{0x51AB} << 32) | 0x0000C0DE;
  ASSERT_TRUE(session_->HoldLivenessKey(kKey));
  EXPECT_EQ(other->LivenessKeyHeld(kKey), true);
  CutTheConnection();
  EXPECT_EQ(Number("SELECT 1"), 1);
  EXPECT_EQ(other->LivenessKeyHeld(kKey), true) << "taken again on the new connection";
  session_->ReleaseLivenessKey(kKey);
  EXPECT_EQ(other->LivenessKeyHeld(kKey), false);
  CutTheConnection();
  EXPECT_EQ(Number("SELECT 1"), 1);
  EXPECT_EQ(other->LivenessKeyHeld(kKey), false) << "a key released is not taken again";
}

}  // namespace
}  // namespace rt::postgres
