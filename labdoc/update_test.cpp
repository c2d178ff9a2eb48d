// Replacing a document's content: every replaced content is kept as a
// revision, and a failure part-way leaves the previous content whole.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "labdoc/testing/store_fixture.h"
#include "runtime/data/datetime_text.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/ole/error_info.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;
using rt::Value;

class UpdateTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    original_ = Content(2 * (1 << 20) + 3, 11);
    doc_id_ = Save(WriteSource("方案.doc", original_));
    stored_time_ = StoredTime();
  }

  Value StoredTime() {
    return rt::CurrentDataSession()
        .QueryBound("SELECT STOREDTIME FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {std::int64_t{doc_id_}})
        .rows.at(0)
        .at(0);
  }

  HRESULT Update(const std::string& ansi_path, std::uint8_t& ok) {
    ok = 0xAA;
    return store_.UpdateLabDoc(doc_id_, ansi_path.c_str(), &ok);
  }

  // The document is exactly as it was stored first.
  void ExpectOriginalIntact() {
    EXPECT_EQ(StoredTime(), stored_time_);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 1);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE REPLACEDTIME IS NULL"), 1);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 3);
    const std::string path = Fetch(doc_id_);
    EXPECT_EQ(ReadAnsi(path), original_);
  }

  std::string original_;
  std::int32_t doc_id_ = 0;
  Value stored_time_;
};

TEST_F(UpdateTest, EveryReplacedContentIsKeptWithItsTimeSizeAndDigest) {
  const std::string second = Content(500, 12), third = Content(1 << 20, 13);
  std::uint8_t ok = 0;
  ASSERT_EQ(Update(WriteSource("第二版.doc", second), ok), S_OK);
  ASSERT_EQ(ok, 1);
  ASSERT_EQ(Update(WriteSource("第三版.doc", third), ok), S_OK);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(ReadAnsi(Fetch(doc_id_)), third);

  const rt::RowSet contents = rt::CurrentDataSession().QueryBound(
      "SELECT CONTENT_ID, FILE_NAME, STOREDTIME, FILE_SIZE, SHA256, REPLACEDTIME FROM DB_FILE_CONTENT "
      "WHERE LABDOC_ID = ? ORDER BY CONTENT_ID",
      {std::int64_t{doc_id_}});
  ASSERT_EQ(contents.rows.size(), 3u);
  const std::string bodies[] = {original_, second, third};
  const std::string names[] = {"方案.doc", "第二版.doc", "第三版.doc"};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& row = contents.rows[i];
    EXPECT_EQ(row[1], Value(names[i]));
    EXPECT_EQ(row[3], Value(static_cast<std::int64_t>(bodies[i].size())));
    EXPECT_EQ(row[4], Value(DigestOf(bodies[i])));
    // The kept chunks still make up the content.
    std::string joined;
    for (const auto& chunk :
         rt::CurrentDataSession()
             .QueryBound("SELECT DATA FROM DB_FILE_CHUNK WHERE CONTENT_ID = ? ORDER BY SEQ", {row[0]})
             .rows) {
      const auto& bytes = std::get<std::vector<std::uint8_t>>(chunk[0]);
      joined.append(bytes.begin(), bytes.end());
    }
    EXPECT_EQ(joined, bodies[i]) << i;
    // A revision is replaced when its successor is stored.
    if (i < 2) EXPECT_EQ(row[5], contents.rows[i + 1][2]) << i;
    else EXPECT_EQ(row[5], Value()) << "the current content has no replacement time";
  }
  EXPECT_EQ(contents.rows[0][2], stored_time_);
  // The document row describes its current content under its first name.
  const rt::RowSet document = rt::CurrentDataSession().QueryBound(
      "SELECT FILE_NAME, STOREDTIME, FILE_SIZE, SHA256 FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?",
      {std::int64_t{doc_id_}});
  EXPECT_EQ(document.rows[0][0], Value(std::string("方案.doc")));
  EXPECT_EQ(document.rows[0][1], contents.rows[2][2]);
  EXPECT_GT(std::get<rt::DateTime>(document.rows[0][1]), std::get<rt::DateTime>(stored_time_));
  EXPECT_EQ(document.rows[0][2], Value(static_cast<std::int64_t>(third.size())));
  EXPECT_EQ(document.rows[0][3], Value(DigestOf(third)));

  // Deleting the document deletes its revisions too.
  ASSERT_EQ(store_.DelLabDoc(doc_id_, &ok), S_OK);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 0);
}

