// The console binary driven by scripts against the stand-in plug-in
// (testing/fake_plugin.cpp), on fresh home folders: what the host does on
// its side of each call, what a person sees, and how a script ends. The
// database is the home folder's, or in the server run (@postgres) a schema
// of the test's own on the tests' server.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console/testing/console_run.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/testing/test_support.h"
#include "module/framework/param_text.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/text/gbk.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::DatabaseOptions;
using testing::RunConsole;
using testing::TempFolder;
using Lines = std::vector<std::string>;

// A database of the test's own on the test run's engine.
rt::testing::TestDatabase DatabaseIn(const TempFolder& folder) {
  return {rt::testing::EngineUnderTest(), rt::testing::PathUtf8(folder.Home() / "labdocs.db")};
}

// The console's arguments: the stand-in plug-in and the database, then the
// test's own.
std::vector<std::string> Arguments(const rt::testing::TestDatabase& database,
                                   const std::vector<std::string>& own = {}) {
  std::vector<std::string> arguments = DatabaseOptions(database);
  arguments.insert(arguments.end(), {"--plugin", "fakeplugin.dll"});
  arguments.insert(arguments.end(), own.begin(), own.end());
  return arguments;
}

// A script's run on a server names its database on standard error first
// (docs/console.md); the tests read what follows.
ConsoleRun WithoutDatabaseLine(ConsoleRun run) {
  if (run.err.rfind(u8"labdocs-console: 数据库: ", 0) == 0) run.err.erase(0, run.err.find('\n') + 1);
  return run;
}

class ConsoleSessionTest : public ::testing::Test {
 protected:
  ConsoleRun Run(const std::string& script, const std::vector<std::string>& arguments = {},
                 const std::vector<std::string>& environment = {}) {
    return WithoutDatabaseLine(RunConsole(folder_.Home(), script, Arguments(database_, arguments), environment));
  }
  bool OnServer() const { return database_.Kind() == rt::Engine::Postgres; }
  TempFolder folder_;
  rt::testing::TestDatabase database_ = DatabaseIn(folder_);
};

TEST_F(ConsoleSessionTest, ListsTheRowsOfTheNodeAlignedByDisplayWidth) {
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\nselect 2\nfields\nopen 文档管理明细\nopen 文档管理\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.Block(u8"> open 文档管理明细/2019年度"),
            (Lines{u8"> open 文档管理明细/2019年度", u8"node: 文档管理/文档管理明细/2019年度",
                   u8"params: TV_ID=1;TV_Name=文档管理明细;Icon=labdoc.ico",
                   u8"  #  名称                描述                 参数",
                   u8"  1  甲.txt              普通                 TV_ID=1;TV_Name=文档管理明细;Icon=labdo~",
                   u8"  2  仪器 校准 记录.csv  第 2 版; 含\"附录 A\"  TV_ID=1;TV_Name=文档管理明细;Icon=labdo~",
                   u8"  3  表\\碶.txt           多行\\r\\n描述         TV_ID=1;TV_Name=文档管理明细;Icon=labdo~",
                   u8"(3 rows)"}));
  // fields shows every field under its own name, those the list hides too.
  EXPECT_EQ(
      run.Block("> fields"),
      (Lines{
          "> fields", u8"  #  ID  LABDOC_ID  DISP_名称           DISP_描述            DISP_参数",
          u8"  1  1   11         甲.txt              普通                 TV_ID=1;TV_Name=文档管理明细;Icon=labdo~",
          u8"* 2  2   12         仪器 校准 记录.csv  第 2 版; 含\"附录 A\"  TV_ID=1;TV_Name=文档管理明细;Icon=labdo~",
          u8"  3  3   13         表\\碶.txt           多行\\r\\n描述         TV_ID=1;TV_Name=文档管理明细;Icon=labdo~",
          u8"(3 rows)"}));
  // A category lists its directories itself, a folder its child nodes.
  EXPECT_EQ(run.Block(u8"> open 文档管理明细"),
            (Lines{u8"> open 文档管理明细", u8"node: 文档管理/文档管理明细",
                   u8"params: TV_Name=文档管理明细;Icon=labdoc.ico", u8"  #  名称                          文档数",
                   u8"  1  2019年度                      2", u8"  2  2020年度                      1",
                   u8"  3  仪器操作规程                  1", u8"  4  2021年度 \"内审\" 资料; 待归档  1",
                   u8"(4 rows)"}));
  EXPECT_EQ(run.Block(u8"> open 文档管理"),
            (Lines{u8"> open 文档管理", u8"node: 文档管理", u8"  #  名称", u8"  1  文档管理明细", u8"  2  论文管理明细",
                   u8"  3  质量管理明细", u8"(3 rows)"}));
}

