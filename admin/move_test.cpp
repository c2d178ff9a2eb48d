// Moves of a whole laboratory between a home and a server, as an
// administrator makes them: everything goes across and back unchanged, keys
// and the keys handed out kept, every content read whole by its digest on
// each side; a move never lands on a database that holds documents, and a
// damaged source moves nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "admin/exit_codes.h"
#include "admin/testing/demo_home.h"
#include "labdoc/retention.h"
#include "runtime/data/sqlite/database.h"

namespace admin::testing {
namespace {

namespace fs = std::filesystem;
using rt::testing::TestDatabase;

// What must go across, in an order of its own keys.
constexpr const char* kCopied[][2] = {
    {"Pacs_MMCTreeViewConfig", "TV_ID"}, {"Lab_List", "TV_ID"}, {"DB_FILE_STORAGE", "LABDOC_ID"},
    {"DB_FILE_CONTENT", "CONTENT_ID"},   {"RIS_DOC", "ID"},     {"DB_FILE_RECORD", "ID"},
};

std::vector<std::vector<rt::Value>> Rows(rt::DataSession& db, const std::string& table, const std::string& key) {
  return db.QueryBound("SELECT * FROM " + table + " ORDER BY " + key, {}).rows;
}

class MoveTest : public DemoHomeTest {
 protected:
  void SetUp() override {
    const std::vector<rt::Engine> engines = rt::testing::BothEngines();
    if (std::find(engines.begin(), engines.end(), rt::Engine::Postgres) == engines.end())
      GTEST_SKIP() << "the build has no server client";
    DemoHomeTest::SetUp();
  }
  fs::path Beside(const std::string& name) const { return folder_->Path() / rt::testing::Utf8Path(name); }
  static std::string Utf8(const fs::path& path) { return rt::testing::PathUtf8(path); }
};

INSTANTIATE_TEST_SUITE_P(Engines, MoveTest, ::testing::Values(rt::Engine::Sqlite), EngineName);

TEST_P(MoveTest, GoesToTheServerAndBackWithEverythingKept) {
  // A deleted document and content: their numbers are never handed out
  // again, on either side.
  Db().ExecuteBound("INSERT INTO DB_FILE_STORAGE(LABDOC_ID, FILE_NAME) VALUES(30, 'gone.txt')", {});
  Db().ExecuteBound("DELETE FROM DB_FILE_STORAGE WHERE LABDOC_ID = 30", {});
  std::vector<std::vector<std::vector<rt::Value>>> home;
  for (const auto& [table, key] : kCopied) home.push_back(Rows(Db(), table, key));
  ASSERT_GT(home[3].size(), home[2].size()) << "the demo keeps revisions";
  // The laboratory's retention of revisions goes along.
  const labdocs::labdoc::Retention retention{labdocs::labdoc::Retention::Kind::KeepDays, 3650};
  labdocs::labdoc::WriteRetention(Db(), retention);

  // The laboratory's owner makes its tables on the server as it moves in;
  // a member of its staff moves it back into a new home.
  const TestDatabase server(rt::Engine::Postgres, std::string(), TestDatabase::Tables::None);
  const AdminRun there = Admin({"move-to-server", server.SettingAs(rt::testing::kOwnerLogin)});
  ASSERT_EQ(there.exit_code, kExitOk) << there.out << there.err;
  EXPECT_NE(there.LineStarting("Moved "), "") << there.out;
  EXPECT_NE(there.out.find("the copy passes the check."), std::string::npos) << there.out;
  const fs::path back = Beside(u8"回家 home");
  const std::vector<std::string> staff = {"--database", server.Setting()};
  std::vector<std::string> arguments = staff;
  arguments.insert(arguments.end(), {"move-to-home", Utf8(back)});
  const AdminRun returned = Admin(arguments);
  ASSERT_EQ(returned.exit_code, kExitOk) << returned.out << returned.err;

  {
    const std::unique_ptr<rt::DataSession> on_server = rt::Connect(server.Setting(), rt::OpenMode::OpenExisting);
    rt::sqlite::Database at_home(Utf8(back / "labdocs.db"), rt::OpenMode::OpenExisting);
    at_home.AttachContentFile();
    for (std::size_t i = 0; i < std::size(kCopied); ++i) {
      SCOPED_TRACE(kCopied[i][0]);
      EXPECT_EQ(Rows(*on_server, kCopied[i][0], kCopied[i][1]), home[i]);
      EXPECT_EQ(Rows(at_home, kCopied[i][0], kCopied[i][1]), home[i]);
    }
    EXPECT_EQ(on_server->LastKey("DB_FILE_STORAGE", "LABDOC_ID"), 30);
    EXPECT_EQ(at_home.LastKey("DB_FILE_STORAGE", "LABDOC_ID"), 30);
    EXPECT_EQ(labdocs::labdoc::ReadRetention(*on_server), retention);
    EXPECT_EQ(labdocs::labdoc::ReadRetention(at_home), retention);
  }
  // Every content read whole by its digest on both sides.
  arguments = staff;
  arguments.push_back("check");
  for (const AdminRun& check : {Admin(arguments), Admin({"--home", Utf8(back), "check"})}) {
    EXPECT_EQ(check.exit_code, kExitOk) << check.out << check.err;
    EXPECT_NE(check.LineStarting("All is well"), "") << check.out;
  }
  // The moved home goes on: a new document takes the next number past the
  // deleted one's.
  const fs::path added = Beside(u8"新增 乗.txt");
  std::ofstream(added) << "new";
  const console::testing::ConsoleRun console =
      console::testing::RunConsole(back, u8"open 论文管理明细\nselect 2\nrun miNew\nclick btnOpenFile\nfile " +
                                             Utf8(added) + "\nclick btnSave\nexpect status 0\n");
  ASSERT_EQ(console.exit_code, 0) << console.out << console.err;
  rt::sqlite::Database at_home(Utf8(back / "labdocs.db"), rt::OpenMode::OpenExisting);
  EXPECT_EQ(rt::testing::QueryInteger(at_home, "SELECT max(LABDOC_ID) FROM DB_FILE_STORAGE"), 31);
}

TEST_P(MoveTest, LandsOnlyOnAnEmptyDatabaseAndMovesNothingDamaged) {
  const TestDatabase used(rt::Engine::Postgres, std::string());
  {
    const std::unique_ptr<rt::DataSession> session = rt::Connect(used.Setting(), rt::OpenMode::OpenExisting);
    session->ExecuteBound("INSERT INTO Lab_List(TV_ID, TV_Name, DocType) VALUES(1, 'mine', '')", {});
  }
  const TestDatabase empty(rt::Engine::Postgres, std::string());
  const fs::path backup = Beside("backup");
  ASSERT_EQ(Admin({"backup", Utf8(backup)}).exit_code, kExitOk);
  const fs::path occupied = Beside("occupied");
  fs::create_directories(occupied);
  fs::copy_file(folder_->Home() / "labdocs.db", occupied / "labdocs.db");

  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string message;  // a part of standard error (UTF-8)
    bool damaged = false;
  };
  const Case cases[] = {
      {"a move into a server database that holds rows", {"move-to-server", used.Setting()}, "holds rows already"},
      {"a restore into a server database that holds rows",
       {"--database", used.Setting(), "restore", Utf8(backup)},
       "holds rows already"},
      {"a move from a server into a home that has a database",
       {"--database", used.Setting(), "move-to-home", Utf8(occupied)},
       "exists and is not empty"},
      {"a move of a home with a damaged content",
       {"move-to-server", empty.Setting()},
       "is damaged; nothing was copied",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.damaged) FlipByte(CurrentContent(kAddedDocument), 0);
    const AdminRun run = Admin(c.arguments);
    EXPECT_EQ(run.exit_code, kExitRefused) << run.out << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  // Nothing was written where it was refused.
  const std::unique_ptr<rt::DataSession> session = rt::Connect(used.Setting(), rt::OpenMode::OpenExisting);
  EXPECT_EQ(rt::testing::QueryInteger(*session, "SELECT count(*) FROM Lab_List"), 1);
  const std::unique_ptr<rt::DataSession> untouched = rt::Connect(empty.Setting(), rt::OpenMode::OpenExisting);
  for (const char* table : {"DB_FILE_STORAGE", "DB_FILE_CONTENT", "DB_FILE_CHUNK", "Lab_List"})
    EXPECT_EQ(rt::testing::QueryInteger(*untouched, std::string("SELECT count(*) FROM ") + table), 0) << table;
  EXPECT_EQ(std::distance(fs::directory_iterator(occupied), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace admin::testing
