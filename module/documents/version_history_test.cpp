// "版本历史..." with the real document store: the menu item where the store
// keeps a history, the form's list of versions with who stored each, and
// opening, saving and restoring the selected one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "module/documents/main_form.h"
#include "module/documents/version_history_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/ui/menus.h"
#include "runtime/ui/stdctrls.h"

namespace labdocs {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class VersionHistoryTest : public testing::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    opener_.emplace(home_ / "opened.txt");
  }
  void TearDown() override {
    if (view_) view_->Free();
    opener_.reset();
    rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", std::nullopt);
    HostFixture::TearDown();
  }

  TfrmMain& View() {
    if (!view_) view_ = rt::CreateForm<TfrmMain>(&rt::Application(), std::string("LabDoc_ID=1"));
    return *view_;
  }

  // The menu item of the history in a menu built for the selection; nothing
  // when it is hidden. The items visible, in order, go to `visible`.
  std::optional<bool> HistoryItemEnabled(int kind, const std::string& params, Lines* visible = nullptr) {
    auto* host_menu = new rt::TsuiPopupMenu(nullptr);
    TfrmMain* view = rt::CreateForm<TfrmMain>(&rt::Application(), params);
    view->BuildRightMenu(kind, host_menu);
    view->Free();
    std::optional<bool> enabled;
    for (int i = 0; i < host_menu->Items()->Count(); ++i) {
      rt::TMenuItem* item = host_menu->Items()->Items(i);
      if (!item->Visible()) continue;
      if (visible) visible->push_back(item->Name());
      if (item->Name() == "miVersions") {
        EXPECT_EQ(item->Caption(), "版本历史...");
        enabled = item->Enabled();
      }
    }
    host_menu->Free();
    return enabled;
  }

  static void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Stores the bytes as a new document (no number) or as the document's new
  // content, from a file named 规程.doc, as a workstation and its user.
  std::int32_t Store(std::int32_t doc_id, const std::string& content, const char* computer, const char* user) {
    rt::HostEnvironment env = rt::Environment();
    const rt::HostEnvironment mine = env;
    env.computer_name = computer;
    env.user_name = user;
    rt::SetEnvironment(env);
    const fs::path source = home_ / rt::testing::Utf8Path(u8"来源") / (std::to_string(++sources_) + ".d") /
                            rt::testing::Utf8Path(u8"规程.doc");
    WriteFile(source, content);
    if (doc_id == 0) EXPECT_TRUE(View().StoreDocument(rt::platform::AnsiPath(source), doc_id));
    else EXPECT_TRUE(View().UpdateDocument(doc_id, rt::platform::AnsiPath(source).c_str()));
    rt::SetEnvironment(mine);
    return doc_id;
  }

  // The rows the form's list shows, cell by cell.
  static std::vector<Lines> ListRows(rt::TForm& form) {
    std::vector<Lines> rows;
    for (const std::vector<rt::Value>& row : dynamic_cast<TfrmVersions&>(form).lvVersions->Rows().rows) {
      rows.emplace_back();
      for (const rt::Value& cell : row) rows.back().push_back(rt::ValueToText(cell));
    }
    return rows;
  }
  // The first 12 digits of each content's digest, the oldest first.
  static Lines DigestStarts(std::int32_t doc_id) {
    Lines starts;
    for (const auto& row : rt::CurrentDataSession()
                               .QueryBound("SELECT SHA256 FROM DB_FILE_CONTENT WHERE LABDOC_ID = ? AND PENDING = 0"
                                           " ORDER BY CONTENT_ID",
                                           {std::int64_t{doc_id}})
                               .rows)
      starts.push_back(rt::ValueToText(row[0]).substr(0, 12));
    return starts;
  }

  TfrmMain* view_ = nullptr;
  int sources_ = 0;
  std::optional<rt::testing::RecordingOpener> opener_;
};

