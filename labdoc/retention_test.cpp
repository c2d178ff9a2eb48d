// The laboratory's retention of revisions, on SQLite and on the server:
// replacing a content gives up the document's revisions that the setting
// does not keep, with their chunks and their space, never the current
// content, and never while someone else revises the document; only the
// laboratory's owner changes the setting.
#include "labdoc/retention.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>

#include "labdoc/testing/other_owner.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/data/sqlite/content_file.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;
using Kind = Retention::Kind;

class RetentionTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    ASSERT_EQ(InitWith(cache_), S_OK);
  }

  // On the server only the laboratory's owner may change the setting.
  void SetRetention(const Retention& retention) { WriteRetention(test_database_->Owner(), retention); }

  void Update(std::int32_t doc_id, const std::string& bytes, const char* name) {
    std::uint8_t ok = 0;
    ASSERT_EQ(store_.UpdateLabDoc(doc_id, WriteSource(name, bytes).c_str(), &ok), S_OK);
    ASSERT_EQ(ok, 1);
  }

  // The document's contents, oldest first.
  std::vector<std::int64_t> Contents(std::int32_t doc_id) {
    std::vector<std::int64_t> ids;
    for (const auto& row :
         rt::CurrentDataSession()
             .QueryBound("SELECT CONTENT_ID FROM DB_FILE_CONTENT WHERE LABDOC_ID = ? ORDER BY CONTENT_ID",
                         {std::int64_t{doc_id}})
             .rows)
      ids.push_back(std::get<std::int64_t>(row[0]));
    return ids;
  }

  std::int64_t Chunks(std::int64_t content_id) {
    return Count("SELECT count(*) FROM DB_FILE_CHUNK WHERE CONTENT_ID = " + std::to_string(content_id));
  }

  // Makes a revision look replaced that many days ago.
  void Age(std::int64_t content_id, double days) {
    rt::CurrentDataSession().ExecuteBound("UPDATE DB_FILE_CONTENT SET REPLACEDTIME = ? WHERE CONTENT_ID = ?",
                                          {rt::Value(rt::DateTime{rt::Now().days - days}), content_id});
  }

  std::string ContentFile() { return rt::sqlite::content_file::FilePath(SqliteSession().Handle(), database_); }
};

// Four contents stored while every revision is kept, the three revisions
// replaced 40, 31 and 29 days ago; then the setting, and a fifth content.
TEST_F(RetentionTest, ReplacingAContentGivesUpTheRevisionsTheSettingDoesNotKeep) {
  struct Case {
    Retention retention;
    std::set<std::size_t> kept;  // of the five contents, oldest first
  };
  // clang-format off
  const Case cases[] = {
      {{Kind::KeepAll, 0}, {0, 1, 2, 3, 4}},
      {{Kind::KeepLast, 2}, {2, 3, 4}},
      {{Kind::KeepLast, 1}, {3, 4}},
      {{Kind::KeepDays, 35}, {1, 2, 3, 4}},
      {{Kind::KeepDays, 30}, {2, 3, 4}},
  };
  // clang-format on
  unsigned seed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(RetentionText(c.retention));
    SetRetention({});
    std::vector<std::string> bodies;
    for (int i = 0; i < 5; ++i) bodies.push_back(Content((2 << 20) + 7, ++seed));
    const std::int32_t doc_id = Save(WriteSource("规程.doc", bodies[0]));
    for (std::size_t i = 1; i < 4; ++i) Update(doc_id, bodies[i], "规程.doc");
    const std::vector<std::int64_t> first_four = Contents(doc_id);
    ASSERT_EQ(first_four.size(), 4u) << "every revision is kept by default";
    Age(first_four[0], 40);
    Age(first_four[1], 31);
    Age(first_four[2], 29);
    SetRetention(c.retention);
    ASSERT_EQ(ReadRetention(rt::CurrentDataSession()), c.retention);
    const std::uintmax_t before = OnServer() ? 0 : fs::file_size(ContentFile());

    Update(doc_id, bodies[4], "规程.doc");
    std::vector<std::int64_t> all = first_four;
    all.push_back(Contents(doc_id).back());
    std::vector<std::int64_t> expected;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (c.kept.contains(i)) {
        expected.push_back(all[i]);
        EXPECT_EQ(Chunks(all[i]), 3) << "content " << i << " kept whole";
      } else {
        EXPECT_EQ(Chunks(all[i]), 0) << "content " << i << "'s chunks went with it";
      }
    }
    EXPECT_EQ(Contents(doc_id), expected);
    EXPECT_EQ(ReadAnsi(Fetch(doc_id)), bodies[4]);
    if (!OnServer()) {
      // The file grew by the new content and gave back the removed ones'
      // pages: 2 MiB each, give or take their last pages.
      const auto after = static_cast<std::int64_t>(fs::file_size(ContentFile()));
      const auto removed = static_cast<std::int64_t>(5 - c.kept.size());
      const std::int64_t expected_size = static_cast<std::int64_t>(before) + (1 - removed) * (2 << 20);
      EXPECT_LT(std::abs(after - expected_size), 1 << 19) << before << " -> " << after;
      EXPECT_EQ(Count("PRAGMA content.freelist_count"), 0);
      EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_REMOVED_CONTENT"), 0);
    }
  }
}

