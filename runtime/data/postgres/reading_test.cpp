// Reading on a laboratory's server: a reader never waits for a writer, and
// each kind of work costs the exchanges with the server counted here,
// beside the statements the same work steps on SQLite.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "runtime/data/postgres/database.h"
#include "runtime/data/postgres/testing/test_server.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/test_folder.h"

namespace rt::postgres {
namespace {

constexpr const char* kTable = "Create Table docs (ID integer primary key, Name text)";
constexpr const char* kRows = "Insert into docs(ID,Name) Values(1,'一') Insert into docs(ID,Name) Values(2,'二')";

class ReadingTest : public testing::ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (HasFatalFailure()) return;
    db_->Execute(kTable);
    db_->Execute(kRows);
  }
  // Another workstation's session on the same schema.
  Database Other() {
    return Database(testing::ServerConnectionString() + " options='-csearch_path=" + schema_->Name() + ",public'");
  }
  std::int64_t Count(DataSession& db) {
    return std::get<std::int64_t>(db.Query("Select count(*) From docs").rows[0][0]);
  }
};

TEST_F(ReadingTest, ReadersNeverWaitForAWriter) {
  Database writer = Other();
  Transaction holding(writer);  // the writer lock, held
  writer.ExecuteBound("INSERT INTO docs(ID, Name) VALUES(3, 'three')", {});
  // A reader that waited for the lock would fail at once.
  db_->ExecuteBound("SET lock_timeout = 100", {});
  EXPECT_EQ(Count(*db_), 2) << "a list";
  const RowSet both = db_->Query("Select Max(ID) as Highest From docs Select count(*) From docs");
  EXPECT_EQ(both.rows.at(0).at(0), Value(std::int64_t{2})) << "several statements that read";
  {
    Transaction snapshot(*db_, Transaction::Kind::Deferred);
    EXPECT_EQ(db_->QueryBound("SELECT Name FROM docs WHERE ID = ?", {std::int64_t{2}}).rows.size(), 1u);
    EXPECT_EQ(Count(*db_), 2);
    snapshot.Commit();
  }
  // A writer still waits for the writer, also one that begins as a SELECT.
  for (const char* write : {"Update docs Set Name='b' Where ID=1", "Select ID Into 副本 From docs",
                            "Select ID From docs Where ID = 1 For Update",
                            "With gone as (Delete From docs Where ID = 1 Returning ID) Select count(*) From gone"}) {
    try {
      db_->Query(write);
      ADD_FAILURE() << "did not wait: " << write;
    } catch (const EDatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("busy"), std::string::npos) << error.what();
    }
  }
  holding.Commit();
  EXPECT_EQ(Count(*db_), 3);
}

// The exchanges each kind of work costs on the server, and the statements
// it steps on SQLite.
TEST_F(ReadingTest, EachKindOfWorkCostsItsExchanges) {
  rt::testing::TestFolder folder;
  rt::sqlite::Database sqlite(folder.File("counted.db"));
  sqlite.Execute(kTable);
  sqlite.Execute(kRows);
  const struct {
    const char* what;
    std::function<void(DataSession&)> work;
    std::uint64_t server;
    std::optional<std::uint64_t> sqlite;  // none: the server's own statements
  } cases[] = {
      {"a list: one SELECT", [](DataSession& db) { db.Query("Select ID, Name From docs a(nolock) Where ID > 0"); }, 1,
       1},
      {"a bound query", [](DataSession& db) { db.QueryBound("SELECT Name FROM docs WHERE ID = ?", {std::int64_t{1}}); },
       1, 1},
      {"several SELECTs: one snapshot",
       [](DataSession& db) { db.Query("Select count(*) From docs Select Max(ID) From docs"); }, 3, 4},
      {"a write", [](DataSession& db) { db.Execute("Update docs Set Name='乙' Where ID=2"); }, 3, 3},
      {"a reading transaction, one bound query",
       [](DataSession& db) {
         Transaction transaction(db, Transaction::Kind::Deferred);
         db.QueryBound("SELECT Name FROM docs WHERE ID = ?", {std::int64_t{1}});
         transaction.Commit();
       },
       2, 3},
      {"a reading transaction, one text",
       [](DataSession& db) {
         Transaction transaction(db, Transaction::Kind::Deferred);
         db.Query("Select count(*) From docs");
         transaction.Commit();
       },
       3, 3},
      {"a fetch's snapshot: its isolation, two queries",
       [](DataSession& db) {
         Transaction transaction(db, Transaction::Kind::Deferred);
         db.ExecuteBound("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ", {});
         db.QueryBound("SELECT Name FROM docs WHERE ID = ?", {std::int64_t{1}});
         db.QueryBound("SELECT count(*) FROM docs WHERE ID > ?", {std::int64_t{0}});
         transaction.Commit();
       },
       4, std::nullopt},
      {"a reading transaction that reads nothing",
       [](DataSession& db) { Transaction(db, Transaction::Kind::Deferred).Commit(); }, 0, 2},
      {"a writing transaction that writes nothing", [](DataSession& db) { Transaction(db).Commit(); }, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::uint64_t before = db_->RoundTrips();
    c.work(*db_);
    EXPECT_EQ(db_->RoundTrips() - before, c.server) << "on the server";
    if (!c.sqlite) continue;
    before = sqlite.RoundTrips();
    c.work(sqlite);
    EXPECT_EQ(sqlite.RoundTrips() - before, *c.sqlite) << "on SQLite";
  }
}

}  // namespace
}  // namespace rt::postgres