TEST_F(UpdateTest, UpdatingFromTheCachedCopyItselfWorks) {
  // The revision workflow edits the fetched copy in the cache and stores it
  // back from there.
  const std::string path = Fetch(doc_id_);
  const std::string edited = Content(70'000, 14);
  { std::ofstream(rt::platform::NativePath(path), std::ios::binary | std::ios::trunc) << edited; }
  std::uint8_t ok = 0;
  ASSERT_EQ(Update(path, ok), S_OK);
  EXPECT_EQ(ok, 1);
  const fs::path probe = folder_.Native("probe");
  fs::create_hard_link(rt::platform::NativePath(path), probe);
  EXPECT_EQ(Fetch(doc_id_), path);
  EXPECT_TRUE(fs::equivalent(probe, rt::platform::NativePath(path))) << "the stored copy was current";
  EXPECT_EQ(ReadAnsi(path), edited);
}

TEST_F(UpdateTest, ADatabaseFailurePartWayLeavesThePreviousContentWhole) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  // The database refuses the third chunk of whatever is stored next.
  rt::sqlite::Exec(SqliteSession().Handle(),
                   "CREATE TEMP TRIGGER TR_Fail_Third_Chunk BEFORE INSERT ON content.DB_FILE_CHUNK WHEN NEW.SEQ = 2 "
                   "BEGIN SELECT RAISE(ABORT, 'injected failure'); END");
  std::uint8_t ok = 0;
  const HRESULT status = Update(WriteSource("新版.doc", Content(5 << 20, 15)), ok);
  EXPECT_EQ(status, E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(rt::TakeErrorInfo().find("injected failure"), std::string::npos);
  ExpectOriginalIntact();

  // Storing a new document fails the same way and leaves no row behind.
  std::int32_t number = -1;
  EXPECT_EQ(store_.SaveLabDoc(WriteSource("另一个.doc", Content(4 << 20, 16)).c_str(), &number, &ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_STORAGE"), 1);
  rt::sqlite::Exec(SqliteSession().Handle(), "DROP TRIGGER TR_Fail_Third_Chunk");
  ExpectOriginalIntact();
}

// A source file that changes size while the store reads it: an SQL function
// called by a trigger once the first chunk is in cuts the file short (or
// lengthens it) at that moment.
struct Resize {
  fs::path file;
  std::uintmax_t new_size = 0;
};

void ResizeSource(sqlite3_context* context, int, sqlite3_value**) {
  const auto* resize = static_cast<const Resize*>(sqlite3_user_data(context));
  fs::resize_file(resize->file, resize->new_size);
  sqlite3_result_null(context);
}

class ChangingSourceTest : public UpdateTest {
 protected:
  void Arrange(const fs::path& file, std::uintmax_t new_size) {
    resize_ = {file, new_size};
    ASSERT_EQ(sqlite3_create_function(SqliteSession().Handle(), "resize_source", 0, SQLITE_UTF8, &resize_,
                                      &ResizeSource, nullptr, nullptr),
              SQLITE_OK);
    rt::sqlite::Exec(
        SqliteSession().Handle(),
        "CREATE TEMP TRIGGER TR_Resize AFTER INSERT ON content.DB_FILE_CHUNK WHEN NEW.SEQ = 0 BEGIN SELECT resize_source(); END");
  }
  Resize resize_;
};

TEST_F(ChangingSourceTest, AFileCutShortWhileReadIsNotStored) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  const std::string source = WriteSource("变短.doc", Content(4 << 20, 17));
  Arrange(folder_.Native("变短.doc"), (3 << 20) / 2);
  std::uint8_t ok = 0;
  EXPECT_EQ(Update(source, ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(fs::file_size(folder_.Native("变短.doc")), std::uintmax_t{(3 << 20) / 2}) << "the trigger ran";
  const std::string reason = rt::TakeErrorInfo();
  EXPECT_NE(reason.find("变短.doc"), std::string::npos) << reason;
  rt::sqlite::Exec(SqliteSession().Handle(), "DROP TRIGGER TR_Resize");
  ExpectOriginalIntact();
}

TEST_F(ChangingSourceTest, AFileGrowingWhileReadIsNotStored) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  const std::string source = WriteSource("变长.doc", Content(3 << 20, 18));
  Arrange(folder_.Native("变长.doc"), 5 << 20);
  std::uint8_t ok = 0;
  EXPECT_EQ(Update(source, ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  rt::sqlite::Exec(SqliteSession().Handle(), "DROP TRIGGER TR_Resize");
  ExpectOriginalIntact();
}

TEST_F(UpdateTest, AFileThatCannotBeReadIsAFailureNotANo) {
  // This file exists but every read of it fails (an I/O error).
  std::uint8_t ok = 0;
  EXPECT_EQ(Update("/proc/self/mem", ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_FALSE(rt::TakeErrorInfo().empty());
  ExpectOriginalIntact();
}

TEST_F(UpdateTest, DeletingRowsWithSqlAlsoDeletesTheirContents) {
  // The directory deletion deletes DB_FILE_STORAGE rows by statement.
  const std::int32_t other = Save(WriteSource("其他.doc", "other"));
  std::uint8_t ok = 0;
  ASSERT_EQ(Update(WriteSource("第二版.doc", "second"), ok), S_OK);
  rt::CurrentDataSession().Execute("delete from DB_FILE_STORAGE where LABDOC_ID in(" + std::to_string(doc_id_) + ")");
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 1);
  EXPECT_EQ(ReadAnsi(Fetch(other)), "other");
}

}  // namespace
}  // namespace labdocs::labdoc::testing
