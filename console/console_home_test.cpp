// The console's home folder from outside: consoles starting together on a
// new folder (and a new schema on the server in the server run, @postgres),
// and database files that the console must refuse to open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>

#include "console/testing/console_run.h"
#include "hostcore/home.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/text/gbk.h"
#include "runtime/platform/testing/test_support.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::DatabaseOptions;
using testing::RunConsole;
using testing::RunConsolesAtOnce;
using testing::TempFolder;

std::set<std::string> Entries(const std::filesystem::path& folder) {
  std::set<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    entries.insert(rt::testing::PathUtf8(entry.path().filename()));
  return entries;
}

// Two consoles start at the same moment on a folder that does not exist
// yet; each adds a directory and changes a document. Whichever of them fills
// the folder, the other works on that same database: the demo is there
// once, and neither console's changes are lost.
TEST(ConsoleHomeTest, ConsolesStartingTogetherOnANewFolderShareOneDemo) {
  constexpr int kTrials = 5;
  for (int trial = 0; trial < kTrials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const TempFolder folder;
    const rt::testing::TestDatabase test_database(rt::testing::EngineUnderTest(),
                                                  rt::testing::PathUtf8(folder.Home() / "labdocs.db"));
    const bool on_server = test_database.Kind() == rt::Engine::Postgres;
    std::vector<std::string> arguments = DatabaseOptions(test_database);
    arguments.insert(arguments.end(), {"--plugin", "fakeplugin.dll", "--allow-sql-writes"});
    std::vector<std::string> scripts;
    for (int console = 1; console <= 2; ++console) {
      const std::string n = std::to_string(console);
      // clang-format off
      scripts.push_back("sql insert into Lab_List(TV_ID,TV_Name,DocType) values(10" + n + u8",'并发目录 " + n +
                        u8"','文档管理明细')\n"
                        "sql update RIS_DOC set DESCS='" + u8"第 " + n + u8" 台修改' where ID=" + n + "\n" +
                        u8"open 文档管理明细/2019年度\n");
      // clang-format on
    }
    const std::vector<ConsoleRun> runs = RunConsolesAtOnce(folder.Home(), scripts, arguments);
    for (const ConsoleRun& run : runs) ASSERT_EQ(run.exit_code, 0) << run.err;

    // Nothing left of the database, its content file or the icons that
    // lost: the content file there is the one the database names. On the
    // server the folder keeps only the icons and the cache.
    const std::set<std::string> entries = Entries(folder.Home());
    const std::unique_ptr<rt::DataSession> session = rt::Connect(test_database.Setting(), rt::OpenMode::OpenExisting);
    rt::DataSession& database = *session;
    if (on_server) {
      EXPECT_EQ(entries, (std::set<std::string>{"Configs", "DocCache"}));
    } else {
      const rt::RowSet content_file = database.QueryBound("SELECT NAME FROM DB_CONTENT_FILE", {});
      ASSERT_EQ(content_file.rows.size(), 1u);
      EXPECT_EQ(entries, (std::set<std::string>{"Configs", "DocCache", "labdocs.db",
                                                std::get<std::string>(content_file.rows[0][0])}));
      const rt::RowSet check = database.QueryBound("PRAGMA integrity_check", {});
      ASSERT_EQ(check.rows.size(), 1u);
      EXPECT_EQ(std::get<std::string>(check.rows[0][0]), "ok");
    }
    EXPECT_EQ(Entries(folder.Home() / rt::testing::Utf8Path(u8"Configs/MMCImages/32×32")),
              (std::set<std::string>{"folder.ico", "labdoc.ico"}));

    EXPECT_EQ(rt::testing::QueryInteger(database, "SELECT count(*) FROM Pacs_MMCTreeViewConfig"), 4);
    EXPECT_EQ(rt::testing::QueryInteger(database, "SELECT count(*) FROM Lab_List WHERE TV_ID <= 7"), 7);
    EXPECT_EQ(rt::testing::QueryInteger(database, "SELECT count(*) FROM RIS_DOC"), 7);
    EXPECT_EQ(rt::testing::QueryInteger(database, "SELECT count(*) FROM DB_FILE_STORAGE"), 7);
    EXPECT_EQ(rt::testing::QueryInteger(database, "SELECT count(*) FROM DB_FILE_RECORD"), 7);
    const rt::RowSet added = database.QueryBound("SELECT TV_ID, TV_Name FROM Lab_List WHERE TV_ID > 7 ORDER BY TV_ID",
                                                 {});
    EXPECT_EQ(added.rows, (std::vector<std::vector<rt::Value>>{{std::int64_t{101}, std::string("并发目录 1")},
                                                               {std::int64_t{102}, std::string("并发目录 2")}}));
    const rt::RowSet changed = database.QueryBound("SELECT DESCS FROM RIS_DOC WHERE ID IN (1, 2) ORDER BY ID", {});
    EXPECT_EQ(changed.rows,
              (std::vector<std::vector<rt::Value>>{{std::string("第 1 台修改")}, {std::string("第 2 台修改")}}));
  }
}

