#include "runtime/data/sqlite/database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "runtime/data/datetime_text.h"
#include "runtime/data/sqlite/schema.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/data/test_folder.h"
#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt::sqlite {
namespace {

class DatabaseTest : public ::testing::Test {
 protected:
  testing::TestFolder folder_;
  std::string path_ = folder_.File("host.db");
};

std::string Text(const Value& value) { return std::get<std::string>(value); }
std::int64_t Integer(const Value& value) { return std::get<std::int64_t>(value); }

TEST_F(DatabaseTest, NewFileGetsTheSchema) {
  Database db(path_);
  EXPECT_TRUE(std::filesystem::exists(path_));
  EXPECT_EQ(schema::Version(db.Handle()), schema::kCurrentVersion);
  EXPECT_EQ(db.TableColumns("RIS_DOC"),
            (std::vector<std::string>{"ID", "LABDOC_ID", "DocType", "DESCS", "FstAuthor", "Authors", "UserId"}));
  EXPECT_EQ(db.TableColumns("db_file_storage"),
            (std::vector<std::string>{"LABDOC_ID", "FILE_NAME", "STOREDTIME", "FILE_SIZE", "SHA256"}));
  for (const char* table : {"Pacs_MMCTreeViewConfig", "Lab_List", "DB_FILE_RECORD", "DB_FILE_REMOVED_CONTENT"})
    EXPECT_FALSE(db.TableColumns(table).empty()) << table;
  EXPECT_TRUE(db.TableColumns("No_Such_Table").empty());
  // The chunks lie in the content file, there once it is attached.
  EXPECT_TRUE(db.TableColumns("DB_FILE_CHUNK").empty());
  db.AttachContentFile();
  EXPECT_FALSE(db.TableColumns("DB_FILE_CHUNK").empty());
  // Lasting properties of the file, which only an empty file can be given.
  EXPECT_EQ(Text(db.QueryBound("PRAGMA journal_mode", {}).rows.at(0).at(0)), "wal");
  EXPECT_EQ(Integer(db.QueryBound("PRAGMA auto_vacuum", {}).rows.at(0).at(0)), 2) << "incremental";
}

TEST_F(DatabaseTest, ReopeningKeepsTheDataAndTheFileUnchanged) {
  {
    Database db(path_);
    db.Execute("insert into Lab_List(TV_ID,TV_Name,DocType) values(3,'质量手册','文档管理')");
  }
  const auto size = std::filesystem::file_size(path_);
  const auto written = std::filesystem::last_write_time(path_);
  Database db(path_, Database::OpenMode::OpenExisting);
  const RowSet rows = db.Query("select TV_Name from Lab_List where TV_ID=3");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(Text(rows.rows[0][0]), "质量手册");
  EXPECT_EQ(std::filesystem::file_size(path_), size);
  EXPECT_EQ(std::filesystem::last_write_time(path_), written);
}

TEST_F(DatabaseTest, OpeningFailuresAreDatabaseErrors) {
  EXPECT_THROW(Database(path_, Database::OpenMode::OpenExisting), EDatabaseError);
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_THROW(Database(folder_.File("no/such/folder.db")), EDatabaseError);
  std::ofstream(path_) << "this is not a database file, just some text that is long enough";
  EXPECT_THROW(Database(path_, Database::OpenMode::OpenExisting), EDatabaseError);
}

// A file that cannot be opened is named after the reason, in brackets, and
// is the error's path: a message that names that file already takes the
// reason alone, any other the whole text.
TEST_F(DatabaseTest, AFileThatCannotBeOpenedIsTheErrorsPath) {
  struct Case {
    const char* name;
    std::string path;
    OpenMode mode;
  };
  const Case cases[] = {
      {"missing file", path_, OpenMode::OpenExisting},
      {"missing folder", folder_.File("no/such/folder.db"), OpenMode::OpenOrCreate},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string shown = gbk::FromUtf8(c.path);
    try {
      Database db(c.path, c.mode);
      ADD_FAILURE() << "opened";
    } catch (const Error& error) {
      EXPECT_EQ(error.Kind(), Failure::CannotOpen);
      EXPECT_EQ(error.Path(), shown);
      EXPECT_EQ(error.what(), error.Reason() + " (" + shown + ")");
      EXPECT_EQ(error.Reason().find(shown), std::string::npos) << error.Reason();
      EXPECT_EQ(ReasonBeside(error, shown), error.Reason());
      EXPECT_EQ(ReasonBeside(error, shown + ".other"), error.what());
    }
  }
  const EDatabaseError plain("Database error: no path (" + gbk::FromUtf8(path_) + ")");
  EXPECT_EQ(ReasonBeside(plain, gbk::FromUtf8(path_)), plain.what()) << "only the field is taken apart";
}

TEST_F(DatabaseTest, FilesOfANewerSchemaOrOfAnotherProgramAreRefusedAndLeftAlone) {
  struct Case {
    const char* setup;  // run on a new file with SQLite alone
    int version;
    const char* message;
  };
  const Case cases[] = {
      {"CREATE TABLE t(a); PRAGMA user_version = 99", 99, "version 99"},
      {"CREATE TABLE other(a); INSERT INTO other VALUES(1)", 0, "not this system's database"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup);
    std::filesystem::remove(path_);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, c.setup, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    try {
      Database db(path_);
      ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
    ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
    EXPECT_EQ(schema::Version(raw), c.version);
    sqlite3_stmt* tables = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT count(*) FROM sqlite_master", -1, &tables, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(tables), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(tables, 0), 1) << "the file was changed";
    sqlite3_finalize(tables);
    sqlite3_close(raw);
  }
}

TEST_F(DatabaseTest, EmptyExistingFileIsGivenTheSchema) {
  std::ofstream(path_).close();
  Database db(path_, Database::OpenMode::OpenExisting);
  EXPECT_EQ(schema::Version(db.Handle()), schema::kCurrentVersion);
}

TEST_F(DatabaseTest, ExecuteIsAllOrNothing) {
  Database db(path_);
  EXPECT_EQ(db.Execute("insert into Lab_List(TV_ID,TV_Name) values(1,'a') insert into Lab_List(TV_ID,TV_Name) "
                       "values(2,'b') update Lab_List set DocType='x'"),
            4);
  try {
    db.Execute("delete from Lab_List where TV_ID=1 insert into No_Such_Table values(1)");
    FAIL() << "executed";
  } catch (const EDatabaseError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("no such table: No_Such_Table"), std::string::npos) << message;
  }
  EXPECT_EQ(db.Query("select count(*) from Lab_List").rows[0][0], Value(std::int64_t{2}));
  // A text cannot end its own transaction part-way: a statement that would
  // begin, end or roll back one refuses the whole text before anything runs.
  for (const char* text : {"delete from Lab_List where TV_ID=1; commit; delete from Lab_List",
                           "delete from Lab_List where TV_ID=1; /* c */ END", "rollback",
                           "begin transaction; delete from Lab_List", "savepoint x; release x"}) {
    EXPECT_THROW(db.Execute(text), EDatabaseError) << text;
    EXPECT_THROW(db.Query(text), EDatabaseError) << text;
  }
  EXPECT_EQ(db.Query("select count(*) from Lab_List").rows[0][0], Value(std::int64_t{2}));
  EXPECT_EQ(db.Execute("  "), 0);
  EXPECT_EQ(db.Execute("select * from Lab_List"), 0);
}

TEST_F(DatabaseTest, ExecuteInsideAnOpenTransactionNestsAsASavepoint) {
  Database db(path_);
  {
    Transaction outer(db);
    db.Execute("insert into Lab_List(TV_ID) values(1)");
    EXPECT_THROW(db.Execute("insert into Lab_List(TV_ID) values(2) insert into Lab_List(TV_ID) values(1)"),
                 EDatabaseError);  // the second insert breaks the key
    EXPECT_EQ(db.Query("select count(*) from Lab_List").rows[0][0], Value(std::int64_t{1}));
    outer.Commit();
  }
  {
    Transaction abandoned(db);
    db.Execute("delete from Lab_List");
  }
  EXPECT_EQ(db.Query("select count(*) from Lab_List").rows[0][0], Value(std::int64_t{1}));
}

TEST_F(DatabaseTest, GbkTextsRoundTripAndCompareCaseInsensitively) {
  Database db(path_);
  // Trail bytes 0x5C '\', 0x40 '@', 0x7C '|', 0x5B '[' and the letters 'A'/'a'.
  const std::string name = "乗俓園億嘯圓 Doc";
  db.Execute("insert into Lab_List(TV_ID,TV_Name) values(1,'" + name + "')");
  db.Execute("insert into Lab_List(TV_ID,TV_Name) values(2,'坅')");
  RowSet rows = db.Query("select TV_Name from LAB_LIST where tv_name='乗俓園億嘯圓 doc'");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(Text(rows.rows[0][0]), name);
  // 圓 (88 41) and 坅 (88 61) differ only in the case of an ASCII trail byte.
  rows = db.Query("select TV_ID from Lab_List where TV_Name='圓'");
  EXPECT_TRUE(rows.rows.empty());
  rows = db.Query("select TV_ID from Lab_List where TV_Name='坅'");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(Integer(rows.rows[0][0]), 2);
  // Stored as UTF-8, as any other SQLite client reads it.
  const auto raw = db.QueryBound("select hex(TV_Name) from Lab_List where TV_ID=2", {});
  EXPECT_EQ(Text(raw.rows[0][0]), "E59D85");
}

TEST_F(DatabaseTest, TextThatIsNotGbkIsAnError) {
  Database db(path_);
  EXPECT_THROW(db.Execute("insert into Lab_List(TV_Name) values('\x81')"), EDatabaseError);
  EXPECT_THROW(db.Query("select '\xFF\x20'"), EDatabaseError);
  EXPECT_THROW(db.ExecuteBound("insert into Lab_List(TV_Name) values(?)", {std::string("\x81\x20")}), EDatabaseError);
  EXPECT_TRUE(db.Query("select * from Lab_List").rows.empty());
}

TEST_F(DatabaseTest, BoundStatementsTakeEveryKindOfValue) {
  Database db(path_);
  db.AttachContentFile();
  const DateTime stored = datetime::Encode({2024, 5, 17, 8, 30, 0, 250});
  EXPECT_EQ(db.ExecuteBound("insert into DB_FILE_STORAGE(FILE_NAME,STOREDTIME,FILE_SIZE) values(?,?,?)",
                            {std::string("报告.doc"), stored, std::int64_t{3}}),
            1);
  const std::vector<std::uint8_t> chunk{0, 1, 2, 255};
  db.ExecuteBound("insert into DB_FILE_CONTENT(CONTENT_ID,LABDOC_ID) values(?,?)", {std::int64_t{1}, std::int64_t{1}});
  db.ExecuteBound("insert into DB_FILE_CHUNK(CONTENT_ID,SEQ,DATA) values(?,?,?)",
                  {std::int64_t{1}, std::int64_t{0}, chunk});
  db.ExecuteBound("insert into DB_FILE_CHUNK(CONTENT_ID,SEQ,DATA) values(?,?,?)",
                  {std::int64_t{1}, std::int64_t{1}, std::vector<std::uint8_t>{}});
  const RowSet rows = db.QueryBound(
      "select s.LABDOC_ID, s.FILE_NAME, s.STOREDTIME, c.DATA, s.SHA256 from DB_FILE_STORAGE s join DB_FILE_CHUNK c "
      "on c.CONTENT_ID=s.LABDOC_ID where s.FILE_NAME=? order by c.SEQ",
      {std::string("报告.DOC")});
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.fields[0].type, FieldType::Integer);
  EXPECT_EQ(rows.fields[1].type, FieldType::Text);
  EXPECT_EQ(rows.fields[2].type, FieldType::DateTime);
  EXPECT_EQ(rows.fields[3].type, FieldType::Blob);
  EXPECT_EQ(rows.rows[0][1], Value(std::string("报告.doc")));
  EXPECT_EQ(rows.rows[0][2], Value(stored));
  EXPECT_EQ(rows.rows[0][3], Value(chunk));
  EXPECT_EQ(rows.rows[1][3], Value(std::vector<std::uint8_t>{}));
  EXPECT_EQ(rows.rows[0][4], Value(std::monostate{}));
  // Deleting the stored file takes its content along.
  EXPECT_EQ(db.ExecuteBound("delete from DB_FILE_STORAGE where LABDOC_ID=?", {std::int64_t{1}}), 1);
  EXPECT_TRUE(db.QueryBound("select * from DB_FILE_CONTENT", {}).rows.empty());
  EXPECT_TRUE(db.QueryBound("select * from DB_FILE_CHUNK", {}).rows.empty());
  EXPECT_THROW(db.ExecuteBound("delete from Lab_List where TV_ID=?", {}), EDatabaseError);
  EXPECT_THROW(db.ExecuteBound("delete from Lab_List; delete from RIS_DOC", {}), EDatabaseError);
}

