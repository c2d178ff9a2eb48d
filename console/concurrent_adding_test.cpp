// Two workstations adding documents to one directory at the same time: two
// console processes on one home folder, each adding its own documents. Every
// document gets its own key, its stored file and its audit row; nothing is
// lost, nothing is left over.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "console/testing/console_run.h"
#include "runtime/data/database.h"
#include "runtime/platform/testing/test_support.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::RunConsole;
using testing::TempFolder;

constexpr int kAddsPerConsole = 200;

std::int64_t Number(rt::Database& db, const char* sql) {
  const rt::RowSet rows = db.QueryBound(sql, {});
  return std::get<std::int64_t>(rows.rows.at(0).at(0));
}

TEST(ConcurrentAddingTest, TwoConsolesAddingAtOnceAddEveryDocumentOnce) {
#ifndef LABDOCS_CONSOLE_HAS_LABDOCS
  GTEST_SKIP() << "the plug-in labdocs is not part of this build";
#endif
  TempFolder folder;
  ASSERT_EQ(RunConsole(folder.Home(), "quit\n").exit_code, 0);  // the demo, seeded once

  std::string scripts[2];
  for (int console = 0; console < 2; ++console) {
    const std::filesystem::path sources = folder.Path() / ("sources" + std::to_string(console));
    std::filesystem::create_directories(sources);
    for (int i = 0; i < kAddsPerConsole; ++i) {
      const std::filesystem::path file = sources / rt::testing::Utf8Path(u8"文件淺-" + std::to_string(i) + ".txt");
      std::ofstream(file) << "console " << console << " document " << i;
      scripts[console] += u8"open 文档管理明细\nselect 1\nrun miNew\ntype edFileName " + rt::testing::PathUtf8(file) +
                          "\nclick btnSave\nexpect status 0\n";
    }
  }
  ConsoleRun runs[2];
  {
    std::thread second([&] { runs[1] = RunConsole(folder.Home(), scripts[1], {"--computer", "PC-2"}); });
    runs[0] = RunConsole(folder.Home(), scripts[0], {"--computer", "PC-1"});
    second.join();
  }
  for (const ConsoleRun& run : runs) ASSERT_EQ(run.exit_code, 0) << run.err;

  rt::Database db(rt::testing::PathUtf8(folder.Home() / "labdocs.db"), rt::Database::OpenMode::OpenExisting);
  EXPECT_EQ(db.QueryBound("PRAGMA integrity_check", {}).rows.at(0).at(0), rt::Value(std::string("ok")));
  constexpr std::int64_t kDemo = 7;
  constexpr std::int64_t kAdded = 2 * kAddsPerConsole;
  EXPECT_EQ(Number(db, "SELECT count(*) FROM RIS_DOC"), kDemo + kAdded);
  EXPECT_EQ(Number(db, "SELECT count(DISTINCT ID) FROM RIS_DOC"), kDemo + kAdded);
  EXPECT_EQ(Number(db, "SELECT count(*) FROM RIS_DOC WHERE DocType = '1'"), 2 + kAdded);
  EXPECT_EQ(Number(db, "SELECT count(*) FROM DB_FILE_STORAGE"), kDemo + kAdded);
  EXPECT_EQ(Number(db, "SELECT count(*) FROM DB_FILE_RECORD"), kDemo + kAdded);
  EXPECT_EQ(Number(db, "SELECT count(*) FROM DB_FILE_RECORD WHERE HOSTNAME = 'PC-2'"), kAddsPerConsole);
  // Each record, its audit row and its stored file belong together; no
  // stored file or audit row is without its record.
  EXPECT_EQ(Number(db, "SELECT count(*) FROM RIS_DOC d JOIN DB_FILE_RECORD a ON a.FileTableID = d.ID AND "
                       "a.LABDOC_ID = d.LABDOC_ID JOIN DB_FILE_STORAGE s ON s.LABDOC_ID = d.LABDOC_ID"),
            kDemo + kAdded);
  EXPECT_EQ(Number(db, "SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
}

}  // namespace
}  // namespace console
