// A database written with the first schema version, before contents had ids
// of their own, keeps its documents when the store opens it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "labdoc/testing/store_fixture.h"
#include "runtime/data/sqlite/schema.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/text/gbk.h"

namespace labdocs::labdoc::testing {
namespace {

using rt::Value;

// The document tables as the first schema version made them.
constexpr const char* kVersion1Tables = R"sql(
CREATE TABLE DB_FILE_STORAGE (
  LABDOC_ID  INTEGER PRIMARY KEY AUTOINCREMENT,
  FILE_NAME  TEXT COLLATE NOCASE,
  STOREDTIME DATETIME,
  FILE_SIZE  INTEGER NOT NULL DEFAULT 0,
  SHA256     TEXT COLLATE NOCASE
);
CREATE TABLE DB_FILE_CHUNK (
  LABDOC_ID INTEGER NOT NULL,
  SEQ       INTEGER NOT NULL,
  DATA      BLOB NOT NULL,
  PRIMARY KEY (LABDOC_ID, SEQ)
);
CREATE TRIGGER TR_DB_FILE_STORAGE_Delete AFTER DELETE ON DB_FILE_STORAGE
BEGIN
  DELETE FROM DB_FILE_CHUNK WHERE LABDOC_ID = old.LABDOC_ID;
END;
PRAGMA user_version = 1;
)sql";

class UpgradeTest : public StoreTest {
 protected:
  void SetUp() override {
    // The fixture's database is replaced by a version-1 file before the
    // session opens it again.
    StoreTest::SetUp();
    ASSERT_EQ(store_.FreeLabDoc(), S_OK);
    initialised_ = false;
    rt::CloseSession();
    database_ = folder_.Native("old.db").string();
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(database_.c_str(), &raw), SQLITE_OK);
    rt::sqlite::Exec(raw, kVersion1Tables);
    // Document 7: two chunks and a digest, as the store writes them.
    const std::string first = "first chunk|", second = "second chunk";
    Insert(raw, 7, "旧报告.doc", first + second, {first, second});
    // Document 8: a row somebody wrote without a digest, with a stray chunk.
    Insert(raw, 8, "无校验.doc", "", {"unverifiable"});
    sqlite3_close(raw);
    rt::OpenSession(database_);
    ASSERT_EQ(InitWith(cache_), S_OK);
  }

  static void Insert(sqlite3* raw, int doc_id, const std::string& gbk_name, const std::string& content,
                     const std::vector<std::string>& chunks) {
    const std::string digest = content.empty() ? "NULL" : "'" + DigestOf(content) + "'";
    rt::sqlite::Exec(raw, "INSERT INTO DB_FILE_STORAGE VALUES(" + std::to_string(doc_id) + ", '" +
                              rt::gbk::ToUtf8(gbk_name) + "', '2020-05-06 07:08:09.000', " +
                              std::to_string(content.size()) + ", " + digest + ")");
    for (std::size_t seq = 0; seq < chunks.size(); ++seq)
      rt::sqlite::Exec(raw, "INSERT INTO DB_FILE_CHUNK VALUES(" + std::to_string(doc_id) + ", " + std::to_string(seq) +
                                ", CAST('" + chunks[seq] + "' AS BLOB))");
  }
};

TEST_F(UpgradeTest, StoredDocumentsSurviveTheUpgrade) {
  EXPECT_EQ(rt::sqlite::schema::Version(SqliteSession().Handle()), rt::sqlite::schema::kCurrentVersion);
  EXPECT_EQ(ReadAnsi(Fetch(7)), "first chunk|second chunk");
  EXPECT_EQ(Fetch(7), cache_ + "旧报告.doc");
  // The row without a digest has no content that could be verified.
  std::uint8_t ok = 0xAA;
  std::string path;
  EXPECT_EQ(Get(8, ok, path), S_OK);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 2);
}

TEST_F(UpgradeTest, NewContentsAndDocumentsGetFreshIds) {
  // The next content id follows the upgraded ones, so it cannot meet chunks
  // that were already there.
  std::uint8_t ok = 0;
  ASSERT_EQ(store_.UpdateLabDoc(7, WriteSource("新版.doc", "revised").c_str(), &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(ReadAnsi(Fetch(7)), "revised");
  EXPECT_EQ(Save(WriteSource("新文档.doc", "new")), 9);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE LABDOC_ID = 7"), 2);
  ASSERT_EQ(store_.DelLabDoc(7, &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 1);
  // The old contents' chunks went with them from the database's own table;
  // the new content's lie in the content file.
  EXPECT_EQ(Count("SELECT count(*) FROM main.DB_FILE_CHUNK"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM content.DB_FILE_CHUNK"), 1);
}

}  // namespace
}  // namespace labdocs::labdoc::testing