TEST_F(DatabaseTest, ExpressionColumnsTakeTheTypeOfTheirValues) {
  Database db(path_);
  db.Execute("insert into DB_FILE_RECORD(FileTableID,MODIFYTIME) values(1,'2024-05-17 08:30:00.250')");
  const RowSet rows = db.Query(
      "select Max(MODIFYTIME) as m, count(*) as n, 1.5 as f, 'x' as t, null as z, '2024-05-17' as d "
      "from DB_FILE_RECORD");
  ASSERT_EQ(rows.fields.size(), 6u);
  EXPECT_EQ(rows.fields[0], (FieldDef{"m", FieldType::DateTime}));
  EXPECT_EQ(rows.rows[0][0], Value(datetime::Encode({2024, 5, 17, 8, 30, 0, 250})));
  EXPECT_EQ(rows.fields[1].type, FieldType::Integer);
  EXPECT_EQ(rows.fields[2].type, FieldType::Float);
  EXPECT_EQ(rows.fields[3].type, FieldType::Text);
  EXPECT_EQ(rows.fields[4].type, FieldType::Text);
  EXPECT_EQ(rows.fields[5].type, FieldType::Text);  // a date alone is not a stored date-time
  // Mixed values widen: integers and doubles to Float, anything with texts to Text.
  const RowSet mixed = db.Query("select 1 as a, 'x' as b union all select 2.5, 3 order by 1");
  EXPECT_EQ(mixed.fields[0].type, FieldType::Float);
  EXPECT_EQ(mixed.rows[0][0], Value(1.0));
  EXPECT_EQ(mixed.fields[1].type, FieldType::Text);
  EXPECT_EQ(mixed.rows[1][1], Value(std::string("3")));
}

