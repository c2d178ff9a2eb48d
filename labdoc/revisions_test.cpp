// Workstations sharing one database, through the store's entry points, on
// SQLite and on the server: revisions in progress are named while their
// owner lives and go once it has ended; a content stored after a copy was
// fetched is named with who stored it, where and when.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "labdoc/testing/store_fixture.h"
#include "runtime/file_lock.h"
#include "runtime/host/environment.h"
#include "runtime/platform/sleep.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
#include "runtime/data/postgres/testing/test_server.h"
#endif

namespace labdocs::labdoc::testing {
namespace {

class RevisionsTest : public StoreTest, public ::testing::WithParamInterface<rt::Engine> {
 protected:
  rt::Engine TestedEngine() const override { return GetParam(); }

  void SetUp() override {
    StoreTest::SetUp();
    mine_ = rt::Environment();
  }
  void TearDown() override {
    rt::SetEnvironment(mine_);
    StoreTest::TearDown();
  }

  // Runs `body` as another workstation: PC-B, where 李四 works.
  template <class Body>
  void AsOtherWorkstation(Body&& body) {
    rt::HostEnvironment other = mine_;
    other.computer_name = "PC-B";
    other.user_name = "李四";
    rt::SetEnvironment(other);
    body();
    rt::SetEnvironment(mine_);
  }

  std::string Begin(std::int32_t doc_id, std::uint8_t& others) {
    char notice[kNoticeBufferSize];
    std::memset(notice, 'x', sizeof notice);
    EXPECT_EQ(store_.BeginRevise(doc_id, notice, &others), S_OK);
    return notice;
  }
  std::string StoredMeanwhile(std::int32_t doc_id, const std::string& path, std::uint8_t& stored) {
    char notice[kNoticeBufferSize];
    std::memset(notice, 'x', sizeof notice);
    EXPECT_EQ(store_.StoredMeanwhile(doc_id, path.c_str(), notice, &stored), S_OK);
    return notice;
  }

  rt::HostEnvironment mine_;
};

// Another workstation's revision, held by a live owner until Stop: a
// process's lock file on SQLite, a connection of its own on the server.
class OtherOwner {
 public:
  OtherOwner(rt::Engine engine, const std::string& owners_folder) {
    if (engine == rt::Engine::Sqlite) {
      token_ = "00000000000000b1";
      EXPECT_TRUE(rt::ForceDirectories(owners_folder));
      EXPECT_EQ(lock_.Create(owners_folder + token_ + ".lock"), rt::FileLock::Outcome::Taken);
      return;
    }
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
    connection_ = std::make_unique<rt::postgres::Connection>(rt::postgres::testing::ServerConnectionString());
    const std::optional<rt::RowSet> self = connection_->QueryText(
        "SELECT 'pg:' || pid || ':' || (extract(epoch FROM backend_start) * 1000000)::bigint, pg_backend_pid()"
        " FROM pg_stat_activity WHERE pid = pg_backend_pid()");
    token_ = std::get<std::string>(self->rows.at(0).at(0));
    pid_ = std::get<std::int64_t>(self->rows.at(0).at(1));
#endif
  }
  const std::string& Token() const { return token_; }

