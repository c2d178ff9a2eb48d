// The schema on PostgreSQL against SQLite's: the same tables and columns,
// the same triggers' effects, and the same refusals.
#include "runtime/data/postgres/schema.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "runtime/data/postgres/database.h"
#include "runtime/data/postgres/testing/test_server.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/test_folder.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/text/gbk.h"

namespace rt::postgres {
namespace {

class PostgresSchemaTest : public testing::ServerTest {
 protected:
  std::int64_t Count(const std::string& sql) { return std::get<std::int64_t>(db_->Query(sql).rows[0][0]); }
  // The setting of a login (rt::testing::StaffLogin ...) in a schema.
  static std::string SettingOf(const std::string& login, const std::string& search_path) {
    return testing::AsLogin(testing::ServerConnectionString(), login) + " options='-csearch_path=" + search_path + "'";
  }
};

// What EXPECT_THROW cannot say: the message.
std::string RefusalOf(const std::string& setting) {
  try {
    Connect(setting);
  } catch (const EDatabaseError& error) {
    return error.what();
  }
  return "(connected)";
}

TEST_F(PostgresSchemaTest, EveryTableHasTheColumnsOfSqlitesInTheirOrder) {
  schema::Prepare(db_->Link());
  EXPECT_EQ(schema::Version(db_->Link()), schema::kCurrentVersion);
  rt::testing::TestFolder folder;
  rt::sqlite::Database sqlite(folder.File("labdocs.db"));
  for (const char* table : {"Pacs_MMCTreeViewConfig", "Lab_List", "RIS_DOC", "DB_FILE_STORAGE", "DB_FILE_CONTENT",
                            "DB_FILE_RECORD", "DB_FILE_CACHE", "DB_FILE_REVISING", "DB_FILE_RETENTION"}) {
    std::vector<std::string> expected = sqlite.TableColumns(table);
    ASSERT_FALSE(expected.empty()) << table;
    for (std::string& column : expected) column = gbk::UpperCase(column);
    std::vector<std::string> columns = db_->TableColumns(table);
    for (std::string& column : columns) column = gbk::UpperCase(column);
    EXPECT_EQ(columns, expected) << table;
  }
  // SQLite keeps chunks in a content file of their own; the server keeps
  // them in a table of the database.
  EXPECT_EQ(db_->TableColumns("DB_FILE_CHUNK"), (std::vector<std::string>{"content_id", "seq", "data"}));
  // Made once: preparing again changes nothing.
  schema::Prepare(db_->Link());
  EXPECT_EQ(Count("Select count(*) From labdocs_schema_version"), 1);
}

// Deleting a document deletes its contents but a pending one, and a
// content's chunks go with it; one current content a document; texts
// compare without regard to case, keys are given out when left out.
TEST_F(PostgresSchemaTest, TheTriggersAndKeysActAsOnSqlite) {
  schema::Prepare(db_->Link());
  db_->Execute("Insert into DB_FILE_STORAGE(FILE_NAME) Values('报告.DOC')");
  db_->Execute("Insert into DB_FILE_CONTENT(CONTENT_ID,LABDOC_ID) Values(10,1)");
  db_->Execute("Insert into DB_FILE_CONTENT(CONTENT_ID,LABDOC_ID,REPLACEDTIME) Values(11,1,GetDate())");
  db_->Execute("Insert into DB_FILE_CONTENT(CONTENT_ID,LABDOC_ID,PENDING) Values(12,1,1)");
  for (int content : {10, 11, 12})
    db_->ExecuteBound("INSERT INTO DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(?, 0, ?)",
                      {std::int64_t{content}, std::vector<std::uint8_t>{0x5C}});
  EXPECT_THROW(db_->Execute("Insert into DB_FILE_CONTENT(CONTENT_ID,LABDOC_ID) Values(13,1)"), EDatabaseError)
      << "a second current content";
  EXPECT_EQ(Count("Select count(*) From DB_FILE_STORAGE Where FILE_NAME='报告.doc'"), 1);
  EXPECT_EQ(Count("Select count(*) From DB_FILE_STORAGE Where LABDOC_ID=1"), 1);

  EXPECT_EQ(db_->Execute("Delete From DB_FILE_STORAGE Where LABDOC_ID=1"), 1);
  EXPECT_EQ(Count("Select count(*) From DB_FILE_CONTENT"), 1);
  EXPECT_EQ(Count("Select CONTENT_ID From DB_FILE_CONTENT"), 12);
  EXPECT_EQ(Count("Select count(*) From DB_FILE_CHUNK"), 1);
}

// Keys given explicitly, as the plug-in gives them (Max(ID)+1) and the demo
// does, are never given out again for a row inserted without its key.
TEST_F(PostgresSchemaTest, AKeyGivenExplicitlyIsNeverGivenOutAgain) {
  schema::Prepare(db_->Link());
  struct Case {
    const char* table;
    const char* key;
    const char* explicit_insert;
    const char* generated_insert;
  };
  for (const Case& c : {
           Case{"Lab_List", "TV_ID", "Insert into Lab_List(TV_ID,TV_Name) Values(7,'目录')",
                "Insert into Lab_List(TV_Name) Values('另一目录')"},
           Case{"DB_FILE_STORAGE", "LABDOC_ID", "Insert into DB_FILE_STORAGE(LABDOC_ID,FILE_NAME) Values(7,'a')",
                "Insert into DB_FILE_STORAGE(FILE_NAME) Values('b')"},
           Case{"DB_FILE_RECORD", "ID", "Insert into DB_FILE_RECORD(ID,FileTableName) Values(7,'RIS_DOC')",
                "Insert into DB_FILE_RECORD(FileTableName) Values('RIS_DOC')"},
       }) {
    db_->Execute(c.generated_insert);
    db_->Execute(c.explicit_insert);
    db_->Execute(c.generated_insert);
    EXPECT_EQ(Count(std::string("Select Max(") + c.key + ") From " + c.table), 8) << c.table;
    EXPECT_EQ(Count(std::string("Select count(*) From ") + c.table), 3) << c.table;
  }
}

TEST_F(PostgresSchemaTest, ANewerOrAForeignDatabaseIsRefusedAndLeftAlone) {
  db_->Execute("Create Table 别人的表 (a integer)");
  EXPECT_THROW(schema::Prepare(db_->Link()), EDatabaseError);
  EXPECT_EQ(db_->TableColumns("RIS_DOC").size(), 0u);
  db_->Execute("Drop Table 别人的表");
  db_->Execute("Create Table labdocs_schema_version (version integer) Insert into labdocs_schema_version Values(99)");
  EXPECT_THROW(schema::Prepare(db_->Link()), EDatabaseError);
  EXPECT_EQ(db_->TableColumns("RIS_DOC").size(), 0u);
}

// A laboratory's people: its staff read and write, its readers read, and
// neither makes nor upgrades the schema, nor needs to where it is current.
TEST_F(PostgresSchemaTest, StaffWriteReadersReadAndOnlyTheOwnerMakesTheSchema) {
  const std::string path = schema_->Name() + ",public";
  const std::string staff = SettingOf(rt::testing::StaffLogin(1), path);
  const std::string reader = SettingOf(rt::testing::kReaderLogin, path);
  for (const std::string& setting : {staff, reader})
    EXPECT_NE(RefusalOf(setting).find("ask the administrator to set up or upgrade the database with the owner's login"),
              std::string::npos)
        << "no tables yet: " << RefusalOf(setting);

  schema::Prepare(db_->Link());
  const std::unique_ptr<DataSession> staff_session = Connect(staff);
  staff_session->Execute("Insert into DB_FILE_STORAGE(FILE_NAME) Values('a.doc')");
  staff_session->Execute("Insert into Lab_List(TV_ID,TV_Name) Values(7,'目录')");  // moves the identity ahead
  EXPECT_EQ(staff_session->Execute("Delete From DB_FILE_STORAGE"), 1);
  EXPECT_THROW(staff_session->Execute("Update labdocs_schema_version Set version = 99"), EDatabaseError);
  // How long revisions are kept is the owner's to decide; everyone reads it.
  EXPECT_THROW(staff_session->Execute("Update DB_FILE_RETENTION Set KEEP_LAST = 2"), EDatabaseError);
  EXPECT_EQ(db_->Execute("Update DB_FILE_RETENTION Set KEEP_LAST = 2"), 1);
  EXPECT_EQ(rt::testing::QueryInteger(*staff_session, "SELECT KEEP_LAST FROM DB_FILE_RETENTION"), 2);
  const std::unique_ptr<DataSession> reader_session = Connect(reader);
  EXPECT_EQ(rt::testing::QueryInteger(*reader_session, "SELECT count(*) FROM Lab_List"), 1);
  EXPECT_EQ(rt::testing::QueryInteger(*reader_session, "SELECT KEEP_LAST FROM DB_FILE_RETENTION"), 2);
  for (const char* write : {"Insert into Lab_List(TV_Name) Values('x')", "Update Lab_List Set TV_Name='y'",
                            "Delete From Lab_List", "Update DB_FILE_RETENTION Set KEEP_LAST = NULL"}) {
    try {
      reader_session->Execute(write);
      ADD_FAILURE() << "a reader wrote: " << write;
    } catch (const EDatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("SQLSTATE 42501"), std::string::npos) << error.what();
    }
  }

