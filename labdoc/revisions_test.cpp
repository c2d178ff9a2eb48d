// Workstations sharing one database, through the store's entry points, on
// SQLite and on the server: revisions in progress are named while their
// owner lives and go once it has ended; a content stored after a copy was
// fetched is named with who stored it, where and when, and a copy stored
// back never replaces it unasked.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "labdoc/testing/other_owner.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/services/environment.h"
#include "runtime/sysutils.h"
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

  // UpdateExpectingLabDoc: the answer, with *expected and the notice after it.
  struct Expecting {
    std::uint8_t ok = 0xAA;
    std::int64_t expected = 0;
    std::string notice;
  };
  Expecting UpdateExpecting(std::int32_t doc_id, const std::string& path, std::int64_t expected) {
    Expecting answer;
    answer.expected = expected;
    char notice[kNoticeBufferSize];
    std::memset(notice, 'x', sizeof notice);
    EXPECT_EQ(store_.UpdateExpectingLabDoc(doc_id, path.c_str(), &answer.expected, notice, &answer.ok), S_OK);
    answer.notice = notice;
    return answer;
  }
  // The document's current content's number.
  std::int64_t CurrentContent(std::int32_t doc_id) {
    return Count("SELECT CONTENT_ID FROM DB_FILE_CONTENT WHERE REPLACEDTIME IS NULL AND PENDING = 0 AND LABDOC_ID = " +
                 std::to_string(doc_id));
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
    rt::CurrentDataSession().ExecuteBound(
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
  const rt::RowSet rows = rt::CurrentDataSession().QueryBound("SELECT OWNER FROM DB_FILE_REVISING", {});
  ASSERT_EQ(rows.rows.size(), 1u);
  const std::optional<std::int64_t> key = ServerKeyOf(std::get<std::string>(rows.rows[0][0]));
  ASSERT_TRUE(key.has_value());

  const std::int64_t pid = Count("SELECT pg_backend_pid()");
  const std::unique_ptr<rt::DataSession> same_login = rt::Connect(Setting());
  same_login->ExecuteBound("SELECT pg_terminate_backend(?)", {pid});
  for (int i = 0;
       i < 500 && !same_login->QueryBound("SELECT 1 FROM pg_stat_activity WHERE pid = ?", {pid}).rows.empty(); ++i)
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

// Two workstations store back one document. The other one (PC-B, 李四)
// stores its content before this one's store-back begins, or while its
// upload runs: a process of its own on a connection of its own, while this
// upload is held after its chunks (LABDOCS_TEST_UPLOAD_BARRIER). Either
// way this copy is not stored: the answer names the other content and who
// stored it, and nothing of the upload is left. Storing again in place of
// that content (the user said yes) keeps it as a revision; a content
// stored over it meanwhile is named anew.
TEST_P(RevisionsTest, ACopyStoredBackNeverReplacesAContentStoredMeanwhileUnasked) {
  for (const bool during_upload : {false, true}) {
    SCOPED_TRACE(during_upload ? "stored during the upload" : "stored before the store-back");
    const std::int32_t doc_id = Save(WriteSource("方案.doc", "原稿"));
    const std::string copy = Fetch(doc_id);
    folder_.Write("DocCache\\方案.doc", "我的修改");
    const std::string theirs = WriteSource("PC-B\\方案.doc", "李四的修改");
    // An upload makes the barrier's "reached"; one before which the other
    // content was stored passes it (its "go" is there) but never comes. The
    // folder's name goes through the environment, which a test sets in
    // UTF-8 and the store reads in the system's code page: ASCII reads
    // the same in both.
    const std::string barrier = folder_.Ansi(during_upload ? "barrier1\\" : "barrier0\\");
    std::filesystem::create_directories(rt::platform::NativePath(barrier));
    Expecting answer;
    if (during_upload) {
      rt::testing::ScopedEnv database("LABDOCS_DATABASE", Setting());
      rt::testing::ScopedEnv held("LABDOCS_TEST_UPLOAD_BARRIER", barrier);
      rt::testing::ProcessOptions options;
      options.environment = {"LABDOCS_TEST_UPLOAD_BARRIER="};
      options.standard_error = rt::platform::NativePath(barrier + "errors");
      const std::unique_ptr<rt::testing::Process> other = rt::testing::StartProcess(
          rt::testing::BuiltProgram("labdoc_fetch_helper"),
          {"update", rt::testing::PathUtf8(rt::platform::NativePath(folder_.Ansi("PC-B缓存\\"))),
           std::to_string(doc_id), rt::testing::PathUtf8(rt::platform::NativePath(theirs)),
           rt::testing::PathUtf8(rt::platform::NativePath(barrier))},
          options);
      answer = UpdateExpecting(doc_id, copy, 0);
      EXPECT_EQ(other->Wait(), 0) << ReadAnsi(barrier + "errors");
    } else {
      AsOtherWorkstation([&] {
        std::uint8_t ok = 0;
        EXPECT_EQ(store_.UpdateLabDoc(doc_id, theirs.c_str(), &ok), S_OK);
      });
      folder_.Write("barrier0\\go", "1");
      rt::testing::ScopedEnv held("LABDOCS_TEST_UPLOAD_BARRIER", barrier);
      answer = UpdateExpecting(doc_id, copy, 0);
    }
    EXPECT_EQ(rt::FileExists(barrier + "reached"), during_upload)
        << "a content stored before the store-back began is named without an upload";
    const std::int64_t their_content = CurrentContent(doc_id);
    EXPECT_EQ(answer.ok, 0);
    EXPECT_EQ(answer.expected, their_content);
    EXPECT_EQ(answer.notice.rfind("李四(PC-B) 于 ", 0), 0u) << answer.notice;
    EXPECT_NE(answer.notice.find(" 存入了此文档的新内容(在您取出此副本之后)"), std::string::npos) << answer.notice;
    EXPECT_EQ(ReadAnsi(copy), "我的修改") << "the copy keeps the edits";
    // Nothing of the upload is left: no pending content, no chunks of none.
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE LABDOC_ID = " + std::to_string(doc_id)), 2);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK k WHERE NOT EXISTS"
                    " (SELECT 1 FROM DB_FILE_CONTENT c WHERE c.CONTENT_ID = k.CONTENT_ID)"),
              0);

    // Another content stored over the one the user agreed to replace is
    // named in its turn; in place of the named one, the copy is stored.
    AsOtherWorkstation([&] {
      std::uint8_t ok = 0;
      EXPECT_EQ(store_.UpdateLabDoc(doc_id, WriteSource("PC-B\\方案.doc", "李四的再次修改").c_str(), &ok), S_OK);
    });
    const Expecting again = UpdateExpecting(doc_id, copy, answer.expected);
    EXPECT_EQ(again.ok, 0);
    EXPECT_EQ(again.expected, CurrentContent(doc_id));
    EXPECT_NE(again.expected, their_content);
    const Expecting yes = UpdateExpecting(doc_id, copy, again.expected);
    EXPECT_EQ(yes.ok, 1);
    EXPECT_EQ(yes.expected, 0);
    EXPECT_EQ(yes.notice, "");
    EXPECT_EQ(ReadAnsi(Fetch(doc_id)), "我的修改");
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE REPLACEDTIME IS NOT NULL AND LABDOC_ID = " +
                    std::to_string(doc_id)),
              3)
        << "the original and both of the other's contents are kept";
    // The copy's record now names the content it holds: storing it again
    // expects that one.
    folder_.Write("DocCache\\方案.doc", "我的第二次修改");
    EXPECT_EQ(UpdateExpecting(doc_id, copy, 0).ok, 1);
  }
}

