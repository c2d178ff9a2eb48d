// The latest steps of the schema on files of the versions before them:
//  - 4 to 5: the cache records gain the columns of what each copy was on its
//    disk, empty for the records kept;
//  - 5 to 6: the content file's name and the list of removed contents; a
//    file whose own DB_FILE_CHUNK holds chunks keeps them where they are,
//    removed with their contents as before, and one without drops it;
//  - 6 to 7: who stored each content (empty for the contents kept) and the
//    revisions in progress;
//  - 7 to 8: the identity that binds the database and its content file;
//  - 8 to 9: the retention of revisions, every revision kept.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "runtime/data/sqlite/content_file.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/sqlite/schema.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/data/test_folder.h"
#include "runtime/data/testing/test_database.h"

namespace rt::sqlite {
namespace {

const char* const kDiskColumns[] = {"DISK_DEVICE", "DISK_FILE_NUMBER", "DISK_SIZE", "DISK_MODIFIED_NS",
                                    "DISK_CHANGED_NS"};

// Turns a file of the current schema back into a version-8 file.
void MakeVersion8(Database& db) { sqlite::Exec(db.Handle(), "DROP TABLE DB_FILE_RETENTION; PRAGMA user_version = 8;"); }

// Turns a file of the current schema back into a version-7 file.
void MakeVersion7(Database& db) {
  MakeVersion8(db);
  sqlite::Exec(db.Handle(), R"sql(
DROP INDEX IX_DB_FILE_CONTENT_WithBytes;
ALTER TABLE DB_CONTENT_FILE DROP COLUMN DATABASE_ID;
ALTER TABLE DB_CONTENT_FILE DROP COLUMN FIRST_CONTENT_ID;
PRAGMA user_version = 7;
)sql");
}

// Turns a file of the current schema back into a version-6 file.
void MakeVersion6(Database& db) {
  MakeVersion7(db);
  sqlite::Exec(db.Handle(), R"sql(
DROP TABLE DB_FILE_REVISING;
ALTER TABLE DB_FILE_CONTENT DROP COLUMN STOREDHOST;
ALTER TABLE DB_FILE_CONTENT DROP COLUMN STOREDUSER;
PRAGMA user_version = 6;
)sql");
}

// Turns a file of the current schema back into a version-5 file.
void MakeVersion5(Database& db) {
  MakeVersion6(db);
  sqlite::Exec(db.Handle(), R"sql(
DROP TRIGGER TR_DB_FILE_CONTENT_Removed;
DROP TABLE DB_FILE_REMOVED_CONTENT;
DROP TABLE DB_CONTENT_FILE;
CREATE TABLE DB_FILE_CHUNK (
  CONTENT_ID INTEGER NOT NULL,
  SEQ        INTEGER NOT NULL,
  DATA       BLOB NOT NULL,
  PRIMARY KEY (CONTENT_ID, SEQ)
);
CREATE TRIGGER TR_DB_FILE_CONTENT_Delete AFTER DELETE ON DB_FILE_CONTENT
BEGIN
  DELETE FROM DB_FILE_CHUNK WHERE CONTENT_ID = old.CONTENT_ID;
END;
PRAGMA user_version = 5;
)sql");
}

TEST(SchemaUpgradeTest, AVersion4FileGetsTheCacheRecordsDiskColumnsAndKeepsItsRecords) {
  testing::TestFolder folder;
  const std::string path = folder.File("v4.db");
  {
    // A version-4 file: the current schema without what versions 5 and 6
    // added.
    Database db(path);
    db.ExecuteBound(
        "INSERT INTO DB_FILE_CACHE(HOSTNAME, CACHE_DIR, FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256)"
        " VALUES('PC', 'C:\\cache\\', 'a.txt', 7, 9, 3, 'abc')",
        {});
    MakeVersion5(db);
    for (const char* column : kDiskColumns)
      db.ExecuteBound(std::string("ALTER TABLE DB_FILE_CACHE DROP COLUMN ") + column, {});
    db.ExecuteBound("PRAGMA user_version = 4", {});
  }
  Database db(path);
  EXPECT_EQ(schema::Version(db.Handle()), schema::kCurrentVersion);
  const std::vector<std::string> columns = db.TableColumns("DB_FILE_CACHE");
  for (const char* column : kDiskColumns)
    EXPECT_NE(std::find(columns.begin(), columns.end(), column), columns.end()) << column;
  const RowSet rows = db.QueryBound(
      "SELECT LABDOC_ID, CONTENT_ID, SHA256, DISK_DEVICE, DISK_CHANGED_NS FROM DB_FILE_CACHE WHERE FILE_NAME = 'a.txt'",
      {});
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0], (std::vector<Value>{std::int64_t{7}, std::int64_t{9}, std::string("abc"), std::monostate{},
                                              std::monostate{}}));
}