  // An older version is the owner's to upgrade: the staff are refused and
  // nothing changes.
  db_->Execute("Update labdocs_schema_version Set version = 2");
  EXPECT_NE(RefusalOf(staff).find("ask the administrator"), std::string::npos) << RefusalOf(staff);
  EXPECT_EQ(schema::Version(db_->Link()), 2);
}

// 4 to 5: the retention of revisions, every revision kept, which the staff
// of a laboratory upgraded only read.
TEST_F(PostgresSchemaTest, AVersion4SchemaGetsTheRetentionThatOnlyItsOwnerChanges) {
  schema::Prepare(db_->Link());
  db_->Execute("Drop Table DB_FILE_RETENTION");
  db_->Execute("Update labdocs_schema_version Set version = 4");
  schema::Prepare(db_->Link());
  EXPECT_EQ(schema::Version(db_->Link()), schema::kCurrentVersion);
  EXPECT_EQ(db_->QueryBound("SELECT ID, KEEP_LAST, KEEP_DAYS FROM DB_FILE_RETENTION", {}).rows,
            (std::vector<std::vector<Value>>{{std::int64_t{1}, std::monostate{}, std::monostate{}}}));
  const std::unique_ptr<DataSession> staff =
      Connect(SettingOf(rt::testing::StaffLogin(1), schema_->Name() + ",public"));
  EXPECT_EQ(rt::testing::QueryInteger(*staff, "SELECT count(*) FROM DB_FILE_RETENTION WHERE KEEP_DAYS IS NULL"), 1);
  EXPECT_THROW(staff->Execute("Update DB_FILE_RETENTION Set KEEP_DAYS = 30"), EDatabaseError);
}

// Two laboratories in one database, each set up by the database's owner (no
// superuser): citext, which one of them installs, is in public, where both
// find it, and their texts compare without case in both, also on a search
// path that does not name public. The second has roles of its own (the
// tests' server makes lab2_staff and lab2_reader, and the login
// lab2_staff1), the first the server's: each laboratory's people work in
// their own and cannot reach the other's.
TEST(PostgresLaboratoriesTest, TwoLaboratoriesInOneDatabaseEachKeepTheirPeopleAndCompareWithoutCase) {
  const std::string conninfo = testing::ServerConnectionString();
  ASSERT_FALSE(conninfo.empty()) << "no server: LABDOCS_TEST_POSTGRES names no connection string";
  Connection owner_a(conninfo), owner_b(conninfo);
  const testing::TestSchema lab_a(owner_a), lab_b(owner_b, "lab2");
  schema::Prepare(owner_a);
  schema::Prepare(owner_b);
  EXPECT_EQ(owner_a.QueryText("SELECT extnamespace::regnamespace::text FROM pg_extension WHERE extname = 'citext'")
                ->rows.at(0)
                .at(0),
            Value(std::string("public")));
  const auto setting = [&](const std::string& login, const std::string& search_path) {
    return testing::AsLogin(conninfo, login) + " options='-csearch_path=" + search_path + "'";
  };
  struct Case {
    std::string login, search_path;
    std::int64_t rows;  // after this case's row went in
  };
  for (const Case& c : {Case{rt::testing::StaffLogin(1), lab_a.Name() + ",public", 1},
                        Case{"lab2_staff1", "lab2,public", 1}, Case{rt::testing::StaffLogin(1), lab_a.Name(), 2}}) {
    SCOPED_TRACE(c.login + " in " + c.search_path);
    const std::unique_ptr<DataSession> staff = Connect(setting(c.login, c.search_path));
    staff->ExecuteBound("INSERT INTO Lab_List(TV_Name, DocType) VALUES('ABC', '1')", {});
    EXPECT_EQ(rt::testing::QueryInteger(*staff, "SELECT count(*) FROM Lab_List WHERE TV_Name = 'abc'"), c.rows);
    EXPECT_EQ(rt::testing::QueryInteger(*staff, "SELECT count(*) FROM Lab_List WHERE TV_Name LIKE 'ab%'"), c.rows);
  }
  for (const auto& [login, other_lab] : {std::pair{rt::testing::StaffLogin(1), std::string("lab2")},
                                         std::pair{std::string("lab2_staff1"), lab_a.Name()}}) {
    SCOPED_TRACE(login + " in " + other_lab);
    EXPECT_NE(RefusalOf(setting(login, other_lab + ",public")).find("ask the administrator"), std::string::npos);
  }
  const auto may = [&](const std::string& role, const std::string& table, const char* right) {
    return owner_a.QueryBound("SELECT has_table_privilege(?, ?, ?)", {role, table, std::string(right)})
               .rows.at(0)
               .at(0) == Value(std::int64_t{1});
  };
  EXPECT_TRUE(may("lab2_reader", "lab2.ris_doc", "SELECT"));
  EXPECT_FALSE(may("lab2_reader", "lab2.ris_doc", "INSERT"));
  EXPECT_FALSE(may("labdocs_reader", "lab2.ris_doc", "SELECT"));
}

}  // namespace
}  // namespace rt::postgres
