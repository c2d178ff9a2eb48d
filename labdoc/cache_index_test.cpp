// The cache folder's index: the records that earlier versions kept in the
// database are carried over once and go on protecting unstored edits,
// processes that fetch into one folder at once keep one consistent index,
// and a folder that serves two databases keeps each one's records apart.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>

#include "labdoc/cache_index.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/sleep.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/services/environment.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;

class CacheIndexTest : public StoreTest {
 protected:
  // A DB_FILE_CACHE row as a version before wrote it: the copy at the file
  // name in that workstation's cache folder was fetched as the document's
  // current content.
  static void RecordInDatabase(const std::string& host, const std::string& ansi_cache, const std::string& file_name,
                               std::int32_t doc_id) {
    rt::CurrentDataSession().ExecuteBound(
        "INSERT INTO DB_FILE_CACHE(HOSTNAME, CACHE_DIR, FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256,"
        " DISK_DEVICE, DISK_FILE_NUMBER, DISK_SIZE, DISK_MODIFIED_NS, DISK_CHANGED_NS)"
        " SELECT ?, ?, ?, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256, 7, 8, FILE_SIZE, 10, 11 FROM DB_FILE_CONTENT"
        " WHERE LABDOC_ID = ? AND REPLACEDTIME IS NULL AND PENDING = 0",
        {host, ansi_cache, file_name, std::int64_t{doc_id}});
  }
  static std::string Host() { return rt::Environment().computer_name; }
  void Write(const std::string& ansi_path, const std::string& bytes) const {
    ASSERT_TRUE(rt::ForceDirectories(rt::ExtractFilePath(ansi_path)));
    std::ofstream(rt::platform::NativePath(ansi_path), std::ios::binary | std::ios::trunc) << bytes;
  }
  int Check(std::int32_t doc_id, const std::string& ansi_path) {
    std::uint8_t newer = 0xAA;
    const HRESULT status = store_.CheckLabDoc(doc_id, ansi_path.c_str(), &newer);
    EXPECT_EQ(status, S_OK) << Described(status);
    return status == S_OK ? newer : -1;
  }
};

TEST_F(CacheIndexTest, RecordsOfEarlierVersionsAreCarriedOverOnceAndStillProtectUnstoredEdits) {
  const std::int32_t plan = Save(WriteSource("src\\plan.doc", "the stored plan"));
  const std::int32_t notes = Save(WriteSource("src\\notes.doc", "the stored notes"));
  const std::string cache = folder_.Ansi("OldCache\\");
  // The plan's copy holds edits; only this workstation's records of this
  // folder are its own.
  Write(cache + "plan.doc", "the plan, edited");
  RecordInDatabase(Host(), cache, "plan.doc", plan);
  RecordInDatabase("OTHER-PC", cache, "notes.doc", notes);
  RecordInDatabase(Host(), folder_.Ansi("Elsewhere\\"), "notes.doc", notes);

  ASSERT_EQ(InitWith(cache), S_OK);
  EXPECT_EQ(Check(plan, cache + "plan.doc"), 1);
  std::uint8_t ok = 0xAA;
  std::string path;
  EXPECT_EQ(Get(plan, ok, path), E_FAIL);
  const std::string reason = rt::TakeErrorInfo();
  EXPECT_NE(reason.find("文档 " + std::to_string(plan) + " 在缓存中的副本"), std::string::npos)
      << "the copy was not known as the plan's: " << reason;
  EXPECT_EQ(ReadAnsi(cache + "plan.doc"), "the plan, edited");
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CACHED_COPY"), 1);
  EXPECT_EQ(IndexInteger(cache, "SELECT DISK_DEVICE FROM CACHED_COPY WHERE FILE_NAME = 'plan.doc'"), 7);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CACHE"), 3) << "the rows stay for older versions";

  // Once: what the table gains later, or the index loses, is not carried
  // over again.
  Write(cache + "notes.doc", "the notes, edited");
  RecordInDatabase(Host(), cache, "notes.doc", notes);
  ChangeIndex(cache, "DELETE FROM CACHED_COPY WHERE FILE_NAME = 'plan.doc'");
  ASSERT_EQ(InitWith(cache), S_OK);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CACHED_COPY"), 0);
  EXPECT_EQ(Check(notes, cache + "notes.doc"), 0);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CARRIED_OVER"), 1);

  // A database without the table has nothing to carry over.
  test_database_->Owner().ExecuteBound("DROP TABLE DB_FILE_CACHE", {});
  const std::string fresh = folder_.Ansi("FreshCache\\");
  ASSERT_EQ(InitWith(fresh), S_OK);
  EXPECT_EQ(IndexInteger(fresh, "SELECT count(*) FROM CARRIED_OVER"), 1);
  EXPECT_EQ(IndexInteger(fresh, "SELECT count(*) FROM CACHED_COPY"), 0);
}

