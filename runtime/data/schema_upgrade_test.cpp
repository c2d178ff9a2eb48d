// The step from schema version 4 to 5 on a version-4 file: the cache
// records gain the columns of what each copy was on its disk, empty for the
// records kept.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "runtime/data/database.h"
#include "runtime/data/schema.h"
#include "runtime/data/test_folder.h"

namespace rt {
namespace {

const char* const kDiskColumns[] = {"DISK_DEVICE", "DISK_FILE_NUMBER", "DISK_SIZE", "DISK_MODIFIED_NS",
                                    "DISK_CHANGED_NS"};

TEST(SchemaUpgradeTest, AVersion4FileGetsTheCacheRecordsDiskColumnsAndKeepsItsRecords) {
  testing::TestFolder folder;
  const std::string path = folder.File("v4.db");
  {
    // A version-4 file: the current schema without what version 5 added.
    Database db(path);
    db.ExecuteBound(
        "INSERT INTO DB_FILE_CACHE(HOSTNAME, CACHE_DIR, FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256)"
        " VALUES('PC', 'C:\\cache\\', 'a.txt', 7, 9, 3, 'abc')",
        {});
    for (const char* column : kDiskColumns)
      db.ExecuteBound(std::string("ALTER TABLE DB_FILE_CACHE DROP COLUMN ") + column, {});
    db.ExecuteBound("PRAGMA user_version = 4", {});
  }
  Database db(path);
  EXPECT_EQ(schema::Version(db.Handle()), 5);
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

}  // namespace
}  // namespace rt
