// Workstations working on one database at the same time: console processes
// that each, round after round, delete the document they added last time
// and add a new one in a directory of their own, revise the same two shared
// documents as all the others (every question answered yes), and copy a
// directory. Afterwards every count is exact: each added document has its
// stored file and audit row, no stored file or content is without its
// document, no store is left pending, every revision stored is kept, every
// copy has a key of its own, and every document fetches whole (the store
// checks each one's SHA-256). On SQLite the consoles share one home folder;
// on the server each workstation has a home folder, and so a cache, of its
// own, and a person of the laboratory's staff logs in at each: staff1 ...
// staff8, none of whom sees the others' connections.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "console/testing/console_run.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/text/gbk.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::RunConsole;
using testing::TempFolder;

std::size_t CountLines(const ConsoleRun& run, const std::string& part) {
  std::size_t n = 0;
  for (const std::string& line : run.Lines()) n += line.find(part) != std::string::npos ? 1 : 0;
  return n;
}

struct Workstations {
  rt::Engine engine;
  int consoles;
  int rounds;
};

class WorkstationsTest : public ::testing::TestWithParam<Workstations> {};

// One workstation's script: its directory is the (4 + n)-th row of
// 文档管理明细, after the demo's four.
std::string Script(int n, int rounds, const std::filesystem::path& sources) {
  std::string script;
  const std::string own = u8"文档管理明细/工作站" + std::to_string(n);
  for (int round = 0; round < rounds; ++round) {
    const std::filesystem::path file =
        sources / rt::testing::Utf8Path(u8"文件淺-" + std::to_string(n) + "-" + std::to_string(round) + ".txt");
    std::ofstream(file) << "workstation " << n << " round " << round;
    script += "open " + own + "\n";
    if (round > 0) script += "select 1\nrun miDelete\nexpect status 2\n";
    script += "run miNew\ntype edFileName " + rt::testing::PathUtf8(file) + "\nclick btnSave\nexpect status 0\n";
    script += u8"open 文档管理明细/2019年度\nselect " + std::to_string(1 + round % 2) +
              u8"\nrun 修改文档\nclick BtnSave\nexpect status 0\n";
    script += u8"open 文档管理明细\nselect 1\nrun miCopyList\ntype cbCopyList 论文管理明细\nclick BtnSave\n"
              u8"expect message 复制成功！\n";
  }
  return script;
}