TEST(SchemaUpgradeTest, AVersion5FileKeepsItsChunksWhereTheyAreAndStoresNewOnesInTheContentFile) {
  for (const bool with_chunks : {true, false}) {
    SCOPED_TRACE(with_chunks ? "with chunks" : "without chunks");
    testing::TestFolder folder;
    const std::string path = folder.File("v5.db");
    {
      Database db(path);
      MakeVersion5(db);
      db.ExecuteBound("INSERT INTO DB_FILE_STORAGE(LABDOC_ID, FILE_NAME) VALUES(1, '旧报告.doc')", {});
      db.ExecuteBound("INSERT INTO DB_FILE_CONTENT(CONTENT_ID, LABDOC_ID) VALUES(3, 1)", {});
      if (with_chunks) db.ExecuteBound("INSERT INTO DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(3, 0, x'0102')", {});
    }
    Database db(path);
    EXPECT_EQ(schema::Version(db.Handle()), schema::kCurrentVersion);
    const std::string name =
        std::get<std::string>(db.QueryBound("SELECT NAME FROM DB_CONTENT_FILE", {}).rows.at(0).at(0));
    EXPECT_TRUE(std::regex_match(name, std::regex("labdoc-content-[0-9a-f]{16}\\.db"))) << name;
    EXPECT_EQ(content_file::FilePath(db.Handle(), path), folder.File(name));
    EXPECT_EQ(db.TableColumns("DB_FILE_CHUNK").empty(), !with_chunks);
    // Content 3 was the last before the content file.
    EXPECT_EQ(testing::QueryInteger(db, "SELECT FIRST_CONTENT_ID FROM DB_CONTENT_FILE"), 4);
    if (with_chunks) {
      EXPECT_EQ(testing::QueryInteger(db, "SELECT count(*) FROM DB_FILE_CHUNK WHERE CONTENT_ID = 3"), 1);
    }

    // The content file appears when it is first attached: 64 KiB pages,
    // a rollback journal, pages given back on request.
    EXPECT_FALSE(std::filesystem::exists(folder.File(name)));
    db.AttachContentFile();
    EXPECT_TRUE(std::filesystem::exists(folder.File(name)));
    EXPECT_EQ(testing::QueryInteger(db, "PRAGMA content.page_size"), 65536);
    EXPECT_EQ(std::get<std::string>(db.QueryBound("PRAGMA content.journal_mode", {}).rows.at(0).at(0)), "delete");
    EXPECT_EQ(testing::QueryInteger(db, "PRAGMA content.auto_vacuum"), 2);

    // Removing the document takes the old content's chunks and the new
    // content's chunks along.
    db.ExecuteBound("INSERT INTO DB_FILE_CONTENT(CONTENT_ID, LABDOC_ID, REPLACEDTIME) VALUES(4, 1, GetDate())", {});
    db.ExecuteBound("INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(4, 0, x'03')", {});
    db.ExecuteBound("DELETE FROM DB_FILE_STORAGE WHERE LABDOC_ID = 1", {});
    EXPECT_EQ(testing::QueryInteger(db, "SELECT count(*) FROM content.DB_FILE_CHUNK"), 0);
    if (with_chunks) {
      EXPECT_EQ(testing::QueryInteger(db, "SELECT count(*) FROM main.DB_FILE_CHUNK"), 0);
    }
    EXPECT_EQ(testing::QueryInteger(db, "SELECT count(*) FROM DB_FILE_REMOVED_CONTENT"), 0);
  }
}