  // The owner ends as a workstation that dies: its lock goes with its
  // process, its connection with it. (The server's backend ends a moment
  // after its client; this waits for it.)
  void Stop() {
    lock_.Release();
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
    if (!connection_) return;
    connection_.reset();
    for (int i = 0; i < 100; ++i) {
      if (rt::Session().QueryBound("SELECT 1 FROM pg_stat_activity WHERE pid = ?", {pid_}).rows.empty()) return;
      rt::platform::SleepFor(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the server still lists the ended connection";
#endif
  }

 private:
  std::string token_;
  rt::FileLock lock_;
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
  std::unique_ptr<rt::postgres::Connection> connection_;
  std::int64_t pid_ = 0;
#endif
};

TEST_P(RevisionsTest, ARevisionIsNamedWhileItsOwnerLivesAndGoesWhenItEnds) {
  const std::int32_t doc_id = Save(WriteSource("规程.doc", "原稿"));
  OtherOwner other(GetParam(), folder_.Ansi("labdocs.db-labdoc-locks\\"));
  rt::Session().ExecuteBound(
      "INSERT INTO DB_FILE_REVISING(OWNER, LABDOC_ID, HOSTNAME, USERID, USERNAME, SINCE) VALUES(?, ?, ?, ?, ?, ?)",
      {other.Token(), std::int64_t{doc_id}, std::string("PC-B"), std::string("lisi"), std::string("李四"),
       std::string("2026-12-07 09:30:00.000")});
  std::uint8_t others = 0;
  EXPECT_EQ(Begin(doc_id, others), "李四(PC-B) 自 2026-12-07 09:30:00 起正在修改此文档\n");
  EXPECT_EQ(others, 1);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_REVISING"), 2) << "this workstation's revision is known too";
  // Another document is revised by nobody else.
  const std::int32_t second = Save(WriteSource("第二.doc", "另一份"));
  EXPECT_EQ(Begin(second, others), "");
  EXPECT_EQ(others, 0);
  EXPECT_EQ(store_.EndRevise(second), S_OK);

  other.Stop();
  EXPECT_EQ(Begin(doc_id, others), "");
  EXPECT_EQ(others, 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_REVISING"), 1) << "the ended owner's row went; this one's stays";
  EXPECT_EQ(store_.EndRevise(doc_id), S_OK);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_REVISING"), 0);
}

TEST_P(RevisionsTest, AContentStoredAfterTheCopyWasFetchedIsNamed) {
  const std::int32_t doc_id = Save(WriteSource("方案.doc", "原稿"));
  const std::string copy = Fetch(doc_id);
  folder_.Write("DocCache\\方案.doc", "我的修改");
  std::uint8_t stored = 0xAA;
  EXPECT_EQ(StoredMeanwhile(doc_id, copy, stored), "");
  EXPECT_EQ(stored, 0) << "nobody stored anything since the fetch";

  AsOtherWorkstation([&] {
    std::uint8_t ok = 0;
    EXPECT_EQ(store_.Update(doc_id, WriteSource("PC-B\\方案.doc", "李四的修改").c_str(), &ok), S_OK);
    EXPECT_EQ(ok, 1);
  });
  const std::string notice = StoredMeanwhile(doc_id, copy, stored);
  EXPECT_EQ(stored, 1);
  EXPECT_EQ(notice.rfind("李四(PC-B) 于 ", 0), 0u) << notice;
  EXPECT_NE(notice.find(" 存入了此文档的新内容(在您取出此副本之后)"), std::string::npos) << notice;

  // The copy holding the very bytes stored replaces nothing; neither does
  // a path outside the cache.
  folder_.Write("DocCache\\方案.doc", "李四的修改");
  EXPECT_EQ(StoredMeanwhile(doc_id, copy, stored), "");
  EXPECT_EQ(stored, 0);
  EXPECT_EQ(StoredMeanwhile(doc_id, WriteSource("别处\\方案.doc", "我的修改"), stored), "");
  EXPECT_EQ(stored, 0);

  // Once this workstation has stored its copy, its record names that
  // content: nothing was stored after it.
  folder_.Write("DocCache\\方案.doc", "我的修改");
  std::uint8_t ok = 0;
  EXPECT_EQ(store_.Update(doc_id, copy.c_str(), &ok), S_OK);
  EXPECT_EQ(StoredMeanwhile(doc_id, copy, stored), "");
  EXPECT_EQ(stored, 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 0"), 3) << "every content is kept";
}

// A notice longer than the caller's buffer is cut at a whole character.
TEST_P(RevisionsTest, ALongNoticeIsCutAtAWholeCharacter) {
  const std::int32_t doc_id = Save(WriteSource("长名.doc", "原稿"));
  OtherOwner other(GetParam(), folder_.Ansi("labdocs.db-labdoc-locks\\"));
  std::string name;
  for (int i = 0; i < 300; ++i) name += "淺";  // 9C 5C: a trail byte that is a backslash
  rt::Session().ExecuteBound(
      "INSERT INTO DB_FILE_REVISING(OWNER, LABDOC_ID, HOSTNAME, USERID, USERNAME, SINCE) VALUES(?, ?, ?, ?, ?, ?)",
      {other.Token(), std::int64_t{doc_id}, std::string("PC-B"), std::string("lisi"), name,
       std::string("2026-12-07 09:30:00.000")});
  std::uint8_t others = 0;
  const std::string notice = Begin(doc_id, others);
  EXPECT_EQ(others, 1);
  EXPECT_EQ(notice.size(), kNoticeBufferSize - 2) << "511 bytes would split a character";
  EXPECT_EQ(notice, name.substr(0, notice.size()));
  EXPECT_NO_THROW(rt::gbk::ToUtf8(notice));
  EXPECT_EQ(store_.EndRevise(doc_id), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Engines, RevisionsTest, ::testing::ValuesIn(TestedEngines()), EngineName);

}  // namespace
}  // namespace labdocs::labdoc::testing
