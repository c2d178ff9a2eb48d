// A content is stored as a pending content, a batch of chunks per
// transaction, and made current in one last transaction: other connections
// see the previous content until then, and a failure at any point leaves
// nothing of the new one behind.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "labdoc/content_chunks.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/data/sqlite_util.h"
#include "runtime/ole/error_info.h"

namespace labdocs::labdoc::testing {
namespace {

using rt::Value;

// Larger than one transaction's worth of chunks.
constexpr std::size_t kLargeSize = (kChunksPerTransaction + 6) * kChunkSize + 10;

// What another connection sees while the store is inside a chunk insert.
struct Observation {
  std::string database;
  std::int64_t doc_id = 0;
  Value current_digest;
  std::int64_t pending = -1;
  std::int64_t pending_chunks = -1;
};

void Observe(sqlite3_context* context, int, sqlite3_value**) {
  auto* seen = static_cast<Observation*>(sqlite3_user_data(context));
  rt::Database other(seen->database, rt::Database::OpenMode::OpenExisting);
  other.AttachContentFile();
  const rt::RowSet current = other.QueryBound(
      "SELECT c.SHA256 FROM DB_FILE_STORAGE s JOIN DB_FILE_CONTENT c ON c.LABDOC_ID = s.LABDOC_ID "
      "AND c.REPLACEDTIME IS NULL AND c.PENDING = 0 WHERE s.LABDOC_ID = ?",
      {seen->doc_id});
  seen->current_digest = current.rows.empty() ? Value() : current.rows[0][0];
  seen->pending = std::get<std::int64_t>(
      other.QueryBound("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1", {}).rows[0][0]);
  seen->pending_chunks = std::get<std::int64_t>(
      other
          .QueryBound("SELECT count(*) FROM DB_FILE_CHUNK WHERE CONTENT_ID IN "
                      "(SELECT CONTENT_ID FROM DB_FILE_CONTENT WHERE PENDING = 1)",
                      {})
          .rows[0][0]);
  sqlite3_result_null(context);
}

class StagingTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    original_ = Content(1000, 21);
    doc_id_ = Save(WriteSource("记录.doc", original_));
  }

  void Exec(const std::string& sql) { rt::sqlite::Exec(SqliteSession().Handle(), sql); }

  std::string original_;
  std::int32_t doc_id_ = 0;
};

TEST_F(StagingTest, OtherConnectionsSeeThePreviousContentUntilTheLastTransaction) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  Observation seen{database_, doc_id_, {}, -1, -1};
  ASSERT_EQ(sqlite3_create_function(SqliteSession().Handle(), "observe", 0, SQLITE_UTF8, &seen, &Observe, nullptr,
                                    nullptr),
            SQLITE_OK);
  // The first transaction's chunks are committed when chunk 64 goes in. (The
  // content file's readers wait while a batch's pages are written into the
  // file, which begins once they no longer fit the cache.)
  Exec("CREATE TEMP TRIGGER TR_Observe AFTER INSERT ON content.DB_FILE_CHUNK WHEN NEW.SEQ = " +
       std::to_string(kChunksPerTransaction) + " BEGIN SELECT observe(); END");
  const std::string large = Content(kLargeSize, 22);
  std::uint8_t ok = 0;
  const HRESULT status = store_.UpdateLabDoc(doc_id_, WriteSource("大.doc", large).c_str(), &ok);
  ASSERT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(seen.current_digest, Value(DigestOf(original_)));
  EXPECT_EQ(seen.pending, 1);
  EXPECT_EQ(seen.pending_chunks, kChunksPerTransaction) << "a committed batch of the pending content";
  Exec("DROP TRIGGER TR_Observe");
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
  EXPECT_EQ(DigestOf(ReadAnsi(Fetch(doc_id_))), DigestOf(large));
}

TEST_F(StagingTest, AFailureAfterCommittedBatchesLeavesNothingBehind) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  Exec("CREATE TEMP TRIGGER TR_Fail BEFORE INSERT ON content.DB_FILE_CHUNK WHEN NEW.SEQ = " +
       std::to_string(kChunksPerTransaction + 3) + " BEGIN SELECT RAISE(ABORT, 'injected late failure'); END");
  std::uint8_t ok = 0;
  EXPECT_EQ(store_.UpdateLabDoc(doc_id_, WriteSource("大.doc", Content(kLargeSize, 23)).c_str(), &ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(rt::TakeErrorInfo().find("injected late failure"), std::string::npos);
  std::int32_t number = -1;
  EXPECT_EQ(store_.SaveLabDoc(folder_.Ansi("大.doc").c_str(), &number, &ok), E_FAIL);
  EXPECT_EQ(number, 0);
  Exec("DROP TRIGGER TR_Fail");
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_STORAGE"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 1);
  EXPECT_EQ(Count("PRAGMA freelist_count"), 0) << "the removed chunks' pages are given back";
  EXPECT_EQ(Count("PRAGMA content.freelist_count"), 0) << "the removed chunks' pages are given back";
  EXPECT_EQ(ReadAnsi(Fetch(doc_id_)), original_);
}

TEST_F(StagingTest, ADocumentDeletedWhileItsUpdateIsStoredStaysDeleted) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  // The document goes while the new content's second chunk is stored.
  Exec("CREATE TEMP TRIGGER TR_Delete AFTER INSERT ON content.DB_FILE_CHUNK WHEN NEW.SEQ = 1 BEGIN "
       "DELETE FROM DB_FILE_STORAGE WHERE LABDOC_ID = " +
       std::to_string(doc_id_) + "; END");
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.UpdateLabDoc(doc_id_, WriteSource("新.doc", Content(3 * kChunkSize, 24)).c_str(), &ok), S_OK);
  EXPECT_EQ(ok, 0);
  Exec("DROP TRIGGER TR_Delete");
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_STORAGE"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 0);
}

}  // namespace
}  // namespace labdocs::labdoc::testing
