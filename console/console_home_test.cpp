// The console's home folder from outside: consoles starting together on a
// new folder, and databases that the console must refuse to open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "console/testing/console_run.h"
#include "runtime/data/database.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::RunConsole;
using testing::RunConsolesAtOnce;
using testing::TempFolder;

std::int64_t Count(rt::Database& database, const std::string& query) {
  const rt::RowSet rows = database.QueryBound(query, {});
  return std::get<std::int64_t>(rows.rows.at(0).at(0));
}

std::set<std::string> Entries(const std::filesystem::path& folder) {
  std::set<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) entries.insert(entry.path().filename().string());
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
    std::vector<std::string> scripts;
    for (int console = 1; console <= 2; ++console) {
      const std::string n = std::to_string(console);
      scripts.push_back("sql insert into Lab_List(TV_ID,TV_Name,DocType) values(10" + n + u8",'并发目录 " + n +
                        u8"','文档管理明细')\n"
                        "sql update RIS_DOC set DESCS='" + u8"第 " + n + u8" 台修改' where ID=" + n + "\n" +
                        u8"open 文档管理明细/2019年度\n");
    }
    const std::vector<ConsoleRun> runs = RunConsolesAtOnce(folder.Home(), scripts, {"--plugin", "fakeplugin.dll"});
    for (const ConsoleRun& run : runs) ASSERT_EQ(run.exit_code, 0) << run.err;

    // Nothing left of the database or the icons that lost.
    EXPECT_EQ(Entries(folder.Home()), (std::set<std::string>{"Configs", "DocCache", "labdocs.db"}));
    EXPECT_EQ(Entries(folder.Home() / u8"Configs/MMCImages/32×32"), (std::set<std::string>{"folder.ico", "labdoc.ico"}));

    rt::Database database((folder.Home() / "labdocs.db").string(), rt::Database::OpenMode::OpenExisting);
    const rt::RowSet check = database.QueryBound("PRAGMA integrity_check", {});
    ASSERT_EQ(check.rows.size(), 1u);
    EXPECT_EQ(std::get<std::string>(check.rows[0][0]), "ok");
    EXPECT_EQ(Count(database, "SELECT count(*) FROM Pacs_MMCTreeViewConfig"), 4);
    EXPECT_EQ(Count(database, "SELECT count(*) FROM Lab_List WHERE TV_ID <= 7"), 7);
    EXPECT_EQ(Count(database, "SELECT count(*) FROM RIS_DOC"), 7);
    EXPECT_EQ(Count(database, "SELECT count(*) FROM DB_FILE_STORAGE"), 7);
    EXPECT_EQ(Count(database, "SELECT count(*) FROM DB_FILE_RECORD"), 7);
    const rt::RowSet added = database.QueryBound("SELECT TV_ID, TV_Name FROM Lab_List WHERE TV_ID > 7 ORDER BY TV_ID", {});
    EXPECT_EQ(added.rows, (std::vector<std::vector<rt::Value>>{{std::int64_t{101}, std::string("并发目录 1")},
                                                               {std::int64_t{102}, std::string("并发目录 2")}}));
    const rt::RowSet changed = database.QueryBound("SELECT DESCS FROM RIS_DOC WHERE ID IN (1, 2) ORDER BY ID", {});
    EXPECT_EQ(changed.rows, (std::vector<std::vector<rt::Value>>{{std::string("第 1 台修改")}, {std::string("第 2 台修改")}}));
  }
}

}  // namespace
}  // namespace console