// An index made before records named their database: its records are no
// database's, but for those that a database's DB_FILE_CACHE rows still
// vouch for, which the carry-over, once per workstation and database, gives
// to that database.
TEST_F(CacheIndexTest, RecordsOfAnIndexBeforeDatabasesWereNamedAreNoDatabasesButWhatOneVouchesFor) {
  const std::int32_t plan = Save(WriteSource("src\\plan.doc", "the stored plan"));
  const std::int32_t notes = Save(WriteSource("src\\notes.doc", "the stored notes"));
  const std::string cache = folder_.Ansi("IndexV1\\");
  Write(cache + "plan.doc", "the plan, edited");
  Write(cache + "notes.doc", "the notes, edited");
  Write(CacheIndex::PathIn(cache), "");
  ChangeIndex(cache, R"sql(
    CREATE TABLE CACHED_COPY (
      FILE_NAME TEXT COLLATE NOCASE PRIMARY KEY, LABDOC_ID INTEGER NOT NULL, CONTENT_ID INTEGER NOT NULL,
      FILE_SIZE INTEGER NOT NULL, SHA256 TEXT NOT NULL, RECORDED_BY TEXT COLLATE NOCASE NOT NULL,
      RECORDEDTIME TEXT NOT NULL, DISK_DEVICE INTEGER, DISK_FILE_NUMBER INTEGER, DISK_SIZE INTEGER,
      DISK_MODIFIED_NS INTEGER, DISK_CHANGED_NS INTEGER);
    CREATE TABLE CARRIED_OVER (HOSTNAME TEXT COLLATE NOCASE PRIMARY KEY, CARRIEDTIME TEXT NOT NULL);
    PRAGMA user_version = 1;)sql");
  ChangeIndex(cache, "INSERT INTO CARRIED_OVER VALUES('" + Host() + "', '2026-01-01 00:00:00.000')");
  for (const auto& [name, doc_id] : {std::pair{"plan.doc", plan}, std::pair{"notes.doc", notes}}) {
    const rt::RowSet current = rt::CurrentDataSession().QueryBound(
        "SELECT CONTENT_ID, FILE_SIZE, SHA256 FROM DB_FILE_CONTENT WHERE LABDOC_ID = ? AND REPLACEDTIME IS NULL",
        {std::int64_t{doc_id}});
    ChangeIndex(cache, "INSERT INTO CACHED_COPY VALUES('" + std::string(name) + "', " + std::to_string(doc_id) + ", " +
                           std::to_string(std::get<std::int64_t>(current.rows.at(0).at(0))) + ", " +
                           std::to_string(std::get<std::int64_t>(current.rows.at(0).at(1))) + ", '" +
                           std::get<std::string>(current.rows.at(0).at(2)) + "', '" + Host() +
                           "', '2026-01-01 00:00:00.000', NULL, NULL, NULL, NULL, NULL)");
  }
  // The database still says what the index says of the plan's copy only.
  RecordInDatabase(Host(), cache, "plan.doc", plan);

  ASSERT_EQ(InitWith(cache), S_OK);
  EXPECT_EQ(IndexInteger(cache, "PRAGMA user_version"), 2);
  EXPECT_EQ(Check(plan, cache + "plan.doc"), 1);
  EXPECT_EQ(Check(notes, cache + "notes.doc"), 0) << "a record of no database counts as none";

  // Another database carries its own rows over once, as its records.
  rt::testing::TestDatabase other(rt::testing::EngineUnderTest(), folder_.Native("other.db").string());
  rt::OpenSession(other.Setting());
  const std::int32_t report = Save(WriteSource("src\\report.doc", "the stored report"));
  Write(cache + "report.doc", "the report, edited");
  RecordInDatabase(Host(), cache, "report.doc", report);
  RecordInDatabase(Host(), cache, "plan.doc", report);
  ASSERT_EQ(InitWith(cache), S_OK);
  EXPECT_EQ(Check(report, cache + "report.doc"), 1);
  EXPECT_EQ(Check(report, cache + "plan.doc"), 0) << "the plan's copy is the first database's";
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CARRIED_OVER"), 2);
  rt::OpenSession(Setting());
  ASSERT_EQ(InitWith(cache), S_OK);
  EXPECT_EQ(Check(report, cache + "report.doc"), 0) << "the report's copy is the other database's";
  EXPECT_EQ(Check(plan, cache + "plan.doc"), 1);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CARRIED_OVER"), 2);
}