TEST_F(DatabaseTest, GetDateGivesTheLocalTimeAsStoredText) {
  Database db(path_);
  const std::string before = datetime::NowText();
  const RowSet rows = db.Query("select GetDate() as now, getdate() as again");
  const std::string after = datetime::NowText();
  ASSERT_EQ(rows.fields[0].type, FieldType::DateTime);
  const std::string now = datetime::ToText(std::get<DateTime>(rows.rows[0][0]));
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
}

TEST_F(DatabaseTest, SessionIsSharedAndClosable) {
  CloseSession();
  EXPECT_FALSE(HasSession());
  try {
    CurrentDataSession();
    FAIL() << "no error";
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "No database session is open");
  }
  OpenSession(path_);
  ASSERT_TRUE(HasSession());
  EXPECT_EQ(AsSqlite(CurrentDataSession())->Path(), path_);
  CurrentDataSession().Execute("insert into Lab_List(TV_ID) values(1)");
  OpenSession(folder_.File("other.db"));
  EXPECT_TRUE(CurrentDataSession().Query("select * from Lab_List").rows.empty());
  CloseSession();
  EXPECT_FALSE(HasSession());
  EXPECT_THROW(OpenSession(folder_.File("missing.db"), Database::OpenMode::OpenExisting), EDatabaseError);
  EXPECT_FALSE(HasSession());
}

}  // namespace
}  // namespace rt::sqlite
