// Workstations sharing one database, through the store's entry points, on
// SQLite and on the server: revisions in progress are named while their
// owner lives and go once it has ended; a content stored after a copy was
// fetched is named with who stored it, where and when.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "labdoc/testing/other_owner.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/host/environment.h"
#include "runtime/text/gbk.h"

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
    EXPECT_EQ(store_.BeginReviseLabDoc(doc_id, notice, &others), S_OK);
    return notice;
  }
  std::string StoredMeanwhile(std::int32_t doc_id, const std::string& path, std::uint8_t& stored) {
    char notice[kNoticeBufferSize];
    std::memset(notice, 'x', sizeof notice);
    EXPECT_EQ(store_.StoredMeanwhileLabDoc(doc_id, path.c_str(), notice, &stored), S_OK);
    return notice;
  }

  rt::HostEnvironment mine_;
};

// On the server the other owner is another person's login, whose
// connections' details the server hides from this one; rows of older
// versions name a connection (of this login, which sees it).
TEST_P(RevisionsTest, ARevisionIsNamedWhileItsOwnerLivesAndGoesWhenItEnds) {
  const std::int32_t doc_id = Save(WriteSource("规程.doc", "原稿"));
  std::vector<OtherOwner::Form> forms{OtherOwner::Form::Key};
  if (GetParam() == rt::Engine::Postgres) forms.push_back(OtherOwner::Form::Connection);
  for (const OtherOwner::Form form : forms) {
    SCOPED_TRACE(form == OtherOwner::Form::Key ? "a key" : "a connection");
    OtherOwner other(GetParam(), folder_.Ansi("labdocs.db-labdoc-locks\\"), "00000000000000b1", form);
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
    EXPECT_EQ(store_.EndReviseLabDoc(second), S_OK);

    other.Stop();
    EXPECT_EQ(Begin(doc_id, others), "");
    EXPECT_EQ(others, 0);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_REVISING"), 1) << "the ended owner's row went; this one's stays";
    EXPECT_EQ(store_.EndReviseLabDoc(doc_id), S_OK);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_REVISING"), 0);
  }
}

// A server ends the store's connection (a restart, a network cut): the
// store's next statement makes it anew, and its revision is its own still,
// alive to every login.
TEST_P(RevisionsTest, ARevisionStaysItsOwnersAfterTheConnectionWasMadeAnew) {
  if (GetParam() != rt::Engine::Postgres) GTEST_SKIP() << "a server's connection";
  const std::int32_t doc_id = Save(WriteSource("规程.doc", "原稿"));
  std::uint8_t others = 0;
  EXPECT_EQ(Begin(doc_id, others), "");
  const rt::RowSet rows = rt::Session().QueryBound("SELECT OWNER FROM DB_FILE_REVISING", {});
  ASSERT_EQ(rows.rows.size(), 1u);
  const std::optional<std::int64_t> key = ServerKeyOf(std::get<std::string>(rows.rows[0][0]));
  ASSERT_TRUE(key.has_value());

  const std::int64_t pid = Count("SELECT pg_backend_pid()");
  const std::unique_ptr<rt::DataSession> same_login = rt::Connect(Setting());
  same_login->ExecuteBound("SELECT pg_terminate_backend(?)", {pid});
  for (int i = 0; i < 500 && !same_login->QueryBound("SELECT 1 FROM pg_stat_activity WHERE pid = ?", {pid}).rows.empty();
       ++i)
    rt::platform::SleepFor(std::chrono::milliseconds(10));
  EXPECT_NE(Count("SELECT pg_backend_pid()"), pid) << "a new connection";

  const std::unique_ptr<rt::DataSession> other_login =
      rt::Connect(test_database_->SettingAs(rt::testing::StaffLogin(2)));
  EXPECT_EQ(other_login->LivenessKeyHeld(*key), true);
  EXPECT_EQ(store_.EndReviseLabDoc(doc_id), S_OK);
  EXPECT_EQ(other_login->LivenessKeyHeld(*key), false);
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
    EXPECT_EQ(store_.UpdateLabDoc(doc_id, WriteSource("PC-B\\方案.doc", "李四的修改").c_str(), &ok), S_OK);
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
  EXPECT_EQ(store_.UpdateLabDoc(doc_id, copy.c_str(), &ok), S_OK);
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
  EXPECT_EQ(store_.EndReviseLabDoc(doc_id), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Engines, RevisionsTest, ::testing::ValuesIn(TestedEngines()), EngineName);

}  // namespace
}  // namespace labdocs::labdoc::testing
