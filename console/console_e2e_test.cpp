// End to end: the console binary with the real plug-in (labdocs.so) and the
// real document store (LAB_DOC.so) on a fresh demo home folder, driven by
// scripts. The menus follow the documents view's rules; the commands run
// through ExecuteMenu as the host runs them.
//
// The build defines LABDOCS_CONSOLE_HAS_LABDOCS when the plug-in's target
// exists; without it these tests are skipped. Every test runs on the home
// folder's SQLite database and, where the build has the PostgreSQL client,
// on a schema of its own on the tests' server (--database).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "console/testing/console_run.h"
#include "console/testing/readme_session.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::RunConsole;
using testing::TempFolder;
using Lines = std::vector<std::string>;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class ConsoleEndToEndTest : public ::testing::TestWithParam<rt::Engine> {
 protected:
  void SetUp() override {
#ifndef LABDOCS_CONSOLE_HAS_LABDOCS
    GTEST_SKIP() << "the plug-in labdocs is not part of this build";
#endif
    if (GetParam() == rt::Engine::Postgres) {
      server_ = std::make_unique<rt::testing::TestDatabase>(GetParam(), std::string());
      ASSERT_FALSE(server_->Setting().empty());
      database_ = {"--database", server_->Setting()};
    }
  }
  ConsoleRun Run(const std::string& script, std::vector<std::string> arguments = {},
                 const std::vector<std::string>& environment = {}) {
    arguments.insert(arguments.begin(), database_.begin(), database_.end());
    return RunConsole(folder_.Home(), script, arguments, environment);
  }
  TempFolder folder_;
  std::unique_ptr<rt::testing::TestDatabase> server_;  // on the server: the test's own schema
  std::vector<std::string> database_;                  // the console's --database and its setting, if any
};

INSTANTIATE_TEST_SUITE_P(Engines, ConsoleEndToEndTest, ::testing::ValuesIn(rt::testing::BothEngines()),
                         [](const ::testing::TestParamInfo<rt::Engine>& engine) {
                           return rt::testing::EngineName(engine.param);
                         });

TEST_P(ConsoleEndToEndTest, ListsADirectorysDocuments) {
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                             u8"expect cell 2 名称 仪器校准记录 2019; 第2版.csv\n"
                             u8"expect cell 2 描述 第 2 版; 含\"附录 A\"\n"
                             u8"open 论文管理明细/2020年论文\n"
                             "expect rows 0\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(
      run.Block(u8"> open 文档管理明细/2019年度"),
      (Lines{
          u8"> open 文档管理明细/2019年度", u8"node: 文档管理/文档管理明细/2019年度",
          u8"params: TV_ID=1;TV_Name=文档管理明细;Icon=labdoc.ico",
          u8"  #  ID  文件ID  名称                          描述                               修改时间",
          u8"  1  1   1       实验室安全手册.txt            实验室安全管理规定（2019 年修订）  2019-03-01 09:30:00",
          u8"  2  2   2       仪器校准记录 2019; 第2版.csv  第 2 版; 含\"附录 A\"                2019-06-12 14:05:00",
          u8"(2 rows)"}));
  EXPECT_TRUE(run.HasLine("(no rows)"));
}

// The documents view's menu rules, for documents and for a category's
// directories, with no row, one row and several rows selected.
TEST_P(ConsoleEndToEndTest, ContextMenusShowTheItemsTheViewAllows) {
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                             "menu\nexpect menu miNew\n"
                             "select 2\nmenu\nexpect menu miDelete,miOpenFile,miSaveAs,miProperties,N2,miVersions\n"
                             "expect default miOpenFile\n"
                             "select 1-2\nmenu\nexpect menu miDelete,miVersions\n"
                             u8"open 文档管理明细\n"
                             "menu\nexpect menu miNew\n"
                             "select 4\nmenu\nexpect menu miNew,miDeleteList,miCopyList\nexpect default none\n"
                             "select 1,4\nmenu\nexpect menu miDeleteList,miCopyList\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.Block("menu for row 2:"),
            (Lines{"menu for row 2:", u8"   1  删除文档     miDelete", u8"   2  打开文档     miOpenFile  (default)",
                   u8"   3  另存为       miSaveAs", u8"   4  属性         miProperties", u8"   5  修改文档     N2",
                   u8"   6  版本历史...  miVersions"}));
  EXPECT_EQ(run.Block("menu for row 4:"),
            (Lines{"menu for row 4:", u8"   1  新增文档...  miNew", u8"   2  删除目录     miDeleteList",
                   u8"   3  复制目录     miCopyList"}));
}