TEST_F(ConsoleSessionTest, ContextMenusGetTheKindAndTheParamsOfTheSelection) {
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                             "menu\n"
                             "select 2\nmenu\n"
                             "select 1-2\nmenu\n"
                             "expect menu miShow,miForm,N1,miSub,miChild,miOff\n"
                             "expect default miForm\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine(u8"info: menu kind 0: TV_ID=1;TV_Name=文档管理明细;Icon=labdoc.ico"));
  EXPECT_TRUE(run.HasLine(
      u8"info: menu kind 1: ID=2;LABDOC_ID=12;\"DISP_名称=仪器 校准 记录.csv\";"
      u8"\"DISP_描述=第 2 版; 含\"\"附录 A\"\"\";\"DISP_参数=TV_ID=1;TV_Name=文档管理明细;Icon=labdoc.ico\""));
  // Several rows: the first selected row's parameter text.
  EXPECT_TRUE(run.HasLine(u8"info: menu kind 2: ID=1;LABDOC_ID=11;DISP_名称=甲.txt;DISP_描述=普通;"
                          u8"\"DISP_参数=TV_ID=1;TV_Name=文档管理明细;Icon=labdoc.ico\""));
  // Only visible items, numbered, the default marked; every menu is a fresh one.
  EXPECT_EQ(run.Block(u8"menu for rows 1, 2:"),
            (Lines{u8"menu for rows 1, 2:", u8"   1  显示参数    miShow", u8"   2  编辑...     miForm  (default)",
                   u8"      -           N1", u8"      更多        miSub  >", u8"   3    子命令    miChild",
                   u8"      停用的命令  miOff  (disabled)"}));
  EXPECT_EQ(run.out.find("miStale"), std::string::npos);
}

TEST_F(ConsoleSessionTest, SelectedRowsReachTheCommandQuotedForThePluginsReader) {
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\nselect 1,2\nrun 显示参数\nexpect status 0\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine(u8"info: params: TV_ID=1;TV_Name=文档管理明细;Icon=labdoc.ico"));
  const std::string prefix = u8"info: row: ";
  std::vector<std::string> rows;
  for (const std::string& line : run.Lines())
    if (line.rfind(prefix, 0) == 0) rows.push_back(rt::gbk::FromUtf8(line.substr(prefix.size())));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(labdocs::ParamTextValue(rows[0], "DISP_名称"), "甲.txt");
  EXPECT_EQ(labdocs::ParamTextValue(rows[1], "LabDoc_ID"), "12");
  EXPECT_EQ(labdocs::ParamTextValue(rows[1], "DISP_名称"), "仪器 校准 记录.csv");
  EXPECT_EQ(labdocs::ParamTextValue(rows[1], "DISP_描述"), "第 2 版; 含\"附录 A\"");
  EXPECT_EQ(labdocs::ParamTextValue(rows[1], "DISP_参数"), "TV_ID=1;TV_Name=文档管理明细;Icon=labdoc.ico");
  EXPECT_TRUE(run.HasLine("command: miShow"));
}

