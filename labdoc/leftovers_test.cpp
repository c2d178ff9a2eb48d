// What processes that ended in the middle of their work leave behind, and
// what the next start of a store removes: temporary copies in the cache
// folder, pending contents with their owners' lock files, and the space
// their chunks took in the database file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <set>

#include "labdoc/cache_folder.h"
#include "labdoc/content_storage.h"
#include "labdoc/owner_lock.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/data/sqlite/content_file.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/datetime_text.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/file_lock.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;
using rt::FileLock;
using rt::Value;

class LeftoversTest : public StoreTest {
 protected:
  // Where the owners of the session database's pending contents keep their
  // lock files (ANSI, ending in '\').
  std::string OwnerFolder() const { return folder_.Ansi("labdocs.db-labdoc-locks\\"); }
  static fs::path Native(const std::string& ansi_path) { return rt::platform::NativePath(ansi_path); }

  // Through the test support: folders' times too, on every system.
  static void Age(const fs::path& path, int seconds) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::int64_t then = std::chrono::duration_cast<std::chrono::seconds>(now).count() - seconds;
    ASSERT_TRUE(rt::testing::SetFileTimes(path, std::nullopt, rt::testing::FileTimeValue{then, 0})) << path;
  }

  // A pending content of a document (0: a new one) with `chunks` chunks of
  // `chunk_size` random bytes, as a store leaves it when its process is
  // killed; its id.
  std::int64_t InsertPending(const Value& owner, double days_ago, int chunks, int chunk_size, std::int64_t doc_id = 0) {
    rt::sqlite::Database& db = SqliteSession();
    db.ExecuteBound(
        "INSERT INTO DB_FILE_CONTENT(LABDOC_ID, FILE_NAME, STOREDTIME, PENDING, OWNER) VALUES(?, 'x.doc', ?, 1, ?)",
        {doc_id, rt::datetime::ToText(rt::DateTime{rt::Now().days - days_ago}), owner});
    const std::int64_t id = sqlite3_last_insert_rowid(db.Handle());
    db.ExecuteBound("WITH RECURSIVE s(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM s WHERE n + 1 < ?) "
                    "INSERT INTO DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) SELECT ?, n, randomblob(?) FROM s",
                    {std::int64_t{chunks}, id, std::int64_t{chunk_size}});
    return id;
  }

  std::int64_t Pragma(const std::string& name) { return Count("PRAGMA " + name); }
  void Exec(const std::string& sql) { rt::sqlite::Exec(SqliteSession().Handle(), sql); }
};

TEST_F(LeftoversTest, TemporaryFilesThatNoLiveFetchWritesGoWhenTheStoreStarts) {
  struct Case {
    const char* name;
    int age_seconds;
    bool locked;  // by a fetch that is still writing it
    bool removed;
  };
  const Case cases[] = {
      {"~labdoc-0123456789abcdef.tmp", 120, false, true},
      {"~labdoc-0123456789ABCDEF.tmp", 86400, false, true},
      {"~labdoc-1111111111111111.tmp", 5, false, false},  // its writer may not have locked it yet
      {"~labdoc-2222222222222222.tmp", 120, true, false},
      {"~labdoc-012345678.tmp", 120, false, false},
      {"~labdoc-0123456789abcdef0.tmp", 120, false, false},
      {"~labdoc-0123456789abcdeg.tmp", 120, false, false},
      {"~labdoc-0123456789abcdef.tmp.doc", 120, false, false},
      {"x~labdoc-0123456789abcdef.tmp", 120, false, false},
      {"报告.doc", 120, false, false},
  };
  std::vector<FileLock> writers;
  for (const Case& c : cases) {
    const std::string path = cache_ + c.name;
    folder_.Write(std::string("DocCache\\") + c.name, "part of a copy");
    Age(Native(path), c.age_seconds);
    if (c.locked) {
      ASSERT_EQ(writers.emplace_back().TryTake(path), FileLock::Outcome::Taken);
    }
  }
  // A folder of that name is nobody's copy.
  fs::create_directory(Native(cache_ + "~labdoc-3333333333333333.tmp"));
  Age(Native(cache_ + "~labdoc-3333333333333333.tmp"), 120);

  ASSERT_EQ(InitWith(cache_), S_OK);
  for (const Case& c : cases) EXPECT_EQ(fs::exists(Native(cache_ + c.name)), !c.removed) << c.name;
  EXPECT_TRUE(fs::is_directory(Native(cache_ + "~labdoc-3333333333333333.tmp")));
  // Once its writer has ended, a copy goes too.
  writers.clear();
  ASSERT_EQ(InitWith(cache_), S_OK);
  EXPECT_FALSE(fs::exists(Native(cache_ + "~labdoc-2222222222222222.tmp")));
}