// Six processes start on one new cache folder and fetch a document each at
// once: the index is made once, the database's records are carried over
// once, and every copy is recorded as the document it is.
TEST_F(CacheIndexTest, ProcessesFetchingIntoOneFolderAtOnceKeepOneConsistentIndex) {
  constexpr int kProcesses = 6;
  std::vector<std::int32_t> docs;
  for (int i = 0; i < kProcesses; ++i)
    docs.push_back(Save(WriteSource("src\\doc" + std::to_string(i) + ".bin", Content(200'000, i))));
  const std::string cache = folder_.Ansi("共享缓存\\");
  const std::string cache_argument = rt::testing::PathUtf8(rt::platform::NativePath(cache));
  // Keyed by the folder as the helpers name it: the native path they are
  // given, as ANSI text (on Windows their arguments arrive in the ANSI code
  // page already).
  RecordInDatabase(Host(),
                   rt::IncludeTrailingPathDelimiter(rt::platform::FromNativePath(rt::platform::ToNativePath(cache))),
                   "earlier.doc", docs[0]);
  rt::testing::SetEnv("LABDOCS_DATABASE", Setting());
  const fs::path go = folder_.Native("go");
  std::vector<std::unique_ptr<rt::testing::Process>> helpers;
  for (int i = 0; i < kProcesses; ++i) {
    const std::string n = std::to_string(i);
    rt::testing::ProcessOptions options;
    options.standard_error = folder_.Native("errors" + n);
    helpers.push_back(rt::testing::StartProcess(
        rt::testing::BuiltProgram("labdoc_fetch_helper"),
        {cache_argument, std::to_string(docs[i]), rt::testing::PathUtf8(folder_.Native("ready" + n)),
         rt::testing::PathUtf8(go), rt::testing::PathUtf8(folder_.Native("report" + n))},
        options));
  }
  const auto all_ready = [&] {
    for (int i = 0; i < kProcesses; ++i)
      if (!fs::exists(folder_.Native("ready" + std::to_string(i)))) return false;
    return true;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!all_ready() && std::chrono::steady_clock::now() < deadline)
    rt::platform::SleepFor(std::chrono::milliseconds(2));
  std::ofstream(go).put('1');
  for (int i = 0; i < kProcesses; ++i) {
    EXPECT_EQ(helpers[i]->Wait(), 0) << i;
    std::ifstream report(folder_.Native("report" + std::to_string(i)));
    std::string status;
    report >> status;
    std::ifstream errors(folder_.Native("errors" + std::to_string(i)), std::ios::binary);
    EXPECT_EQ(status, "00000000") << i << ": " << std::string(std::istreambuf_iterator<char>(errors), {});
  }
  rt::testing::SetEnv("LABDOCS_DATABASE", std::nullopt);

  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'"), 0);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CARRIED_OVER"), 1);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CACHED_COPY"), kProcesses + 1);
  ASSERT_EQ(InitWith(cache), S_OK);
  for (int i = 0; i < kProcesses; ++i) {
    const std::string copy = cache + "doc" + std::to_string(i) + ".bin";
    EXPECT_EQ(IndexInteger(cache,
                           "SELECT LABDOC_ID FROM CACHED_COPY WHERE FILE_NAME = 'doc" + std::to_string(i) + ".bin'"),
              docs[i]);
    EXPECT_EQ(Check(docs[i], copy), 0) << i;
    Write(copy, "edited");
    EXPECT_EQ(Check(docs[i], copy), 1) << i;
  }
}

class TwoDatabasesTest : public CacheIndexTest, public ::testing::WithParamInterface<rt::Engine> {
 protected:
  rt::Engine TestedEngine() const override { return GetParam(); }

  enum class Ask { Check, StoredMeanwhile, Fetch, Update };

  // Makes the database the process's session, as the console does when it
  // starts on it, and initialises the store on the test's cache folder.
  void Use(const std::string& setting) {
    rt::OpenSession(setting);
    ASSERT_EQ(InitWith(cache_), S_OK);
  }
  // The store's answer about the copy of that name in the cache folder:
  // CheckLabDoc's "newer", StoredMeanwhileLabDoc's "stored", whether a
  // fetch of the document or an update of it with the copy succeeds. A
  // refusal's reason goes to `reason`.
  int Answer(Ask ask, std::int32_t doc_id, const std::string& copy, std::string& reason) {
    std::uint8_t answer = 0xAA;
    HRESULT status = S_OK;
    std::string path;
    char notice[kNoticeBufferSize];
    switch (ask) {
      case Ask::Check: return Check(doc_id, copy);
      case Ask::StoredMeanwhile:
        status = store_.StoredMeanwhileLabDoc(doc_id, copy.c_str(), notice, &answer);
        if (answer == 1) reason = notice;
        break;
      case Ask::Fetch: status = Get(doc_id, answer, path); break;
      case Ask::Update: status = store_.UpdateLabDoc(doc_id, copy.c_str(), &answer); break;
    }
    if (status == E_FAIL) {
      reason = rt::TakeErrorInfo();
      return 0;
    }
    EXPECT_EQ(status, S_OK) << Described(status);
    return answer;
  }
  // The fixture's database as another spelling names it: the file's path
  // through a folder and back, or the server's setting with other
  // connection details and the search path given in another form.
  std::string Respelt() const {
    if (GetParam() == rt::Engine::Sqlite) {
      EXPECT_TRUE(rt::ForceDirectories(folder_.Ansi("sub\\")));
      return (folder_.Native("sub") / ".." / "labdocs.db").string();
    }
    const std::string marker = " options='-csearch_path=";
    const std::size_t at = Setting().find(marker);
    EXPECT_NE(at, std::string::npos) << "the tests' setting took another form";
    const std::string schema = Setting().substr(at + marker.size(), Setting().find(',', at) - at - marker.size());
    return "application_name=respelt " + Setting().substr(0, at) +
           " connect_timeout=9 options='--search-path=" + schema +
           ",\\\\ public'";  // the blank escaped for libpq, then for the server
  }
};

// One cache folder, two databases, each with documents 1 "plan.doc", 2
// "notes.doc" and 3 "memo.doc" (as the home's database and the laboratory's
// that the console reaches with --database): a copy fetched from one is no
// copy the store put there for the other one, whatever its record's
// numbers; one unchanged since it was fetched may be replaced all the same.
TEST_P(TwoDatabasesTest, ACopyIsTheDocumentOfTheDatabaseItWasFetchedFromOnly) {
  const std::int32_t plan = Save(WriteSource("a\\plan.doc", "A's plan"));
  const std::int32_t notes = Save(WriteSource("a\\notes.doc", "A's notes"));
  const std::int32_t memo = Save(WriteSource("a\\memo.doc", "A's memo"));
  rt::testing::TestDatabase other(GetParam(), folder_.Native("other.db").string());
  Use(other.Setting());
  ASSERT_EQ(Save(WriteSource("b\\plan.doc", "B's plan")), plan);
  ASSERT_EQ(Save(WriteSource("b\\notes.doc", "B's notes")), notes);
  ASSERT_EQ(Save(WriteSource("b\\memo.doc", "B's memo")), memo);
  // B's plan has a content stored after A's plan was (by its numbers).
  std::uint8_t ok = 0;
  ASSERT_EQ(store_.UpdateLabDoc(plan, WriteSource("b2\\plan.doc", "B's plan, second").c_str(), &ok), S_OK);

  // Fetched from A, and A's plan edited.
  Use(Setting());
  const std::string plan_copy = Fetch(plan);
  const std::string notes_copy = Fetch(notes);
  const std::string memo_copy = Fetch(memo);
  Write(plan_copy, "A's plan, edited");

  enum Database { kA, kB, kARespelt };
  const std::string settings[] = {Setting(), other.Setting(), Respelt()};
  struct Step {
    const char* what;
    Database database;
    Ask ask;
    std::int32_t doc_id;
    const std::string& copy;
    int answer;
    const char* reason;  // a part of the refusal's reason, if refused
  };
  const Step steps[] = {
      {"A's edited plan is no newer copy of B's", kB, Ask::Check, plan, plan_copy, 0, nullptr},
      {"nothing was stored in B since A's plan was fetched", kB, Ask::StoredMeanwhile, plan, plan_copy, 0, nullptr},
      {"B's plan is not fetched over A's edits, which are no copy of B's", kB, Ask::Fetch, plan, plan_copy, 0,
       "不是从文档库取出的原样副本"},
      {"A's notes may be stored as B's plan", kB, Ask::Update, plan, notes_copy, 1, nullptr},
      {"A's unchanged memo is fetched over by B's memo: A keeps its bytes", kB, Ask::Fetch, memo, memo_copy, 1,
       nullptr},
      {"A's edited plan is still A's", kA, Ask::Check, plan, plan_copy, 1, nullptr},
      {"and so for A named by another spelling", kARespelt, Ask::Check, plan, plan_copy, 1, nullptr},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    Use(settings[step.database]);
    std::string reason;
    EXPECT_EQ(Answer(step.ask, step.doc_id, step.copy, reason), step.answer) << reason;
    if (step.reason != nullptr) {
      EXPECT_NE(reason.find(step.reason), std::string::npos) << reason;
    }
    EXPECT_EQ(ReadAnsi(plan_copy), "A's plan, edited");
  }
  EXPECT_EQ(ReadAnsi(memo_copy), "B's memo");
  Use(Setting());  // the other database goes before the test's session
}

INSTANTIATE_TEST_SUITE_P(Engines, TwoDatabasesTest, ::testing::ValuesIn(TestedEngines()), EngineName);

}  // namespace
}  // namespace labdocs::labdoc::testing