TEST_F(VersionHistoryTest, TheItemIsOfferedAfterTheOthersAndEnabledForExactlyOneDocument) {
  struct Case {
    int kind;
    const char* params;
    std::optional<bool> enabled;  // nothing: hidden
  };
  for (const Case& c : {Case{1, "ID=1;LabDoc_ID=10;DISP_名称=a.doc", true}, Case{2, "ID=1;LabDoc_ID=10", false},
                        Case{1, "TV_ID=12;DISP_名称=目录", std::nullopt}, Case{0, "TV_ID=12", std::nullopt}}) {
    SCOPED_TRACE(std::to_string(c.kind) + " " + c.params);
    EXPECT_EQ(HistoryItemEnabled(c.kind, c.params), c.enabled);
  }
  Lines visible;
  HistoryItemEnabled(1, "ID=1;LabDoc_ID=10;DISP_名称=a.doc", &visible);
  EXPECT_EQ(visible, (Lines{"miDelete", "miOpenFile", "miSaveAs", "miProperties", "N2", "miVersions"}));
}

TEST_F(VersionHistoryTest, AStoreWithoutTheHistorySetHidesTheItem) {
  const fs::path store = rt::testing::BuiltLibrary("LAB_DOC");
  const auto add_store = [&](const rt::testing::ProgramFolder& folder) {
    folder.Add(store.parent_path() / "store_without_history" / store.filename(), store.filename().string());
  };
  if (rt::testing::RerunFrom(home_ / "no-history", add_store)) return;
  EXPECT_TRUE(View().FDocLibReady);
  EXPECT_FALSE(View().HasHistory()) << "two of the three are none";
  EXPECT_EQ(View().FGetVersionLabDoc, nullptr);
  Lines visible;
  EXPECT_EQ(HistoryItemEnabled(1, "ID=1;LabDoc_ID=10;DISP_名称=a.doc", &visible), std::nullopt);
  EXPECT_EQ(visible, (Lines{"miDelete", "miOpenFile", "miSaveAs", "miProperties", "N2"}));
  EXPECT_EQ(HistoryItemEnabled(2, "ID=1;LabDoc_ID=10"), std::nullopt);
}