// The owners' folder sits beside the database file, whatever characters its
// path holds (SQLite names files in UTF-8, Windows' own calls take GBK).
TEST_F(LeftoversTest, TheOwnersFolderIsBesideTheDatabaseUnderAChinesePath) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  const fs::path folder = folder_.Native("库乗");
  fs::create_directories(folder);
  rt::sqlite::Database db(rt::platform::SqliteFileName(rt::platform::AnsiPath(folder / "labdocs.db")));
  std::string owners = MakeContentStorage(db)->OwnerFolder();
  ASSERT_FALSE(owners.empty());
  owners.pop_back();  // the trailing separator
  EXPECT_EQ(rt::platform::NativePath(owners), folder / "labdocs.db-labdoc-locks");
}

TEST_F(LeftoversTest, PendingContentsGoAsSoonAsTheirOwnersHaveEnded) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  enum class Owner { None, EndedFileLeft, EndedFileGone, Alive, NoToken };
  struct Case {
    const char* what;
    Owner owner;
    double days_ago;
    bool swept;
  };
  const Case cases[] = {
      {"an ended owner's, its lock file left", Owner::EndedFileLeft, 0, true},
      {"an ended owner's, its lock file gone", Owner::EndedFileGone, 0, true},
      {"a live owner's, however old", Owner::Alive, 2, false},
      {"without an owner, two days old", Owner::None, 2, true},
      {"without an owner, begun now", Owner::None, 0, false},
      {"an owner that is no token", Owner::NoToken, 0, false},
  };
  const std::int32_t doc_id = Save(WriteSource("记录.doc", "stored"));
  ASSERT_TRUE(rt::ForceDirectories(OwnerFolder()));
  std::vector<std::int64_t> ids;
  std::vector<FileLock> live;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string token = "a00000000000000" + std::to_string(i);
    const std::string lock_file = OwnerFolder() + token + ".lock";
    Value owner(token);
    switch (cases[i].owner) {
      case Owner::None: owner = Value(); break;
      case Owner::NoToken: owner = Value(std::string("..\\..\\labdocs.db")); break;
      case Owner::EndedFileLeft: folder_.Write("labdocs.db-labdoc-locks\\" + token + ".lock", ""); break;
      case Owner::Alive: ASSERT_EQ(live.emplace_back().Create(lock_file), FileLock::Outcome::Taken); break;
      case Owner::EndedFileGone: break;
    }
    ids.push_back(InsertPending(owner, cases[i].days_ago, 2, 1000, doc_id));
  }
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), "stored") << "pending contents are not the document's";
  // Lock files of owners that ended before their content went in: one left
  // long enough ago, one that a store may have just made, and a file that
  // no owner made.
  for (const char* name : {"b000000000000001.lock", "b000000000000002.lock", "notes.lock"})
    folder_.Write(std::string("labdocs.db-labdoc-locks\\") + name, "");
  Age(Native(OwnerFolder() + "b000000000000001.lock"), 120);
  Age(Native(OwnerFolder() + "notes.lock"), 120);

  ASSERT_EQ(StartStoring(cache_), S_OK);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string id = std::to_string(ids[i]);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE CONTENT_ID = " + id), cases[i].swept ? 0 : 1)
        << cases[i].what;
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK WHERE CONTENT_ID = " + id), cases[i].swept ? 0 : 2)
        << cases[i].what;
  }
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(Native(OwnerFolder())))
    files.insert(rt::testing::PathUtf8(entry.path().filename()));
  EXPECT_EQ(files, (std::set<std::string>{"a000000000000002.lock", "b000000000000002.lock", "notes.lock"}));

  // Deleting the document leaves the live owner's content to it; once the
  // owner has ended, its content goes at the next start.
  std::uint8_t ok = 0;
  ASSERT_EQ(store_.DelLabDoc(doc_id, &ok), S_OK);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 3);
  live.clear();
  ASSERT_EQ(StartStoring(cache_), S_OK);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE CONTENT_ID = " + std::to_string(ids[2])), 0);
}

