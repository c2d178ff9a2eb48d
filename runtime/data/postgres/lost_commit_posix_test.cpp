// A COMMIT whose answer the network lost: the connection asks the server,
// on a new connection, what became of the transaction, and says what it
// learnt: committed (the commit returns), rolled back (it fails saying so),
// or not known (ECommitUnknown). The network is a proxy that cuts the
// connection at the COMMIT (testing/cutting_proxy.h).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "runtime/data/postgres/testing/cutting_proxy.h"
#include "runtime/data/postgres/testing/test_server.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"

namespace rt::postgres {
namespace {

using testing::CuttingProxy;

class LostCommitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = std::make_unique<rt::testing::TestDatabase>(Engine::Postgres, std::string());
    ASSERT_FALSE(database_->Setting().empty());
    direct_ = Connect(database_->Setting());  // makes the tables
    proxy_.emplace(testing::ServerConnectionString());
    session_ = Connect(proxy_->Through(database_->Setting()));
  }
  void TearDown() override {
    session_.reset();
    direct_.reset();
    proxy_.reset();
    database_.reset();
  }

  std::int64_t Rows(std::int64_t id) {
    return std::get<std::int64_t>(
        direct_->QueryBound("SELECT count(*) FROM Lab_List WHERE TV_ID = ?", {id}).rows.at(0).at(0));
  }

  std::unique_ptr<rt::testing::TestDatabase> database_;
  std::unique_ptr<DataSession> direct_;
  std::optional<CuttingProxy> proxy_;
  std::unique_ptr<DataSession> session_;
};

TEST_F(LostCommitTest, ACutCommitIsReportedAsTheServerDecidedIt) {
  const struct {
    const char* what;
    CuttingProxy::Cut cut;
    bool kept;
  } cuts[] = {
      {"cut before the server saw it", CuttingProxy::Cut::BeforeCommit, false},
      {"cut before it, the server unaware", CuttingProxy::Cut::BeforeUnnoticed, false},
      {"cut after the server answered", CuttingProxy::Cut::AfterCommit, true},
  };
  const struct {
    const char* what;
    std::function<void(DataSession&, std::int64_t)> write;
  } works[] = {
      {"a transaction",
       [](DataSession& db, std::int64_t id) {
         Transaction transaction(db);
         db.ExecuteBound("INSERT INTO Lab_List(TV_ID, TV_Name) VALUES(?, 'x')", {id});
         transaction.Commit();
       }},
      {"a text",
       [](DataSession& db, std::int64_t id) {
         db.Execute("Insert into Lab_List(TV_ID,TV_Name) Values(" + std::to_string(id) + ",'一')");
       }},
  };
  std::int64_t id = 0;
  for (const auto& work : works) {
    for (const auto& cut : cuts) {
      SCOPED_TRACE(std::string(work.what) + ", " + cut.what);
      const int cut_before = proxy_->Cuts();
      proxy_->Arm(cut.cut);
      bool committed = false;
      try {
        work.write(*session_, ++id);
        committed = true;
      } catch (const ECommitUnknown& error) {
        ADD_FAILURE() << "not known: " << error.what();
      } catch (const EDatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("rolled back"), std::string::npos) << error.what();
      }
      EXPECT_EQ(proxy_->Cuts(), cut_before + 1);
      EXPECT_EQ(committed, cut.kept);
      EXPECT_EQ(Rows(id), cut.kept ? 1 : 0);
      // The session goes on, and the writer lock is free.
      EXPECT_EQ(session_->Execute("Update Lab_List Set TV_Name='壹' Where TV_ID=" + std::to_string(id)),
                cut.kept ? 1 : 0);
    }
  }
}

// A transaction that took no writer lock has no id read to ask about: one
// that only read has nothing to keep either way, one that wrote cannot be
// decided.
TEST_F(LostCommitTest, AReadingTransactionsCommitIsDecidedByWhatItSent) {
  const struct {
    const char* what;
    std::function<void(DataSession&)> work;
    bool known;
  } cases[] = {
      {"one that read",
       [](DataSession& db) {
         db.QueryBound("SELECT count(*) FROM Lab_List WHERE TV_ID > ?", {std::int64_t{0}});
         db.Query("Select count(*) From Lab_List");
       },
       true},
      {"one that wrote", [](DataSession& db) { db.Execute("Insert into Lab_List(TV_ID,TV_Name) Values(8,'八')"); },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    proxy_->Arm(CuttingProxy::Cut::AfterCommit);
    Transaction transaction(*session_, Transaction::Kind::Deferred);
    c.work(*session_);
    if (c.known) EXPECT_NO_THROW(transaction.Commit());
    else EXPECT_THROW(transaction.Commit(), ECommitUnknown);
  }
  EXPECT_EQ(proxy_->Cuts(), 2);
}

TEST_F(LostCommitTest, AnOutcomeThatCannotBeLearntSaysSo) {
  // No new connection gets an answer to the question.
  proxy_->Arm(CuttingProxy::Cut::AfterCommit, {}, /*unanswerable=*/true);
  {
    Transaction transaction(*session_);
    session_->ExecuteBound("INSERT INTO Lab_List(TV_ID, TV_Name) VALUES(7, 'x')", {});
    EXPECT_THROW(transaction.Commit(), ECommitUnknown);
  }
  proxy_->Heal();
  EXPECT_EQ(Rows(7), 1) << "it had committed";
  EXPECT_EQ(rt::testing::QueryInteger(*session_, "SELECT count(*) FROM Lab_List"), 1);
}

}  // namespace
}  // namespace rt::postgres