TEST_P(ConsoleEndToEndTest, DirectoryCommandsNeedTheDirectorsSubsystem) {
  const ConsoleRun run = Run(u8"open 文档管理明细\n"
                             "select 1\nmenu\nexpect menu miNew\n"
                             "select 1-2\nmenu\nexpect menu none\n",
                             {"--sys-code", "LIS_OTHER"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("  (no items)"));
}

// Save as, on a row whose name holds blanks and a semicolon: the proposal
// shows the row's name exactly as the plug-in read it from the row's text.
TEST_P(ConsoleEndToEndTest, SaveAsCopiesTheDocumentUnderTheChosenName) {
  const std::filesystem::path target = folder_.Path() / rt::testing::Utf8Path(u8"副本");
  // clang-format off
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                             "select 2\n"
                             "run 另存为\n"
                             u8"expect filename 仪器校准记录 2019; 第2版.csv\n"
                             "file " + rt::testing::PathUtf8(target) + "\n"
                             "expect status 0\n"
                             "run miSaveAs\n"
                             "file cancel\n");
  // clang-format on
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine(u8"save dialog: 文档另存为 [文档类型(*.csv)|*.csv] file name: 仪器校准记录 2019; 第2版.csv"));
  EXPECT_TRUE(run.HasLine(u8"info: 文件：" + rt::testing::PathUtf8(target) + u8".csv 保存成功！"));
  EXPECT_EQ(ReadFile(rt::testing::Utf8Path(rt::testing::PathUtf8(target) + ".csv")),
            u8"仪器,校准日期,结果\n血球分析仪,2019-06-10,合格\n生化分析仪,2019-06-11,合格\n");
}