// The statements a connection runs, as SQLite starts them.
int CollectStatement(unsigned, void* context, void* statement, void*) {
  if (const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement)))
    static_cast<std::vector<std::string>*>(context)->push_back(sql);
  return 0;
}

std::vector<std::string> QueryPlan(sqlite3* db, const std::string& sql) {
  rt::sqlite::StatementPtr explain = rt::sqlite::Prepare(db, "EXPLAIN QUERY PLAN " + sql);
  std::vector<std::string> steps;
  while (sqlite3_step(explain.get()) == SQLITE_ROW)
    steps.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(explain.get(), 3)));
  return steps;
}

TEST_F(LeftoversTest, TheSweepReadsOnlyTheIndexOfPendingContents) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  for (int i = 0; i < 3; ++i) Save(WriteSource("f" + std::to_string(i) + ".doc", Content(100, i)));
  sqlite3* db = SqliteSession().Handle();
  for (const bool pending : {false, true}) {
    if (pending) InsertPending(Value(std::string("c000000000000001")), 0, 1, 100);
    std::vector<std::string> statements;
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &CollectStatement, &statements);
    const HRESULT status = StartStoring(cache_);
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
    ASSERT_EQ(status, S_OK);
    int reads_of_contents = 0;
    for (const std::string& sql : statements) {
      if (sql.rfind("--", 0) == 0) continue;  // a trigger's
      if (!pending) {
        for (const char* write : {"DELETE", "IMMEDIATE", "VACUUM", "vacuum"})
          EXPECT_EQ(sql.find(write), std::string::npos) << "with nothing pending: " << sql;
      }
      if (sql.find("DB_FILE_CONTENT") == std::string::npos) continue;
      ++reads_of_contents;
      for (const std::string& step : QueryPlan(db, sql)) {
        if (step.find("DB_FILE_CONTENT") == std::string::npos) continue;
        EXPECT_TRUE(step.rfind("SEARCH", 0) == 0 || step.find("IX_DB_FILE_CONTENT_Pending") != std::string::npos)
            << sql << ": " << step;
      }
    }
    EXPECT_GT(reads_of_contents, 0);
  }
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
}

TEST_F(LeftoversTest, TheContentFileShrinksWhenAKilledStoresContentIsSwept) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  // The content file gives freed pages back; a database file made before
  // incremental vacuuming, which keeps them, is switched by the sweep too.
  const std::string content_file = rt::sqlite::content_file::FilePath(SqliteSession().Handle(), database_);
  for (const bool made_before : {false, true}) {
    if (made_before) {
      Exec("PRAGMA auto_vacuum = NONE");
      Exec("VACUUM");
      ASSERT_EQ(Pragma("auto_vacuum"), 0);
    }
    InsertPending(Value(std::string("d000000000000001")), 0, 8, 1 << 20);
    const std::uintmax_t before = fs::file_size(content_file);
    ASSERT_GT(before, 8u << 20);
    ASSERT_EQ(StartStoring(cache_), S_OK);
    const std::uintmax_t after = fs::file_size(content_file);
    EXPECT_LT(after, before - (7u << 20))
        << (made_before ? "made before: " : "made now: ") << before << " -> " << after;
    EXPECT_EQ(Pragma("content.freelist_count"), 0);
    EXPECT_EQ(Pragma("auto_vacuum"), 2);
  }
}

