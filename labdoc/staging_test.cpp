// A content is stored as a pending content, a batch of chunks per
// transaction, and made current in one last transaction: other connections
// see the previous content until then, and a failure at any point leaves
// nothing of the new one behind.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <vector>

#include "labdoc/content_chunks.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/data/sqlite/util.h"
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
  rt::sqlite::Database other(seen->database, rt::sqlite::Database::OpenMode::OpenExisting);
  other.AttachContentFile();
  const rt::RowSet current =
      other.QueryBound("SELECT c.SHA256 FROM DB_FILE_STORAGE s JOIN DB_FILE_CONTENT c ON c.LABDOC_ID = s.LABDOC_ID "
                       "AND c.REPLACEDTIME IS NULL AND c.PENDING = 0 WHERE s.LABDOC_ID = ?",
                       {seen->doc_id});
  seen->current_digest = current.rows.empty() ? Value() : current.rows[0][0];
  seen->pending =
      std::get<std::int64_t>(other.QueryBound("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1", {}).rows[0][0]);
  seen->pending_chunks =
      std::get<std::int64_t>(other
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

// The content file is written apart from the database: a copy of the two
// files taken while a store went on may hold chunks under a number that the
// copied database gives out again. A new content's number belongs to no
// finished content, so those chunks are left over and give way to the
// content, whether they would collide with its own or lie past its end.
TEST_F(StagingTest, ChunksLeftUnderANewContentsNumberGiveWayToIt) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  struct Case {
    const char* what;
    std::vector<std::int64_t> leftover_seqs;
    std::size_t size;
    bool update;
  };
  const Case cases[] = {
      {"a new document over a leftover first chunk", {0}, 1000, false},
      {"a new document over leftover chunks in and past it", {0, 1, 2, 5}, kChunkSize + 10, false},
      {"an update over a leftover chunk past its end", {3}, 2000, true},
  };
  unsigned seed = 30;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::int64_t next =
        Count("SELECT COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'DB_FILE_CONTENT'), 0) + 1");
    for (const std::int64_t seq : c.leftover_seqs)
      rt::CurrentDataSession().ExecuteBound("INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(?, ?, ?)",
                                            {next, seq, std::vector<std::uint8_t>(100, 0xEE)});
    const std::string bytes = Content(c.size, ++seed);
    const std::string source = WriteSource("留存" + std::to_string(seed) + ".doc", bytes);
    std::int32_t doc_id = doc_id_;
    if (c.update) {
      std::uint8_t ok = 0;
      const HRESULT status = store_.UpdateLabDoc(doc_id_, source.c_str(), &ok);
      ASSERT_EQ(status, S_OK) << Described(status);
      EXPECT_EQ(ok, 1);
    } else {
      doc_id = Save(source);
    }
    EXPECT_EQ(Count("SELECT CONTENT_ID FROM DB_FILE_CONTENT WHERE REPLACEDTIME IS NULL AND LABDOC_ID = " +
                    std::to_string(doc_id)),
              next);
    EXPECT_EQ(Count("SELECT count(*) FROM content.DB_FILE_CHUNK WHERE CONTENT_ID = " + std::to_string(next)),
              static_cast<std::int64_t>((c.size + kChunkSize - 1) / kChunkSize));
    EXPECT_EQ(DigestOf(ReadAnsi(Fetch(doc_id))), DigestOf(bytes));
  }
}

// A store that runs out of room (here the content file's size limit, as a
// full disk would) fails saying so and naming the file, and gives back at
// once what it took: no pending content, chunk or free page of it remains,
// and once there is room again the same store works.
TEST_F(StagingTest, AStoreThatRunsOutOfRoomSaysSoAndLeavesNothingBehind) {
  if (OnServer()) GTEST_SKIP() << kSqliteOnly;
  const std::string content_file = std::get<std::string>(
      rt::CurrentDataSession().QueryBound("SELECT NAME FROM DB_CONTENT_FILE", {}).rows.at(0).at(0));
  for (const bool update : {false, true}) {
    SCOPED_TRACE(update ? "an update" : "a new document");
    // Room for a few pages more than the file holds, fewer than the
    // content's chunks take.
    Exec("PRAGMA content.max_page_count = " + std::to_string(Count("PRAGMA content.page_count") + 4));
    const std::string bytes = Content(3 * kChunkSize + 10, update ? 41 : 42);
    const std::string source = WriteSource(update ? "满甲.doc" : "满乙.doc", bytes);
    const std::int64_t documents = Count("SELECT count(*) FROM DB_FILE_STORAGE");
    std::uint8_t ok = 0xAA;
    std::int32_t number = -1;
    const HRESULT status = update ? store_.UpdateLabDoc(doc_id_, source.c_str(), &ok)
                                  : store_.SaveLabDoc(source.c_str(), &number, &ok);
    EXPECT_EQ(status, E_FAIL);
    EXPECT_EQ(ok, 0);
    const std::string reason = rt::TakeErrorInfo();
    EXPECT_NE(reason.find("磁盘已满"), std::string::npos) << reason;
    EXPECT_NE(reason.find(content_file), std::string::npos) << reason;
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
    EXPECT_EQ(
        Count("SELECT count(*) FROM DB_FILE_CHUNK WHERE CONTENT_ID NOT IN (SELECT CONTENT_ID FROM DB_FILE_CONTENT)"),
        0);
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_REMOVED_CONTENT"), 0);
    EXPECT_EQ(Count("PRAGMA content.freelist_count"), 0) << "the pages it took are given back";
    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_STORAGE"), documents);
    EXPECT_EQ(ReadAnsi(Fetch(doc_id_)), original_);

    Exec("PRAGMA content.max_page_count = 1073741823");
    std::int32_t doc_id = doc_id_;
    if (update) {
      EXPECT_EQ(store_.UpdateLabDoc(doc_id_, source.c_str(), &ok), S_OK);
      EXPECT_EQ(ok, 1);
    } else {
      doc_id = Save(source);
    }
    EXPECT_EQ(DigestOf(ReadAnsi(Fetch(doc_id))), DigestOf(bytes));
  }
}

}  // namespace
}  // namespace labdocs::labdoc::testing