// The name of the content file in a home folder.
std::string ContentFileName(const std::filesystem::path& home) {
  for (const std::string& entry : Entries(home))
    if (entry.rfind("labdoc-content-", 0) == 0) return entry;
  ADD_FAILURE() << "no content file in " << rt::testing::PathUtf8(home);
  return "";
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A home database that is no database, or one the console cannot read,
// stops the console with exit code 3 and a message naming the file and
// saying what it is; the file is left exactly as it was, and no demo is
// put beside or over it.
TEST(ConsoleHomeTest, ADatabaseThatCannotBeOpenedIsNamedAndLeftAlone) {
  if (rt::testing::EngineUnderTest() == rt::Engine::Postgres)
    GTEST_SKIP() << "damaged SQLite files of the home folder: the server run's database is no file";
  // A whole demo database to damage, with its content file.
  const TempFolder made;
  ASSERT_EQ(RunConsole(made.Home(), "tree\n", {"--plugin", "fakeplugin.dll"}).exit_code, 0);
  const std::string demo = ReadFile(made.Home() / "labdocs.db");
  const std::string content_name = ContentFileName(made.Home());
  ASSERT_GT(demo.size(), 8192u);
  std::int64_t page_size = 0, tree_page = 0;
  {
    rt::sqlite::Database database(rt::testing::PathUtf8(made.Home() / "labdocs.db"),
                                  rt::sqlite::Database::OpenMode::OpenExisting);
    page_size = rt::testing::QueryInteger(database, "PRAGMA page_size");
    tree_page = rt::testing::QueryInteger(database,
                                          "SELECT rootpage FROM sqlite_master WHERE name = 'Pacs_MMCTreeViewConfig'");
  }
  std::string tree_damaged = demo;
  for (std::int64_t i = 0; i < page_size; ++i)
    tree_damaged[static_cast<std::size_t>((tree_page - 1) * page_size + i)] = static_cast<char>(0xA5 ^ (i * 7));
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 131 + 17) % 256);

  struct Case {
    const char* name;
    std::string database;  // the bytes of labdocs.db
    std::string says;      // what the message says (UTF-8)
  };
  const Case cases[] = {
      {"empty file", "", "is an empty file (0 bytes), not a database"},
      {"garbage", garbage, "is not a database"},
      {"text", u8"实验室文件\n", "is not a database"},
      {"SQLite header only", std::string("SQLite format 3\0", 16), "cannot be opened"},
      {"first half of a database", demo.substr(0, demo.size() / 2), "cannot be opened"},
      {"damaged tree table", tree_damaged, "cannot be read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TempFolder folder;
    std::filesystem::create_directories(folder.Home());
    const std::filesystem::path database = folder.Home() / "labdocs.db";
    WriteFile(database, c.database);
    std::filesystem::copy_file(made.Home() / content_name, folder.Home() / content_name);
    const ConsoleRun run = RunConsole(folder.Home(), "tree\n", {"--plugin", "fakeplugin.dll"});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.err.rfind("labdocs-console: The database " + rt::testing::PathUtf8(database) + " " + c.says, 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find("--home"), std::string::npos) << run.err;  // what to do instead
    // Deleting is advised only for a file that holds no documents; moving
    // one away takes its content file along.
    EXPECT_EQ(run.err.find("delete") != std::string::npos, c.database.empty()) << run.err;
    if (!c.database.empty()) {
      EXPECT_NE(run.err.find("move it away with its content file"), std::string::npos) << run.err;
      EXPECT_NE(run.err.find("labdoc-content-"), std::string::npos) << run.err;
    }
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(ReadFile(database) == c.database) << "the file was changed";
    EXPECT_EQ(Entries(folder.Home()), (std::set<std::string>{"Configs", "DocCache", "labdocs.db", content_name}));
  }

  // A write-ahead log whose database is gone: a new database beside it
  // would take the log's pages for its own.
  const TempFolder folder;
  std::filesystem::create_directories(folder.Home());
  WriteFile(folder.Home() / "labdocs.db-wal", garbage);
  const ConsoleRun run = RunConsole(folder.Home(), "tree\n", {"--plugin", "fakeplugin.dll"});
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(run.err.rfind("labdocs-console: The database " + rt::testing::PathUtf8(folder.Home() / "labdocs.db") +
                              " is missing, but its write-ahead log labdocs.db-wal is there",
                          0),
            0u)
      << run.err;
  EXPECT_EQ(Entries(folder.Home()), (std::set<std::string>{"Configs", "DocCache", "labdocs.db-wal"}));
}