struct OwnerSeen {
  std::string database;
  std::string lock_folder;
  Value owner;
  FileLock::Outcome lock = FileLock::Outcome::Failed;
};

void ObserveOwner(sqlite3_context* context, int, sqlite3_value**) {
  auto* seen = static_cast<OwnerSeen*>(sqlite3_user_data(context));
  rt::sqlite::Database other(seen->database, rt::sqlite::Database::OpenMode::OpenExisting);
  const rt::RowSet rows = other.QueryBound("SELECT OWNER FROM DB_FILE_CONTENT WHERE PENDING = 1", {});
  seen->owner = rows.rows.size() == 1 ? rows.rows[0][0] : Value();
  if (const auto* token = std::get_if<std::string>(&seen->owner)) {
    FileLock probe;
    seen->lock = probe.TryTake(seen->lock_folder + *token + ".lock");
  }
  sqlite3_result_null(context);
}

TEST_F(LeftoversTest, AStoreHoldsItsOwnersLockWhileItStoresAndRemovesItAfterwards) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  const std::int32_t doc_id = Save(WriteSource("a.doc", "first"));
  OwnerSeen seen{database_, OwnerFolder(), {}, FileLock::Outcome::Failed};
  ASSERT_EQ(sqlite3_create_function(SqliteSession().Handle(), "observe", 0, SQLITE_UTF8, &seen, &ObserveOwner, nullptr,
                                    nullptr),
            SQLITE_OK);
  Exec(
      "CREATE TEMP TRIGGER TR_Observe AFTER INSERT ON content.DB_FILE_CHUNK WHEN NEW.SEQ = 1 BEGIN SELECT observe(); END");
  std::uint8_t ok = 0;
  ASSERT_EQ(store_.UpdateLabDoc(doc_id, WriteSource("b.doc", Content(3 << 20, 7)).c_str(), &ok), S_OK);
  ASSERT_EQ(ok, 1);
  ASSERT_TRUE(std::holds_alternative<std::string>(seen.owner)) << "the pending content names its owner";
  EXPECT_EQ(seen.lock, FileLock::Outcome::Held);
  EXPECT_FALSE(fs::exists(Native(OwnerFolder()))) << "the folder goes with its last owner";

  // A store that fails removes its content and its owner's file.
  Exec("CREATE TEMP TRIGGER TR_Fail BEFORE INSERT ON content.DB_FILE_CHUNK WHEN NEW.SEQ = 2 "
       "BEGIN SELECT RAISE(ABORT, 'injected failure'); END");
  EXPECT_EQ(store_.UpdateLabDoc(doc_id, folder_.Ansi("b.doc").c_str(), &ok), E_FAIL);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
  EXPECT_FALSE(fs::exists(Native(OwnerFolder())));
}

TEST_F(LeftoversTest, AStoreWhosePendingContentWasTakenForAbandonedFailsAndChangesNothing) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  // Another process removes the pending content while its chunks go in, as
  // a sweep would that misjudged its owner.
  const std::string original = Content(2 << 20, 8);
  const std::int32_t doc_id = Save(WriteSource("a.doc", original));
  Exec("CREATE TEMP TRIGGER TR_Sweep AFTER INSERT ON content.DB_FILE_CHUNK WHEN NEW.SEQ = 1 "
       "BEGIN DELETE FROM DB_FILE_CONTENT WHERE PENDING = 1; END");
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.UpdateLabDoc(doc_id, WriteSource("b.doc", Content(4 << 20, 9)).c_str(), &ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  Exec("DROP TRIGGER TR_Sweep");
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), original);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 2) << "no chunk of the removed content is left";
}

}  // namespace
}  // namespace labdocs::labdoc::testing