TEST_F(VersionHistoryTest, TheFormListsWhoStoredEachVersionAndOpensSavesAndRestoresOne) {
  ASSERT_TRUE(View().FDocLibReady) << "the document store did not bind";
  const Lines contents{"原稿", "第二稿 李四", "第三稿 张三", "第四稿 李四"};
  const std::int32_t id = Store(0, contents[0], "LAB-PC1", "张三");
  for (std::size_t i = 1; i < contents.size(); ++i)
    Store(id, contents[i], i % 2 == 1 ? "LAB-PC2" : "LAB-PC1", i % 2 == 1 ? "李四" : "张三");
  AddDocument(7, id, "12", "规程");
  AddAuditRow(7, id, "2020-01-01 00:00:00");
  View().cdsParams->SetRows(rt::RowSet{{{"Params", rt::FieldType::Text}},
                                       {{"ID=7;LabDoc_ID=" + std::to_string(id) + ";DISP_名称=规程.doc"}}});

  std::vector<Lines> before, after;
  std::string kept;
  const fs::path saved = home_ / rt::testing::Utf8Path(u8"另存/二稿.doc");
  fs::create_directories(saved.parent_path());
  presenter_
      .Then([&](rt::TForm& form) {
        before = ListRows(form);
        kept = dynamic_cast<TfrmVersions&>(form).lbKept->Caption();
      })
      .Select("lvVersions", 2)  // version 2, 李四's
      .Click("btnOpen")
      .Click("btnSaveAs")
      .AnswerSaveDialog(rt::platform::AnsiPath(saved))
      .Select("lvVersions", 3)  // version 1, the original
      .Click("btnRestore")
      .AnswerConfirm(2)
      .Click("btnRestore")
      .AnswerConfirm(1)
      .Then([&](rt::TForm& form) { after = ListRows(form); })
      .Click("btnClose");
  EXPECT_EQ(View().ExecuteMenuItem("miVersions"), 2) << "the list is read again";
  EXPECT_TRUE(presenter_.Done());
  EXPECT_TRUE(presenter_.Errors().empty()) << ::testing::PrintToString(presenter_.Errors());

  EXPECT_EQ(kept, "保留全部版本");
  const Lines digests = DigestStarts(id);
  ASSERT_EQ(before.size(), 4u);
  for (std::size_t i = 0; i < before.size(); ++i) {
    const std::size_t stored = before.size() - 1 - i;
    SCOPED_TRACE("row " + std::to_string(i));
    ASSERT_EQ(before[i].size(), 6u);
    EXPECT_EQ(before[i][0], std::to_string(stored + 1));
    EXPECT_EQ(before[i][1].size(), 19u);
    EXPECT_EQ(before[i][2], stored % 2 == 1 ? "李四(LAB-PC2)" : "张三(LAB-PC1)");
    EXPECT_EQ(before[i][3], std::to_string(contents[stored].size()));
    EXPECT_EQ(before[i][4], digests[stored]);
    EXPECT_EQ(before[i][5], i == 0 ? "是" : "");
  }

  // Opened and saved: version 2's bytes, from a copy of its own.
  const Lines opened = opener_->Opened(1);
  ASSERT_EQ(opened.size(), 1u);
  const fs::path copy = rt::testing::Utf8Path(opened[0]);
  EXPECT_EQ(ReadFile(copy), contents[1]);
  EXPECT_EQ(copy.parent_path().filename(), rt::testing::Utf8Path(u8"历史版本"));
  EXPECT_EQ(rt::testing::PathUtf8(copy.filename()).rfind(u8"规程 (版本 2, ", 0), 0u) << copy;
  EXPECT_EQ(ReadFile(saved), contents[1]);
  EXPECT_FALSE(View().LocalCopyHoldsEdits(id, rt::platform::AnsiPath(copy)))
      << "an old version is never offered as the document's newer copy";

  // Restored once (the first question was answered no): the original is
  // current again, stored by this workstation; the replaced one is kept.
  EXPECT_EQ(std::count(presenter_.Log().begin(), presenter_.Log().end(),
                       "confirm(1): 是否把版本 1 恢复为当前内容?(当前内容会保留为上一版本)"),
            2);
  ASSERT_EQ(after.size(), 5u);
  EXPECT_EQ(after[0][0], "5");
  EXPECT_EQ(after[0][2], "张三(LAB-PC1)");
  EXPECT_EQ(after[0][4], digests[0]);
  EXPECT_EQ(after[0][5], "是");
  EXPECT_EQ(after[1][4], digests[3]);
  EXPECT_EQ(after[1][5], "");
  char buffer[kFilePathBufferSize] = {};
  char* path = buffer;
  ASSERT_TRUE(View().FetchDocument(id, path));
  EXPECT_EQ(ReadFile(rt::platform::NativePath(buffer)), contents[0]);
  const rt::RowSet audit = rt::CurrentDataSession().QueryBound(
      "SELECT HOSTNAME, USERID, USERNAME, MODIFYTIME FROM DB_FILE_RECORD WHERE LABDOC_ID = ?", {std::int64_t{id}});
  ASSERT_EQ(audit.rows.size(), 1u);
  EXPECT_EQ(rt::ValueToText(audit.rows[0][0]), "LAB-PC1");
  EXPECT_EQ(rt::ValueToText(audit.rows[0][1]), "u01");
  EXPECT_EQ(rt::ValueToText(audit.rows[0][2]), "张三");
  EXPECT_GT(rt::ValueToText(audit.rows[0][3]), "2020-01-01 00:00:00");
}

}  // namespace
}  // namespace labdocs