TEST_P(WorkstationsTest, EveryCountIsExactAfterWorkingAtOnce) {
#ifndef LABDOCS_CONSOLE_HAS_LABDOCS
  GTEST_SKIP() << "the plug-in labdocs is not part of this build";
#endif
  const Workstations& param = GetParam();
  TempFolder folder;
  const rt::testing::TestDatabase test_database(param.engine, rt::testing::PathUtf8(folder.Home() / "labdocs.db"));
  const std::string& setting = test_database.Setting();
  ASSERT_FALSE(setting.empty());
  const auto arguments_of = [&](int n) {
    std::vector<std::string> arguments{"--answer", "yes"};
    if (param.engine == rt::Engine::Postgres)
      arguments.insert(arguments.end(), {"--database", test_database.SettingAs(rt::testing::StaffLogin(n))});
    return arguments;
  };
  const std::vector<std::string> arguments = arguments_of(1);
  const auto home = [&](int n) {
    return param.engine == rt::Engine::Sqlite ? folder.Home() : folder.Path() / ("home" + std::to_string(n));
  };
  ASSERT_EQ(RunConsole(home(0), "quit\n", arguments).exit_code, 0);  // the demo, seeded once
  {
    const std::unique_ptr<rt::DataSession> db = rt::Connect(setting, rt::OpenMode::OpenExisting);
    for (int n = 1; n <= param.consoles; ++n)
      db->ExecuteBound("INSERT INTO Lab_List(TV_ID, TV_Name, DocType) VALUES(?, ?, ?)",
                       {rt::Value(std::int64_t{100 + n}), rt::Value(rt::gbk::FromUtf8(u8"工作站" + std::to_string(n))),
                        rt::Value(rt::gbk::FromUtf8(u8"文档管理明细"))});
  }

  const std::filesystem::path sources = folder.Path() / "sources";
  std::filesystem::create_directories(sources);
  std::vector<ConsoleRun> runs(static_cast<std::size_t>(param.consoles));
  const auto start = std::chrono::steady_clock::now();
  {
    std::vector<std::thread> consoles;
    for (int n = 1; n <= param.consoles; ++n) {
      consoles.emplace_back([&, n] {
        std::vector<std::string> own = arguments_of(n);
        own.insert(own.end(), {"--computer", "PC-" + std::to_string(n)});
        runs[static_cast<std::size_t>(n - 1)] = RunConsole(home(n), Script(n, param.rounds, sources), own,
                                                           {"LABDOCS_OPEN_COMMAND=true"});
      });
    }
    for (std::thread& console : consoles) console.join();
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  for (const ConsoleRun& run : runs) ASSERT_EQ(run.exit_code, 0) << run.err;
  std::size_t others_revising = 0;
  for (const ConsoleRun& run : runs) others_revising += CountLines(run, u8"起正在修改此文档");
  // What the closing note of a change to this test reports.
  std::printf("%d workstations x %d rounds (add, delete, revise, copy): %.1f s; %zu times another revision was "
              "in progress\n",
              param.consoles, param.rounds, took.count(), others_revising);

  const std::unique_ptr<rt::DataSession> db = rt::Connect(setting, rt::OpenMode::OpenExisting);
  constexpr std::int64_t kDemoDocuments = 7, kDemoDirectories = 7;
  const std::int64_t consoles = param.consoles, all_rounds = std::int64_t{param.consoles} * param.rounds;
  struct Count {
    const char* what;
    std::string sql;
    std::int64_t expected;
  };
  const Count counts[] = {
      {"documents: the demo's and each workstation's last", "SELECT count(*) FROM RIS_DOC", kDemoDocuments + consoles},
      {"one document in each workstation's directory",
       "SELECT count(DISTINCT DocType) FROM RIS_DOC WHERE DocType LIKE '1__'", consoles},
      {"a stored file for each document", "SELECT count(*) FROM DB_FILE_STORAGE", kDemoDocuments + consoles},
      {"no stored file without its document",
       "SELECT count(*) FROM DB_FILE_STORAGE s WHERE NOT EXISTS (SELECT 1 FROM RIS_DOC d WHERE d.LABDOC_ID = s.LABDOC_ID)",
       0},
      {"an audit row for every document added, deleted ones' too", "SELECT count(*) FROM DB_FILE_RECORD",
       kDemoDocuments + all_rounds},
      {"every revision of the shared documents kept",
       "SELECT count(*) FROM DB_FILE_CONTENT WHERE LABDOC_ID IN (1, 2) AND PENDING = 0", 2 + all_rounds},
      {"no content without its document",
       "SELECT count(*) FROM DB_FILE_CONTENT c WHERE NOT EXISTS (SELECT 1 FROM DB_FILE_STORAGE s WHERE s.LABDOC_ID = "
       "c.LABDOC_ID)",
       0},
      {"no store left pending", "SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1", 0},
      {"no revision left in progress", "SELECT count(*) FROM DB_FILE_REVISING", 0},
      {"a directory for every copy", "SELECT count(*) FROM Lab_List", kDemoDirectories + consoles + all_rounds},
      {"each copy under a key of its own", "SELECT count(DISTINCT TV_ID) FROM Lab_List",
       kDemoDirectories + consoles + all_rounds},
  };
  for (const Count& c : counts) EXPECT_EQ(rt::testing::QueryInteger(*db, c.sql), c.expected) << c.what;

  // Every document fetches whole (the store checks each content's digest)
  // and is what was stored: each workstation's last file, the shared ones.
  std::string fetch_all = u8"open 文档管理明细/2019年度\nselect 1\nrun 另存为\nfile " +
                          rt::testing::PathUtf8(folder.Path() / "shared1") + u8"\nselect 2\nrun 另存为\nfile " +
                          rt::testing::PathUtf8(folder.Path() / "shared2") + "\n";
  for (int n = 1; n <= param.consoles; ++n)
    fetch_all += u8"open 文档管理明细/工作站" + std::to_string(n) + u8"\nselect 1\nrun 另存为\nfile " +
                 rt::testing::PathUtf8(folder.Path() / ("last" + std::to_string(n))) + "\n";
  const ConsoleRun fetched = RunConsole(home(1), fetch_all, arguments);
  ASSERT_EQ(fetched.exit_code, 0) << fetched.err;
  EXPECT_TRUE(std::filesystem::exists(folder.Path() / "shared1.txt")) << fetched.out;
  EXPECT_TRUE(std::filesystem::exists(folder.Path() / "shared2.csv")) << fetched.out;
  for (int n = 1; n <= param.consoles; ++n) {
    std::ifstream last(folder.Path() / ("last" + std::to_string(n) + ".txt"));
    const std::string text((std::istreambuf_iterator<char>(last)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "workstation " + std::to_string(n) + " round " + std::to_string(param.rounds - 1));
  }
}

std::vector<Workstations> Tested() {
  std::vector<Workstations> tested;
  for (const rt::Engine engine : rt::testing::BothEngines())
    tested.push_back(engine == rt::Engine::Sqlite ? Workstations{engine, 2, 25}
                                                  : Workstations{engine, rt::testing::kStaffLogins, 10});
  return tested;
}

INSTANTIATE_TEST_SUITE_P(Engines, WorkstationsTest, ::testing::ValuesIn(Tested()),
                         [](const ::testing::TestParamInfo<Workstations>& tested) {
                           return rt::testing::EngineName(tested.param.engine) + std::to_string(tested.param.consoles) +
                                  "Consoles";
                         });

}  // namespace
}  // namespace console