// An update that expects a content answers as UpdateLabDoc where there is
// nothing to compare: no document, a file the store did not fetch, a copy
// holding the very bytes of the current content.
TEST_P(RevisionsTest, AnUpdateWithNothingToCompareAnswersAsUpdateLabDoc) {
  const std::int32_t doc_id = Save(WriteSource("方案.doc", "原稿"));
  const std::string copy = Fetch(doc_id);
  AsOtherWorkstation([&] {
    std::uint8_t ok = 0;
    EXPECT_EQ(store_.UpdateLabDoc(doc_id, WriteSource("PC-B\\方案.doc", "李四的修改").c_str(), &ok), S_OK);
  });
  folder_.Write("DocCache\\方案.doc", "李四的修改");
  const std::string elsewhere = WriteSource("别处\\方案.doc", "我的修改");
  const struct {
    const char* what;
    std::int32_t doc_id;
    std::string path;
    int ok;
  } cases[] = {
      {"no such document", doc_id + 1, elsewhere, 0},
      {"a copy of the current bytes", doc_id, copy, 1},
      {"a file outside the cache", doc_id, elsewhere, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Expecting answer = UpdateExpecting(c.doc_id, c.path, 0);
    EXPECT_EQ(answer.ok, c.ok);
    EXPECT_EQ(answer.expected, 0);
    EXPECT_EQ(answer.notice, "");
  }
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), "我的修改");
  std::int64_t expected = 0;
  char notice[kNoticeBufferSize];
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.UpdateExpectingLabDoc(doc_id, copy.c_str(), nullptr, notice, &ok), E_POINTER);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(store_.UpdateExpectingLabDoc(doc_id, copy.c_str(), &expected, nullptr, &ok), E_POINTER);
}

// A notice longer than the caller's buffer is cut at a whole character.
TEST_P(RevisionsTest, ALongNoticeIsCutAtAWholeCharacter) {
  const std::int32_t doc_id = Save(WriteSource("长名.doc", "原稿"));
  OtherOwner other(GetParam(), folder_.Ansi("labdocs.db-labdoc-locks\\"));
  std::string name;
  for (int i = 0; i < 300; ++i) name += "淺";  // 9C 5C: a trail byte that is a backslash
  rt::CurrentDataSession().ExecuteBound(
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