// A home whose content file is missing, empty, another home's or damaged
// stops the console as it starts, with exit code 3 and a message that names
// both files and leads to the data; no content file is made, and neither
// file is changed.
TEST(ConsoleHomeTest, AContentFileThatDoesNotBelongWithTheDatabaseStopsTheConsole) {
  if (rt::testing::EngineUnderTest() == rt::Engine::Postgres)
    GTEST_SKIP() << "the home folder's SQLite files: the server run's database is no file";
  const TempFolder made, other;
  for (const TempFolder* home : {&made, &other})
    ASSERT_EQ(RunConsole(home->Home(), "tree\n", {"--plugin", "fakeplugin.dll"}).exit_code, 0);
  const std::string content_name = ContentFileName(made.Home());
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 131 + 17) % 256);

  struct Case {
    const char* name;
    std::optional<std::string> content;  // the bytes of the content file; none: missing
    std::string says;                    // what the message says after naming the content file
  };
  const Case cases[] = {
      {"only the database copied", std::nullopt, " of the database "},
      {"an empty content file", std::string(), " of the database "},
      {"another home's content file renamed into place", ReadFile(other.Home() / ContentFileName(other.Home())),
       " belongs to another database, not to "},
      {"a damaged content file", garbage, " of the database "},
  };
  const char* const kWhat[] = {"is missing", "is an empty file", "belongs to another database", "is damaged"};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const TempFolder folder;
    std::filesystem::create_directories(folder.Home());
    const std::filesystem::path database = folder.Home() / "labdocs.db";
    const std::filesystem::path content = folder.Home() / content_name;
    std::filesystem::copy_file(made.Home() / "labdocs.db", database);
    if (c.content) WriteFile(content, *c.content);
    const ConsoleRun run = RunConsole(folder.Home(), "tree\n", {"--plugin", "fakeplugin.dll"});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.err.rfind("labdocs-console: The content file " + rt::testing::PathUtf8(content) + c.says, 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find(rt::testing::PathUtf8(database)), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(kWhat[i]), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("delete"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::filesystem::exists(content), c.content.has_value()) << "no content file is made";
    if (c.content) {
      EXPECT_TRUE(ReadFile(content) == *c.content) << "the content file was changed";
    }
    EXPECT_TRUE(ReadFile(database) == ReadFile(made.Home() / "labdocs.db")) << "the database was changed";
  }
}

// A full disk and a file that may not be written are said as what they
// are, naming the database, and lead to the data: no advice to delete it.
TEST(ConsoleHomeTest, AFullDiskOrAReadOnlyDatabaseIsNotCalledDamaged) {
  if (rt::testing::EngineUnderTest() == rt::Engine::Postgres)
    GTEST_SKIP() << "SQLite's own failures of the home folder's file";
  const TempFolder folder;
  std::filesystem::create_directories(folder.Home());
  const std::string path = rt::testing::PathUtf8(folder.Home() / "labdocs.db");
  struct Case {
    const char* setup;  // on the database's connection
    const char* says;
  };
  const Case cases[] = {
      {"PRAGMA max_page_count = 1", "the disk is full"},  // no page beyond those it has
      {"PRAGMA query_only = 1", "read-only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup);
    // The console's session, as UnreadableDatabase finds it.
    rt::OpenSession(path);
    rt::DataSession& database = rt::CurrentDataSession();
    database.QueryBound(c.setup, {});
    try {
      database.Execute("insert into DB_FILE_RECORD(SRCFILENAME) values('" + std::string(20000, 'x') + "')");
      ADD_FAILURE() << "written";
    } catch (const rt::EDatabaseError& error) {
      const std::string message =
          hostcore::UnreadableDatabase(database.Shown(), hostcore::ContentFileOf(rt::testing::Utf8Path(path)), error);
      EXPECT_EQ(message.rfind("The database " + rt::gbk::FromUtf8(path) + " cannot be read: Database error: " + c.says,
                              0),
                0u)
          << message;
      EXPECT_EQ(message.find("delete"), std::string::npos) << message;
      EXPECT_EQ(message.find("damaged"), std::string::npos) << message;
      EXPECT_NE(message.find("its content file labdoc-content-"), std::string::npos) << message;
    }
    rt::CloseSession();
  }
}

}  // namespace
}  // namespace console