TEST_F(ConsoleSessionTest, AFormIsShownAndWorkedThroughItsKeysAndButtons) {
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                             "run miForm\n"
                             "expect title 假表单\n"
                             "type edName 实验 \"报告\"\n"
                             "key enter\n"
                             "expect focus mmNote\n"
                             "type mmNote \"第一行\\n第二行\"\n"
                             "key shift+tab\n"
                             "click btnBoom\n"
                             "expect message 按钮出错了\n"
                             "expect hidden edHidden\n"
                             "show\n"
                             "key escape\n"
                             "expect status 0\n"
                             "exec miForm\n"
                             "type cbKind 重要\n"
                             "click btnOk\n"
                             "expect status 2\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.Block(u8"form: 假表单"),
            (Lines{u8"form: 假表单", u8"  text: 请先保存", u8"  edName [edit] 名  称: \"\"",
                   u8"  mmNote [memo] 备  注: \"\"", u8"  cbKind [combo]: \"\" (普通 | 重要)",
                   u8"  btnBoom [button]: 出错", u8"  btnOk [button]: 确定", u8"  btnCancel [button]: 取消"}));
  // Enter moves on as the form's key handler has it; the focus is reported.
  EXPECT_EQ(run.Block("> key enter"), (Lines{"> key enter", "focus: mmNote"}));
  EXPECT_EQ(run.Block("> key shift+tab"), (Lines{"> key shift+tab", "focus: edName"}));
  // A handler's error goes to the error display and the form stays open.
  EXPECT_EQ(run.Block("> click btnBoom"), (Lines{"> click btnBoom", u8"error: 按钮出错了"}));
  EXPECT_EQ(run.Block("> show"),
            (Lines{"> show", u8"form: 假表单", u8"  text: 请先保存", u8"  edName [edit] 名  称: \"实验 \\\"报告\\\"\"",
                   u8"  mmNote [memo] 备  注: \"第一行\\n第二行\"", u8"  cbKind [combo]: \"\" (普通 | 重要)",
                   u8"* btnBoom [button]: 出错", u8"  btnOk [button]: 确定", u8"  btnCancel [button]: 取消"}));
  EXPECT_EQ(run.Block("> key escape"),
            (Lines{"> key escape", u8"form closed: 假表单 (cancel)", u8"info: result 2: 实验 \"报告\" / 第一行",
                   u8"      第二行 / ", "status: 0 (nothing changed)"}));
  EXPECT_TRUE(run.HasLine(u8"form closed: 假表单 (OK)"));
  EXPECT_TRUE(run.HasLine(u8"info: result 1:  /  / 重要"));
  // Status 2 reads the list again.
  EXPECT_EQ(run.Block("> click btnOk").at(3), "status: 2 (records changed)");
  EXPECT_EQ(run.Block("> click btnOk").back(), "(3 rows)");
}

TEST_F(ConsoleSessionTest, QuestionsAndFileDialogsWaitForTheirAnswers) {
  const std::filesystem::path existing = folder_.Path() / rt::testing::Utf8Path(u8"报告 1.txt");
  std::filesystem::create_directories(folder_.Path());
  { std::ofstream(existing) << "x"; }
  const std::string dir = rt::testing::PathUtf8(folder_.Path());
  // The dialogs name the absolute path with the system's separator.
  const std::string sep(1, rt::platform::kPathDelimiter);
  // clang-format off
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                             "exec miAsk\n"
                             "expect message \"继续吗？\\r\\n第二行\"\n"
                             "yes\n"
                             "file " + dir + u8"/没有.txt\n"
                             "file " + dir + u8"/报告 1.txt\n"
                             u8"expect filename 报告 1.txt\n"
                             "file " + dir + u8"/报告 1\n"
                             "answer no\n"
                             "file " + dir + u8"/新报告\n");
  // clang-format on
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.Block("> exec miAsk"),
            (Lines{"> exec miAsk", "command: miAsk", u8"confirm: 继续吗？", u8"         第二行"}));
  EXPECT_TRUE(run.HasLine("info: answer 1"));
  // The open dialog wants an existing file; the save dialog adds its default
  // extension and asks before it replaces a file.
  EXPECT_TRUE(run.HasLine(u8"open dialog: " + dir + sep + u8"没有.txt does not exist; choose another file"));
  EXPECT_TRUE(run.HasLine(u8"info: open: " + dir + sep + u8"报告 1.txt"));
  EXPECT_TRUE(run.HasLine(u8"save dialog: 另存为 [文本(*.txt)|*.txt] file name: 报告 1.txt"));
  EXPECT_TRUE(run.HasLine(u8"save dialog: " + dir + sep + u8"报告 1.txt already exists. Replace it?"));
  EXPECT_TRUE(run.HasLine(u8"info: save: " + dir + sep + u8"新报告.txt"));
}