// Someone else's live revision of the document holds its revisions back
// until it ends; this process's own does not.
TEST_F(RetentionTest, TheRevisionsOfADocumentSomeoneElseRevisesWaitUntilTheRevisionEnds) {
  const std::int32_t doc_id = Save(WriteSource("方案.doc", "第一版"));
  Update(doc_id, "第二版", "方案.doc");
  Update(doc_id, "第三版", "方案.doc");
  SetRetention({Kind::KeepLast, 1});
  {
    OtherOwner other(rt::testing::EngineUnderTest(), folder_.Ansi("labdocs.db-labdoc-locks\\"));
    rt::CurrentDataSession().ExecuteBound(
        "INSERT INTO DB_FILE_REVISING(OWNER, LABDOC_ID, HOSTNAME, USERID, USERNAME, SINCE) VALUES(?, ?, ?, ?, ?, ?)",
        {other.Token(), std::int64_t{doc_id}, std::string("PC-B"), std::string("lisi"), std::string("李四"),
         rt::Value(rt::Now())});
    Update(doc_id, "第四版", "方案.doc");
    EXPECT_EQ(Contents(doc_id).size(), 4u) << "李四 revises it";
    other.Stop();
  }
  char notice[kNoticeBufferSize] = {};
  std::uint8_t others = 0;
  ASSERT_EQ(store_.BeginReviseLabDoc(doc_id, notice, &others), S_OK);
  Update(doc_id, "第五版", "方案.doc");
  EXPECT_EQ(Contents(doc_id).size(), 2u) << "the ended revision holds nothing back, nor this process's own";
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), "第五版");
  EXPECT_EQ(store_.EndReviseLabDoc(doc_id), S_OK);
}

// Every revision is kept unless the laboratory says otherwise; the staff
// and the readers read the setting, only the owner changes it.
TEST_F(RetentionTest, TheSettingIsReadByEveryoneAndChangedByTheOwnerOnly) {
  EXPECT_EQ(ReadRetention(rt::CurrentDataSession()), Retention{});
  EXPECT_EQ(DescribeRetention(rt::CurrentDataSession()), "保留全部版本");
  SetRetention({Kind::KeepDays, 30});
  EXPECT_EQ(DescribeRetention(rt::CurrentDataSession()), "保留 30 天内的版本");
  SetRetention({Kind::KeepLast, 2});
  EXPECT_EQ(DescribeRetention(rt::CurrentDataSession()), "保留最近 2 个版本");
  if (!OnServer()) return;  // a file has no logins: whoever may write it sets it
  for (const std::string& login : {rt::testing::StaffLogin(1), std::string(rt::testing::kReaderLogin)}) {
    SCOPED_TRACE(login);
    const std::unique_ptr<rt::DataSession> session = rt::Connect(test_database_->SettingAs(login));
    EXPECT_EQ(ReadRetention(*session), (Retention{Kind::KeepLast, 2}));
    try {
      WriteRetention(*session, {});
      ADD_FAILURE() << "changed the setting";
    } catch (const rt::EDatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("SQLSTATE 42501"), std::string::npos) << error.what();
    }
  }
  EXPECT_EQ(ReadRetention(rt::CurrentDataSession()), (Retention{Kind::KeepLast, 2}));
}

}  // namespace
}  // namespace labdocs::labdoc::testing