TEST(SchemaUpgradeTest, ChunksOfContentsRemovedWithoutTheContentFileGoWhenItIsNextWorkedOff) {
  testing::TestFolder folder;
  const std::string path = folder.File("host.db");
  Database store(path);
  store.AttachContentFile();
  store.ExecuteBound("INSERT INTO DB_FILE_STORAGE(LABDOC_ID, FILE_NAME) VALUES(1, 'a.doc')", {});
  store.ExecuteBound("INSERT INTO DB_FILE_CONTENT(CONTENT_ID, LABDOC_ID) VALUES(5, 1)", {});
  store.ExecuteBound("INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(5, 0, x'05')", {});
  {
    // A removal inside a transaction, and one rolled back, leave the chunks.
    Transaction transaction(store);
    store.ExecuteBound("DELETE FROM DB_FILE_CONTENT WHERE CONTENT_ID = 5", {});
    EXPECT_EQ(testing::QueryInteger(store, "SELECT count(*) FROM content.DB_FILE_CHUNK"), 1);
  }
  EXPECT_EQ(testing::QueryInteger(store, "SELECT count(*) FROM content.DB_FILE_CHUNK"), 1);
  EXPECT_EQ(testing::QueryInteger(store, "SELECT count(*) FROM DB_FILE_REMOVED_CONTENT"), 0);
  // The host's own connection, without the content file, removes the
  // document: the content is listed until a connection with the file works
  // the list off.
  Database host(path);
  host.Execute("delete from DB_FILE_STORAGE where LABDOC_ID=1");
  EXPECT_EQ(testing::QueryInteger(store, "SELECT count(*) FROM content.DB_FILE_CHUNK"), 1);
  EXPECT_EQ(testing::QueryInteger(store, "SELECT CONTENT_ID FROM DB_FILE_REMOVED_CONTENT"), 5);
  content_file::RemoveChunksOfRemovedContents(store);
  EXPECT_EQ(testing::QueryInteger(store, "SELECT count(*) FROM content.DB_FILE_CHUNK"), 0);
  EXPECT_EQ(testing::QueryInteger(store, "SELECT count(*) FROM DB_FILE_REMOVED_CONTENT"), 0);
}

TEST(SchemaUpgradeTest, AVersion6FileGetsWhoStoredEachContentAndTheRevisionsInProgress) {
  testing::TestFolder folder;
  const std::string path = folder.File("v6.db");
  {
    Database db(path);
    db.ExecuteBound("INSERT INTO DB_FILE_CONTENT(CONTENT_ID, LABDOC_ID, FILE_NAME) VALUES(3, 1, 'a.txt')", {});
    MakeVersion6(db);
  }
  Database db(path);
  EXPECT_EQ(schema::Version(db.Handle()), schema::kCurrentVersion);
  EXPECT_EQ(db.QueryBound("SELECT FILE_NAME, STOREDHOST, STOREDUSER FROM DB_FILE_CONTENT", {}).rows,
            (std::vector<std::vector<Value>>{{std::string("a.txt"), std::monostate{}, std::monostate{}}}));
  EXPECT_EQ(db.TableColumns("DB_FILE_REVISING"),
            (std::vector<std::string>{"OWNER", "LABDOC_ID", "HOSTNAME", "USERID", "USERNAME", "SINCE"}));
}