TEST_P(ConsoleEndToEndTest, OpenHandsTheFetchedDocumentToItsProgram) {
  const rt::testing::RecordingOpener opener(folder_.Path() / "opened.txt");
  const ConsoleRun run = Run(u8"open 质量管理明细/质量手册\nselect 1\nrun 2\nexpect status 0\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("command: miOpenFile"));  // item 2, the default: 打开文档
  const std::vector<std::string> opened = opener.Opened(1);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(ReadFile(rt::testing::Utf8Path(opened[0])), u8"第一章 总则\n第二章 组织与管理\n");
}

// The commands of the documents view that show forms and change data. The
// plug-in does not have them yet (its actions New, Properties, Delete, the
// directory commands and the revision have no handlers so far): these cases
// are disabled until each command lands, and its change enables its case.

// New document: the form opens in new mode and Escape cancels it.
TEST_P(ConsoleEndToEndTest, NewDocumentFormOpensAndEscapeCancelsIt) {
  const ConsoleRun run = Run(u8"open 文档管理明细\n"
                             "select 1\n"
                             "run 新增文档...\n"
                             u8"expect title 实验文件属性 - 新增实验文件\n"
                             "expect focus edFileName\n"
                             "expect hidden edFstAuthor\n"
                             "key escape\n"
                             "expect status 0\n"
                             u8"open 文档管理明细/2019年度\n"
                             "expect rows 2\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine(u8"form: 实验文件属性 - 新增实验文件"));
  EXPECT_TRUE(run.HasLine(u8"form closed: 实验文件属性 - 新增实验文件 (cancel)"));
}

// Adding a document: the file chosen in the open dialog is stored, the
// description saved, and the document lands in the directory whose row the
// menu was opened on.
TEST_P(ConsoleEndToEndTest, AddsADocumentToTheDirectoryOfTheMenu) {
  const std::filesystem::path file = folder_.Path() / rt::testing::Utf8Path(u8"新 文件; 1.txt");
  std::ofstream(file) << "content";
  // clang-format off
  const ConsoleRun run = Run(u8"open 论文管理明细\n"
                             "select 2\n"
                             "run miNew\n"
                             "expect visible edFstAuthor\n"
                             "click btnOpenFile\n"
                             "file " + rt::testing::PathUtf8(file) + "\n"
                             "expect text edFileName " + rt::testing::PathUtf8(file) + "\n"
                             u8"type edFstAuthor 陈玕\n"
                             u8"type mmComment \"第一行\\n\\\"第二行\\\"\"\n"
                             "click btnSave\n"
                             "expect status 0\n"
                             u8"open 论文管理明细/2020年论文\n"
                             "expect rows 1\n"
                             u8"expect cell 1 名称 新 文件; 1.txt\n"
                             u8"expect cell 1 描述 \"第一行\\n\\\"第二行\\\"\"\n");
  // clang-format on
  ASSERT_EQ(run.exit_code, 0) << run.err;
}

// Properties of the document with blanks and quotes in its row: the form
// shows its record, titled by the first display column, the stored file's
// name locked.
TEST_P(ConsoleEndToEndTest, PropertiesShowTheRecordOfTheSelectedRow) {
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                             "select 2\n"
                             "run 属性\n"
                             u8"expect title 实验文件属性 - 2\n"
                             u8"expect text edFileName 仪器校准记录 2019; 第2版.csv\n"
                             "expect disabled edFileName\n"
                             "expect disabled btnOpenFile\n"
                             u8"expect text mmComment 第 2 版; 含\"附录 A\"\n"
                             "click btnCancel\n"
                             "expect status 0\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
}

TEST_P(ConsoleEndToEndTest, ThesisDirectoriesShowTheAuthors) {
  const ConsoleRun run = Run(u8"open 论文管理明细/2019年论文\n"
                             "select 1\n"
                             "run miProperties\n"
                             "expect visible edFstAuthor\n"
                             u8"expect text edFstAuthor 陈玕\n"
                             u8"expect text edAuthors 李明, 王芳\n"
                             "key escape\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
}

TEST_P(ConsoleEndToEndTest, DeletesTheSelectedDocumentsAfterTheQuestion) {
  const ConsoleRun run = Run(u8"open 文档管理明细/2019年度\n"
                             "select 1\n"
                             "run miDelete\n"
                             u8"expect message 是否确实要删除选中的记录？\n"
                             "no\n"
                             "expect status 0\n"
                             "select all\n"
                             "run miDelete\n"
                             "yes\n"
                             "expect status 2\n"
                             "expect rows 0\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
}

TEST_P(ConsoleEndToEndTest, DeletesADirectoryWithItsDocuments) {
  const ConsoleRun run = Run(u8"open 文档管理明细\n"
                             "select 1\n"
                             "run 删除目录\n"
                             u8"expect message 删除此项将删除目录下所有文档，是否继续？\n"
                             "yes\n"
                             u8"expect message 删除成功！\n"
                             "expect status 3\n"
                             "expect rows 3\n"
                             "sql select count(*) as n from RIS_DOC where DocType='1'\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("  1  0"));
}

// The copy takes the directory's name from the row's parameter text: a
// name with blanks, quotes and a semicolon arrives whole.
TEST_P(ConsoleEndToEndTest, CopiesADirectoryWhoseNameHoldsBlanksQuotesAndASemicolon) {
  const ConsoleRun run = Run(u8"open 文档管理明细\n"
                             "select 4\n"
                             "run miCopyList\n"
                             u8"expect title 复制目录\n"
                             u8"type cbCopyList 论文管理明细\n"
                             "click BtnSave\n"
                             u8"expect message 复制成功！\n"
                             "expect status 4\n"
                             u8"open 论文管理明细\n"
                             "expect rows 3\n"
                             u8"expect cell 3 名称 2021年度 \"内审\" 资料; 待归档\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
}

TEST_P(ConsoleEndToEndTest, RevisingADocumentOffersToStoreItBack) {
  const rt::testing::RecordingOpener opener(folder_.Path() / "opened.txt");
  const ConsoleRun run = Run(u8"open 质量管理明细/质量手册\n"
                             "select 1\n"
                             "run 修改文档\n"
                             u8"expect title 保存文件到服务器\n"
                             "click BtnCancel\n"
                             "expect status 0\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.HasLine("command: N2"));
  EXPECT_TRUE(run.HasLine(u8"form closed: 保存文件到服务器 (cancel)"));
}

// Three revisions by two workstations, each stored as a workstation stores
// edits left in its cached copy; then the history: each version with its
// author, one saved as a file, the original restored.
TEST_P(ConsoleEndToEndTest, TheVersionHistoryShowsWhoStoredEachVersionAndRestoresOne) {
  const rt::testing::RecordingOpener opener(folder_.Path() / "opened.txt");
  const std::string revise = u8"open 质量管理明细/质量手册\nselect 1\nrun 修改文档\n";
  ASSERT_EQ(Run(revise + "click BtnCancel\n").exit_code, 0);
  const std::filesystem::path copy = folder_.Home() / "DocCache" / rt::testing::Utf8Path(u8"质量手册第三版.txt");
  struct Revision {
    const char* computer;
    const char* user;
    const char* bytes;
  };
  for (const Revision& r : {Revision{"PC-B", u8"李四", u8"第二稿"}, Revision{"PC-A", u8"张三", u8"第三稿"},
                            Revision{"PC-B", u8"李四", u8"第四稿"}}) {
    std::ofstream(copy, std::ios::binary | std::ios::trunc) << r.bytes;
    const ConsoleRun run = Run(revise + "answer yes\nclick BtnCancel\n",
                               {"--computer", r.computer, "--user-name", r.user});
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  const std::string folder = rt::testing::PathUtf8(folder_.Path());
  // clang-format off
  const ConsoleRun run = Run(u8"open 质量管理明细/质量手册\n"
                             "select 1\n"
                             "menu\n"
                             "run miVersions\n"
                             u8"expect title 版本历史 - 质量手册第三版.txt\n"
                             u8"expect cell 1 存入者 李四(PC-B)\n"
                             u8"expect cell 1 当前 是\n"
                             u8"expect cell 2 存入者 张三(PC-A)\n"
                             u8"expect cell 2 当前 \"\"\n"
                             "expect cell 4 版本 1\n"
                             "select 3\n"
                             "click btnSaveAs\n"
                             u8"file " + folder + u8"/第二稿\n"
                             "select 4\n"
                             "click btnRestore\n"
                             "answer yes\n"
                             "expect cell 1 版本 5\n"
                             u8"expect cell 1 存入者 系统管理员(PC-A)\n"
                             "show\n"
                             "click btnClose\n"
                             "expect status 2\n",
                             {"--computer", "PC-A"});
  // clang-format on
  ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
  EXPECT_TRUE(run.HasLine(u8"  text: 保留全部版本")) << run.out;
  EXPECT_TRUE(run.HasLine(u8"confirm: 是否把版本 1 恢复为当前内容?(当前内容会保留为上一版本)")) << run.out;
  EXPECT_EQ(ReadFile(rt::testing::Utf8Path(folder + u8"/第二稿.txt")), u8"第二稿");
  EXPECT_EQ(ReadFile(copy), u8"第四稿") << "the document's own copy is left as it was";
}

// The session the README shows, with adding and revising, gives the same
// transcript on every system once the folder's path is taken out.
TEST_P(ConsoleEndToEndTest, TheReadmeSessionReadsTheSameOnEverySystem) {
  const rt::testing::RecordingOpener opener(folder_.Path() / "opened.txt");
  const std::string folder = rt::testing::PathUtf8(folder_.Path());
  std::ofstream(folder_.Path() / rt::testing::Utf8Path(u8"新文件乗.txt"), std::ios::binary) << u8"新的内容";
  // clang-format off
  const ConsoleRun run = Run(u8"open 文档管理明细\n"
                             "select 4\n"
                             "menu\n"
                             u8"open 文档管理明细/2019年度\n"
                             "select 2\n"
                             "menu\n"
                             u8"run 另存为\n"
                             u8"file " + folder + u8"/副本乗\n"
                             u8"open 论文管理明细\n"
                             "select 2\n"
                             "run miNew\n"
                             "click btnOpenFile\n"
                             u8"file " + folder + u8"/新文件乗.txt\n"
                             u8"type mmComment 乗表的说明\n"
                             "click btnSave\n"
                             u8"open 论文管理明细/2020年论文\n"
                             u8"open 质量管理明细/质量手册\n"
                             "select 1\n"
                             u8"run 修改文档\n"
                             "click BtnSave\n"
                             "quit\n");
  // clang-format on
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::string transcript = run.out;
  // A quoted text escapes a Windows path's separators; the session has no
  // other backslash.
  for (std::size_t at; (at = transcript.find("\\\\")) != std::string::npos;) transcript.replace(at, 2, "\\");
  for (std::size_t at; (at = transcript.find(folder)) != std::string::npos;)
    transcript.replace(at, folder.size(), "<folder>");
  std::replace(transcript.begin(), transcript.end(), '\\', '/');
  // The added document's time is the time it was added.
  transcript = std::regex_replace(
      transcript, std::regex(" [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\n\\(1 row\\)\n> open "),
      " <now>\n(1 row)\n> open ");
  EXPECT_EQ(transcript, testing::kReadmeSession);
  EXPECT_EQ(ReadFile(rt::testing::Utf8Path(folder + u8"/副本乗.csv")),
            u8"仪器,校准日期,结果\n血球分析仪,2019-06-10,合格\n生化分析仪,2019-06-11,合格\n");
  EXPECT_EQ(opener.Opened(1).size(), 1u);
}

}  // namespace
}  // namespace console