// An unattended script answers every question the same without a line of
// its own; the transcript shows the question and the answer.
TEST_F(ConsoleSessionTest, AStandingAnswerAnswersEveryQuestion) {
  for (const auto& [answer, code] : {std::pair{"yes", "1"}, std::pair{"no", "2"}}) {
    SCOPED_TRACE(answer);
    const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                               "exec miAsk\n"
                               "file cancel\n",
                               {"--answer", answer});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(run.HasLine(std::string("(answered ") + answer + ": --answer)")) << run.out;
    EXPECT_TRUE(run.HasLine(std::string("info: answer ") + code)) << run.out;
  }
  EXPECT_EQ(Run("quit\n", {"--answer", "maybe"}).exit_code, 2);
}

TEST_F(ConsoleSessionTest, TheStatusSaysWhatToShowAgainAndFailuresAreReported) {
  const ConsoleRun run = Run(u8"open 文档管理明细\n"
                             "select 4\n"
                             "exec miDeleted\n"
                             "expect status 3\n"
                             "expect rows 3\n"
                             "expect node 文档管理明细\n"
                             "tree\n"
                             "exec miFail\n"
                             "expect failed\n"
                             "exec miNoSuchCommand\n"
                             "expect status 1\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.Block("> exec miDeleted"),
            (Lines{"> exec miDeleted", "command: miDeleted", "status: 3 (a directory was deleted)",
                   u8"tree reloaded; node: 文档管理/文档管理明细", u8"  #  名称          文档数",
                   u8"  1  2019年度      2", u8"  2  2020年度      1", u8"  3  仪器操作规程  1", "(3 rows)"}));
  EXPECT_EQ(run.Block("> tree").size(), 1u + 10u);  // the deleted directory is gone from the tree
  EXPECT_TRUE(run.HasLine(u8"*   文档管理明细"));
  EXPECT_EQ(run.Block("> exec miFail"), (Lines{"> exec miFail", "command: miFail",
                                               u8"failed: ExecuteMenu returned 0x80004005 (result 1): 命令失败"}));
  EXPECT_TRUE(run.HasLine("status: 1 (nothing was done)"));
}