// 7 to 8: the database gets its identity, and its content file (version 1)
// is given it once, when it is next attached; the first content number
// whose chunks lie in the content file follows the last with chunks in the
// database's own table (none in a file made at version 6 or later).
TEST(SchemaUpgradeTest, AVersion7FileGetsItsIdentityAndItsContentFileIsGivenItOnce) {
  for (const bool own_chunks : {false, true}) {
    SCOPED_TRACE(own_chunks ? "chunks of version 5 in the database" : "all chunks in the content file");
    testing::TestFolder folder;
    const std::string path = folder.File("v7.db");
    std::string content;
    {
      Database db(path);
      db.AttachContentFile();
      content = content_file::FilePath(db.Handle(), path);
      db.ExecuteBound("INSERT INTO DB_FILE_CONTENT(CONTENT_ID, LABDOC_ID, FILE_SIZE) VALUES(5, 1, 1)", {});
      db.ExecuteBound("INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(5, 0, x'05')", {});
      db.ExecuteBound("DETACH DATABASE content", {});
      MakeVersion7(db);
      if (own_chunks)
        sqlite::Exec(db.Handle(), "CREATE TABLE DB_FILE_CHUNK(CONTENT_ID INTEGER NOT NULL, SEQ INTEGER NOT NULL, "
                                  "DATA BLOB NOT NULL, PRIMARY KEY (CONTENT_ID, SEQ));"
                                  "INSERT INTO DB_FILE_CHUNK VALUES(2, 0, x'02');");
    }
    {
      // The content file as version 1 wrote it.
      Database raw(folder.File("raw.db"));
      raw.ExecuteBound("ATTACH DATABASE '" + content + "' AS old", {});
      sqlite::Exec(raw.Handle(), "DROP TABLE old.DB_CONTENT_DATABASE; PRAGMA old.user_version = 1;");
    }
    Database db(path);
    EXPECT_EQ(schema::Version(db.Handle()), schema::kCurrentVersion);
    const RowSet identity = db.QueryBound("SELECT DATABASE_ID, FIRST_CONTENT_ID FROM DB_CONTENT_FILE", {});
    const std::string database_id = std::get<std::string>(identity.rows.at(0).at(0));
    EXPECT_TRUE(std::regex_match(database_id, std::regex("[0-9a-f]{32}"))) << database_id;
    EXPECT_EQ(identity.rows.at(0).at(1), Value(std::int64_t{own_chunks ? 3 : 1}));
    db.AttachContentFile();
    EXPECT_EQ(testing::QueryInteger(db, "PRAGMA content.user_version"), 2);
    EXPECT_EQ(db.QueryBound("SELECT DATABASE_ID FROM content.DB_CONTENT_DATABASE", {}).rows,
              (std::vector<std::vector<Value>>{{database_id}}));
    EXPECT_EQ(testing::QueryInteger(db, "SELECT count(*) FROM content.DB_FILE_CHUNK"), 1);
  }
}

// 8 to 9: one row of the setting, keeping every revision as before; the
// table takes no second row and no setting that is not one.
TEST(SchemaUpgradeTest, AVersion8FileKeepsEveryRevisionUntilTheLaboratorySaysOtherwise) {
  testing::TestFolder folder;
  const std::string path = folder.File("v8.db");
  {
    Database db(path);
    db.ExecuteBound("INSERT INTO DB_FILE_CONTENT(CONTENT_ID, LABDOC_ID, REPLACEDTIME) VALUES(3, 1, GetDate())", {});
    MakeVersion8(db);
  }
  Database db(path);
  EXPECT_EQ(schema::Version(db.Handle()), schema::kCurrentVersion);
  EXPECT_EQ(db.QueryBound("SELECT ID, KEEP_LAST, KEEP_DAYS FROM DB_FILE_RETENTION", {}).rows,
            (std::vector<std::vector<Value>>{{std::int64_t{1}, std::monostate{}, std::monostate{}}}));
  EXPECT_EQ(testing::QueryInteger(db, "SELECT count(*) FROM DB_FILE_CONTENT"), 1);
  for (const char* refused :
       {"INSERT INTO DB_FILE_RETENTION(ID, KEEP_LAST) VALUES(2, 5)",
        "UPDATE DB_FILE_RETENTION SET KEEP_LAST = 2, KEEP_DAYS = 30", "UPDATE DB_FILE_RETENTION SET KEEP_LAST = 0",
        "UPDATE DB_FILE_RETENTION SET KEEP_DAYS = -1"}) {
    EXPECT_THROW(db.ExecuteBound(refused, {}), EDatabaseError) << refused;
  }
  EXPECT_EQ(db.ExecuteBound("UPDATE DB_FILE_RETENTION SET KEEP_DAYS = 30", {}), 1);
}

}  // namespace
}  // namespace rt::sqlite
