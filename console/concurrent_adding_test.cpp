// Workstations adding documents to one directory at the same time: console
// processes on one database, each adding its own documents. Every document
// gets its own key, its stored file and its audit row; nothing is lost,
// nothing is left over. On SQLite two consoles share one home folder; on the
// server eight workstations each have a home folder (and cache) of their own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>

#include "console/testing/console_run.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::RunConsole;
using testing::TempFolder;

std::int64_t Number(rt::DataSession& db, const char* sql) {
  const rt::RowSet rows = db.QueryBound(sql, {});
  return std::get<std::int64_t>(rows.rows.at(0).at(0));
}

struct Workstations {
  rt::Engine engine;
  int consoles;
  int adds_per_console;
};

class ConcurrentAddingTest : public ::testing::TestWithParam<Workstations> {};

TEST_P(ConcurrentAddingTest, ConsolesAddingAtOnceAddEveryDocumentOnce) {
#ifndef LABDOCS_CONSOLE_HAS_LABDOCS
  GTEST_SKIP() << "the plug-in labdocs is not part of this build";
#endif
  const Workstations& param = GetParam();
  TempFolder folder;
  const rt::testing::TestDatabase test_database(param.engine, rt::testing::PathUtf8(folder.Home() / "labdocs.db"));
  const std::string& setting = test_database.Setting();
  ASSERT_FALSE(setting.empty());
  // The consoles' --database: none for the home folder's own file.
  std::vector<std::string> database;
  if (param.engine == rt::Engine::Postgres) database = {"--database", setting};
  // One home folder on SQLite; one a workstation on the server.
  const auto home = [&](int console) {
    return param.engine == rt::Engine::Sqlite ? folder.Home() : folder.Path() / ("home" + std::to_string(console));
  };
  ASSERT_EQ(RunConsole(home(0), "quit\n", database).exit_code, 0);  // the demo, seeded once

  std::vector<std::string> scripts(static_cast<std::size_t>(param.consoles));
  for (int console = 0; console < param.consoles; ++console) {
    const std::filesystem::path sources = folder.Path() / ("sources" + std::to_string(console));
    std::filesystem::create_directories(sources);
    for (int i = 0; i < param.adds_per_console; ++i) {
      const std::filesystem::path file = sources / rt::testing::Utf8Path(u8"文件淺-" + std::to_string(i) + ".txt");
      std::ofstream(file) << "console " << console << " document " << i;
      scripts[static_cast<std::size_t>(console)] +=
          u8"open 文档管理明细\nselect 1\nrun miNew\ntype edFileName " + rt::testing::PathUtf8(file) +
          "\nclick btnSave\nexpect status 0\n";
    }
  }
  std::vector<ConsoleRun> runs(scripts.size());
  {
    std::vector<std::thread> others;
    for (std::size_t console = 1; console < scripts.size(); ++console) {
      others.emplace_back([&, console] {
        std::vector<std::string> arguments = database;
        arguments.insert(arguments.end(), {"--computer", "PC-" + std::to_string(console + 1)});
        runs[console] = RunConsole(home(static_cast<int>(console)), scripts[console], arguments);
      });
    }
    std::vector<std::string> arguments = database;
    arguments.insert(arguments.end(), {"--computer", "PC-1"});
    runs[0] = RunConsole(home(0), scripts[0], arguments);
    for (std::thread& other : others) other.join();
  }
  for (const ConsoleRun& run : runs) ASSERT_EQ(run.exit_code, 0) << run.err;

  const std::unique_ptr<rt::DataSession> db = rt::Connect(setting, rt::OpenMode::OpenExisting);
  if (param.engine == rt::Engine::Sqlite) {
    EXPECT_EQ(db->QueryBound("PRAGMA integrity_check", {}).rows.at(0).at(0), rt::Value(std::string("ok")));
  }
  constexpr std::int64_t kDemo = 7;
  const std::int64_t added = std::int64_t{param.consoles} * param.adds_per_console;
  EXPECT_EQ(Number(*db, "SELECT count(*) FROM RIS_DOC"), kDemo + added);
  EXPECT_EQ(Number(*db, "SELECT count(DISTINCT ID) FROM RIS_DOC"), kDemo + added);
  EXPECT_EQ(Number(*db, "SELECT count(*) FROM RIS_DOC WHERE DocType = '1'"), 2 + added);
  EXPECT_EQ(Number(*db, "SELECT count(*) FROM DB_FILE_STORAGE"), kDemo + added);
  EXPECT_EQ(Number(*db, "SELECT count(*) FROM DB_FILE_RECORD"), kDemo + added);
  EXPECT_EQ(Number(*db, "SELECT count(*) FROM DB_FILE_RECORD WHERE HOSTNAME = 'PC-2'"), param.adds_per_console);
  // Each record, its audit row and its stored file belong together; no
  // stored file or audit row is without its record.
  EXPECT_EQ(Number(*db, "SELECT count(*) FROM RIS_DOC d JOIN DB_FILE_RECORD a ON a.FileTableID = d.ID AND "
                        "a.LABDOC_ID = d.LABDOC_ID JOIN DB_FILE_STORAGE s ON s.LABDOC_ID = d.LABDOC_ID"),
            kDemo + added);
  EXPECT_EQ(Number(*db, "SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
}

std::vector<Workstations> TestedWorkstations() {
  std::vector<Workstations> tested;
  for (const rt::Engine engine : rt::testing::BothEngines())
    tested.push_back(engine == rt::Engine::Sqlite ? Workstations{engine, 2, 200} : Workstations{engine, 8, 40});
  return tested;
}

INSTANTIATE_TEST_SUITE_P(Engines, ConcurrentAddingTest, ::testing::ValuesIn(TestedWorkstations()),
                         [](const ::testing::TestParamInfo<Workstations>& tested) {
                           return rt::testing::EngineName(tested.param.engine) +
                                  std::to_string(tested.param.consoles) + "Consoles";
                         });

}  // namespace
}  // namespace console