TEST_F(ConsoleSessionTest, FailingViewAndMenuCallsAreReported) {
  ConsoleRun run = Run(u8"open 文档管理明细/2019年度\nexpect rows 0\n", {}, {"FAKE_PLUGIN_FAIL=InitViewData"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("failed: InitViewData returned 0x80004005 (result 1): InitViewData failed on purpose"));
  EXPECT_TRUE(run.HasLine("(no rows)"));

  run = Run(u8"open 文档管理明细/2019年度\nmenu\nexpect menu none\n", {}, {"FAKE_PLUGIN_FAIL=InitRightMenu"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("failed: InitRightMenu returned 0x80004005 (result 1): InitRightMenu failed on purpose"));
}

TEST_F(ConsoleSessionTest, AScriptStopsAtItsFirstErrorWithAnExitCodeNamingTheLine) {
  ConsoleRun run = Run("tree\n\n# a comment\nfrobnicate\ntree\n");
  EXPECT_EQ(run.exit_code, 5);
  EXPECT_EQ(run.err, "labdocs-console: line 4: unknown command 'frobnicate' (help lists the commands)\n");
  ASSERT_FALSE(run.Lines().empty());
  EXPECT_EQ(run.Lines().front(), "> tree");
  EXPECT_EQ(run.Lines().back(), u8"      质量手册");  // nothing ran after the bad line

  run = Run(u8"open 文档管理明细/2030年度\n");
  EXPECT_EQ(run.exit_code, 6);
  EXPECT_EQ(run.err, u8"labdocs-console: line 1: 文档管理/文档管理明细 has no node 2030年度\n");

  run = Run(u8"open 文档管理明细/2019年度\nexpect rows 2\n");
  EXPECT_EQ(run.exit_code, 7);
  EXPECT_EQ(run.err, "labdocs-console: line 2: The list has 3 rows, not 2\n");

  run = Run("select 1\n");
  EXPECT_EQ(run.exit_code, 6);
  EXPECT_EQ(run.err, "labdocs-console: line 1: No node is open: open one first (tree shows them)\n");

  // An error while a form is shown closes the form on the way out.
  run = Run(u8"open 文档管理明细/2019年度\nrun miForm\ntype edNothing x\ntree\n");
  EXPECT_EQ(run.exit_code, 6);
  EXPECT_EQ(run.err, u8"labdocs-console: line 3: The form 假表单 has no control edNothing\n");
  EXPECT_EQ(run.Lines().back(), u8"info: result 2:  /  / ");  // the command ended, nothing else ran
  EXPECT_TRUE(run.HasLine(u8"form closed: 假表单 (cancel)"));

  run = Run(u8"open 文档管理明细/2019年度\nrun miForm\nopen 文档管理明细\n");
  EXPECT_EQ(run.exit_code, 6);
  EXPECT_EQ(run.err,
            u8"labdocs-console: line 3: 'open' does not fit here: the form 假表单 is shown (close it first)\n");

  run = Run(u8"open 文档管理明细/2019年度\nrun miForm\nclick edHidden\n");
  EXPECT_EQ(run.exit_code, 6);
  EXPECT_EQ(run.err, "labdocs-console: line 3: edHidden cannot be clicked: it is hidden or disabled\n");

  run = Run(u8"open 文档管理明细/2019年度\nexec miAsk\nclick btnOk\n");
  EXPECT_EQ(run.exit_code, 6);
  EXPECT_EQ(run.err,
            "labdocs-console: line 3: 'click' does not fit here: a question waits for an answer (yes or no)\n");

  // The end of the script closes what is open, as the close button would.
  run = Run(u8"open 文档管理明细/2019年度\nrun miForm\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("(end of input: the form is closed)"));

  run = Run(u8"open 文档管理明细/2019年度\nrun miForm\nquit\ntree\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_FALSE(run.HasLine("> tree"));
}

TEST_F(ConsoleSessionTest, AScriptMayStartWithAByteOrderMarkAndEndItsLinesWithCrLf) {
  const ConsoleRun run = Run(u8"\xEF\xBB\xBFopen 质量管理明细\r\nexpect rows 1\r\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_FALSE(run.Lines().empty());
  EXPECT_EQ(run.Lines().front(), u8"> open 质量管理明细");
}

TEST_F(ConsoleSessionTest, AMissingPluginOrExportIsAnErrorNamingIt) {
  std::vector<std::string> arguments = DatabaseOptions(database_);
  arguments.insert(arguments.end(), {"--plugin", "nothere.dll"});
  ConsoleRun run = RunConsole(folder_.Home(), "tree\n", arguments);
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_EQ(run.err,
            "labdocs-console: The plug-in nothere.dll could not be loaded: not found beside the console or on the "
            "library path\n");
  arguments.back() = "hostrt.dll";
  run = RunConsole(folder_.Home(), "tree\n", arguments);
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_EQ(run.err, "labdocs-console: The plug-in hostrt.dll has no export InitViewData\n");
}

TEST_F(ConsoleSessionTest, AHomeFolderGetsTheDemoOnceAndIsNeverChangedAfterwards) {
  const std::string count = "sql select count(*) as n from Lab_List\n";
  ConsoleRun run = Run(u8"open 文档管理明细\nselect 1\nexec miDeleted\n" + count);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // On the server the home folder keeps only the cache and the icons.
  EXPECT_EQ(std::filesystem::is_regular_file(folder_.Home() / "labdocs.db"), !OnServer());
  EXPECT_TRUE(std::filesystem::is_directory(folder_.Home() / "DocCache"));
  EXPECT_TRUE(
      std::filesystem::is_regular_file(folder_.Home() / rt::testing::Utf8Path(u8"Configs/MMCImages/32×32/labdoc.ico")));
  EXPECT_TRUE(run.HasLine("  1  6"));
  // Opening it again, even asking for an empty database, keeps the data.
  run = Run(count, {"--empty"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("  1  6"));

  const TempFolder other;
  const rt::testing::TestDatabase other_database = DatabaseIn(other);
  run = RunConsole(other.Home(), "tree\n" + count, Arguments(other_database, {"--empty"}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.Lines(), (Lines{"> tree", "> " + count.substr(0, count.size() - 1), "  #  n", "  1  0", "(1 row)"}));
}

TEST_F(ConsoleSessionTest, WithoutTheDocumentStoreTheDemoDocumentsAreListedWithoutContent) {
  const rt::testing::ProgramFolder no_store(folder_.Path() / "libraries");
  no_store.Add(rt::testing::BuiltLibrary("fakeplugin"), rt::testing::BuiltLibrary("fakeplugin").filename().string());
  const ConsoleRun run = RunConsole(folder_.Home(),
                                    "sql select LABDOC_ID, FILE_NAME from DB_FILE_STORAGE where LABDOC_ID in (1,2)\n"
                                    "sql select count(*) as n from RIS_DOC\n",
                                    Arguments(database_), no_store.Environment(), no_store.Program("labdocs-console"));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.Block("  #  LABDOC_ID  FILE_NAME"),
            (Lines{"  #  LABDOC_ID  FILE_NAME", u8"  1  1          实验室安全手册.txt",
                   u8"  2  2          仪器校准记录 2019; 第2版.csv", "(2 rows)"}));
  EXPECT_TRUE(run.HasLine("  1  7"));
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The sql command reads; the database refuses what would change the data,
// the schema, the file's settings or the connection's guard, and an SQLite
// file stays byte for byte as it was. With --allow-sql-writes the same
// statements change the database.
TEST_F(ConsoleSessionTest, SqlOnlyReadsUnlessWritesAreAllowed) {
  enum class On { Both, Sqlite, Server };
  struct Case {
    const char* statement;
    const char* check;   // a query whose single value shows the change
    const char* before;  // its value before and after the statement
    const char* after;   // nullptr: not run with writes allowed
    On on = On::Both;
  };
  const Case cases[] = {
      {u8"insert into Lab_List(TV_ID,TV_Name,DocType) values(20,'新目录','文档管理明细')",
       u8"select count(*) as n from Lab_List where TV_Name='新目录'", "0", "1"},
      {u8"update RIS_DOC set DESCS='已修改' where ID=1", u8"select DESCS from RIS_DOC where ID=1",
       u8"实验室安全管理规定（2019 年修订）", u8"已修改"},
      {"delete from Lab_List where TV_ID=5", "select count(*) as n from Lab_List", "7", "6"},
      {u8"create table 备忘(内容 text)", u8"select count(*) as n from sqlite_master where name='备忘'", "0", "1",
       On::Sqlite},
      {"PRAGMA application_id = 7", "PRAGMA application_id", "0", "7", On::Sqlite},
      {"PRAGMA user_version = 99", "PRAGMA user_version", "9", "99", On::Sqlite},
      // Lifting the guard from inside the text does not get past it.
      {u8"PRAGMA query_only = 0; insert into Lab_List(TV_ID,TV_Name,DocType) values(21,'绕过','文档管理明细')",
       u8"select count(*) as n from Lab_List where TV_Name='绕过'", "0", "1", On::Sqlite},
      // (With writes allowed, the staff's login may still make no table.)
      {u8"create table 备忘(内容 text)", u8"select count(*) as n from pg_tables where tablename='备忘'", "0", nullptr,
       On::Server},
      // Nor does ending the read-only transaction.
      {"select 1; commit; delete from Lab_List where TV_ID=5", "select count(*) as n from Lab_List", "7", nullptr,
       On::Server},
  };
  for (const Case& c : cases) {
    if (c.on != On::Both && (c.on == On::Server) != OnServer()) continue;
    SCOPED_TRACE(c.statement);
    const TempFolder folder;
    const rt::testing::TestDatabase database = DatabaseIn(folder);
    const std::string check = std::string("sql ") + c.check + "\n";
    ConsoleRun run = RunConsole(folder.Home(), check, Arguments(database));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_TRUE(run.HasLine(std::string("  1  ") + c.before)) << run.out;
    const std::string file = ReadBytes(folder.Home() / "labdocs.db");

    run = WithoutDatabaseLine(RunConsole(folder.Home(), std::string("sql ") + c.statement + "\n", Arguments(database)));
    EXPECT_EQ(run.exit_code, 6);
    EXPECT_EQ(run.err.rfind("labdocs-console: line 1: sql only reads: start the console with --allow-sql-writes", 0),
              0u)
        << run.err;
    EXPECT_TRUE(ReadBytes(folder.Home() / "labdocs.db") == file) << "the refused statement changed the file";
    run = RunConsole(folder.Home(), check, Arguments(database));
    EXPECT_TRUE(run.HasLine(std::string("  1  ") + c.before)) << run.out;

    if (c.after == nullptr) continue;
    run = RunConsole(folder.Home(), std::string("sql ") + c.statement + "\n" + check,
                     Arguments(database, {"--allow-sql-writes"}));
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(run.HasLine(std::string("  1  ") + c.after)) << run.out;
  }

  // The guard ends with the command: the plug-in writes through the same
  // connection afterwards.
  const ConsoleRun run = Run(u8"sql select count(*) as n from Lab_List\n"
                             u8"open 文档管理明细\nselect 1\nexec miDeleted\nexpect rows 3\n"
                             "sql select count(*) as n from Lab_List\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("  1  7"));
  EXPECT_TRUE(run.HasLine("  1  6"));
}

TEST_F(ConsoleSessionTest, CommandLineAndEnvironment) {
  ConsoleRun run = Run("env\n", {"--user-id", "u07", "--user-name", u8"张三", "--computer", "LAB-PC09", "--sys-code",
                                 "LIS_OTHER", "--display-style=3"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine(u8"user: u07 张三"));
  EXPECT_TRUE(run.HasLine("computer: LAB-PC09"));
  EXPECT_TRUE(run.HasLine("subsystem: LIS_OTHER"));
  EXPECT_TRUE(run.HasLine("display style: 3"));
  EXPECT_TRUE(run.HasLine("plug-in: fakeplugin.dll"));

  run = Run("", {"--help"});
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_FALSE(run.Lines().empty());
  EXPECT_EQ(run.Lines().front(), "Usage: labdocs-console [options]");
  run = Run("", {"--colour"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err, "labdocs-console: unknown option '--colour' (--help lists the options)\n");
  run = Run("", {"--display-style", "wide"});
  EXPECT_EQ(run.exit_code, 2);
}

}  // namespace
}  // namespace console
