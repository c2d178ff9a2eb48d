// The plug-in as a host sees it: the built shared library loaded by file
// name, its three functions found by name and called through their exported
// signatures, against a real database file.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "module/testing/host_fixture.h"
#include "runtime/data/packet.h"
#include "runtime/ole/automation.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/platform.h"
#include "runtime/services/plugin_abi.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/ui/menus.h"

namespace labdocs {
namespace {

class PluginTest : public testing::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    library_ = LoadLibraryA("labdocs.dll");
    ASSERT_NE(library_, nullptr) << "the built plug-in was not found";
    init_view_data_ = Resolve<TInitViewData>(rt::plugin::kInitViewData);
    init_right_menu_ = Resolve<TInitRightMenu>(rt::plugin::kInitRightMenu);
    execute_menu_ = Resolve<TExecuteMenu>(rt::plugin::kExecuteMenu);
    forms_before_ = rt::Application().ComponentCount();
  }
  void TearDown() override {
    EXPECT_EQ(rt::Application().ComponentCount(), forms_before_) << "a form was left behind";
    if (library_) FreeLibrary(library_);
    HostFixture::TearDown();
  }

  template <class T>
  T Resolve(const char* name) {
    FARPROC proc = GetProcAddress(library_, name);
    EXPECT_NE(proc, nullptr) << name;
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(proc));
  }

  // The visible items of a context menu the plug-in fills.
  std::vector<std::string> Menu(int kind, const std::string& params, HRESULT* status = nullptr,
                                std::int32_t* result = nullptr) {
    rt::TsuiPopupMenu menu(nullptr);
    std::int32_t built = -1;
    HRESULT hr = init_right_menu_(params.c_str(), kind, &menu, &built);
    if (status) *status = hr;
    if (result) *result = built;
    std::vector<std::string> items;
    for (int i = 0; i < menu.Items()->Count(); ++i) {
      rt::TMenuItem* item = menu.Items()->Items(i);
      if (item->Visible()) items.push_back(item->Name() + (item->Default() ? "*" : ""));
    }
    return items;
  }

  // A selection packet: each row's first column is its parameter text.
  static rt::OleVariant Selection(const std::vector<std::string>& rows) {
    rt::RowSet set{{{"Params", rt::FieldType::Text}}, {}};
    for (const std::string& row : rows) set.rows.push_back({row});
    rt::OleVariant data;
    rt::PacketToVariant(set, data.Ptr());
    return data;
  }

  HMODULE library_ = nullptr;
  TInitViewData init_view_data_ = nullptr;
  TInitRightMenu init_right_menu_ = nullptr;
  TExecuteMenu execute_menu_ = nullptr;
  int forms_before_ = 0;
};

using Items = std::vector<std::string>;

TEST_F(PluginTest, ADirectorysListComesBackAsADataPacket) {
  AddDocument(2, 20, "12", "第二", "b.doc");
  AddDocument(1, 10, "12", "第一 份", "报告.doc");
  AddDocument(3, 30, "12", "没有文件");
  AddAuditRow(1, 10, "2025-05-06 07:08:09.000");
  rt::OleVariant data;
  std::int32_t result = -1;
  ASSERT_EQ(init_view_data_("TV_ID=12;TV_Name=文档管理明细", data.Ptr(), &result), S_OK) << rt::TakeErrorInfo();
  EXPECT_EQ(result, 0);
  rt::RowSet rows = rt::VariantToPacket(data.Get());
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.fields[5].name, "DISP_名称");
  EXPECT_EQ(rt::ValueToText(rows.rows[0][5]), "报告.doc");
  EXPECT_EQ(rt::ValueToText(rows.rows[0][6]), "第一 份");
  EXPECT_EQ(rt::ValueToText(rows.rows[0][7]), "2025-05-06 07:08:09");
  EXPECT_EQ(rt::ValueToText(rows.rows[1][5]), "b.doc");
}

TEST_F(PluginTest, AnErrorInTheListGivesAFailureAndLeavesTheResultAtOne) {
  ChangeSchema("Drop Table RIS_DOC");
  rt::OleVariant data = rt::OleVariant::FromInt32(5);
  std::int32_t result = -1;
  EXPECT_LT(init_view_data_("TV_ID=12", data.Ptr(), &result), 0);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(data.Type(), VT_I4);
  EXPECT_NE(rt::TakeErrorInfo().find("RIS_DOC"), std::string::npos);
  EXPECT_EQ(init_view_data_("TV_ID=12", data.Ptr(), nullptr), E_POINTER);
}

TEST_F(PluginTest, EveryMenuKindGivesTheFittingCommands) {
  const Items documents{"miDelete", "miOpenFile*", "miSaveAs", "miProperties", "N2", "miVersions"};
  const Items directories{"miNew", "miDeleteList", "miCopyList"};
  EXPECT_EQ(Menu(0, "TV_ID=12;TV_Name=文档管理明细"), Items{"miNew"});
  EXPECT_EQ(Menu(1, "ID=1;LABDOC_ID=10;DISP_名称=a.doc"), documents);
  EXPECT_EQ(Menu(1, "TV_ID=12;DISP_名称=2019年度"), directories);
  EXPECT_EQ(Menu(2, "TV_ID=12;DISP_名称=2019年度"), (Items{"miDeleteList", "miCopyList"}));
  EXPECT_EQ(Menu(2, "ID=1;LABDOC_ID=10"), (Items{"miDelete", "miVersions"}));
  AddNode(5, "文档管理", 0);
  AddNode(6, "文档管理明细", 5);
  EXPECT_EQ(Menu(1, "TV_ID=12"), directories);  // the director's subsystem
  SetSysCode("LIS_LAB");
  EXPECT_EQ(Menu(1, "TV_ID=12"), Items{"miNew"});
  EXPECT_EQ(Menu(2, "TV_ID=12"), Items{});
  EXPECT_EQ(Menu(1, "ID=1;LABDOC_ID=10"), documents);  // documents whatever the subsystem
  HRESULT status = -1;
  std::int32_t result = -1;
  EXPECT_EQ(Menu(3, "TV_ID=12", &status, &result), Items{});
  EXPECT_EQ(status, S_OK);
  EXPECT_EQ(result, 0);
}

TEST_F(PluginTest, AHostMenuKeepsTheItemsItHeld) {
  rt::TsuiPopupMenu menu(nullptr);
  auto* refresh = new rt::TMenuItem(nullptr);
  refresh->SetName("miRefresh");
  menu.Items()->Add(refresh);
  std::int32_t result = -1;
  ASSERT_EQ(init_right_menu_("TV_ID=12", 0, &menu, &result), S_OK);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(menu.Items()->Count(), 11);  // the host's item and the view's ten, hidden ones too
  EXPECT_EQ(menu.Items()->Items(0)->Name(), "miRefresh");
  EXPECT_EQ(menu.Items()->Items(1)->Name(), "miNew");
  EXPECT_EQ(menu.Items()->Items(1)->Caption(), "新增文档...");
  EXPECT_EQ(menu.MenuAddedCount(), 1);
  // No menu to fill: the call itself fails.
  EXPECT_EQ(init_right_menu_("TV_ID=12", 0, nullptr, &result), S_OK);
  EXPECT_EQ(result, 1);
}

TEST_F(PluginTest, CommandsAreFoundInAnyLetterCaseAndUnknownOnesDoNothing) {
  rt::OleVariant rows = Selection({"ID=1;LABDOC_ID=10"});
  std::int32_t result = -1;
  // Document 10 is not in the store: opening it tells the user so, which
  // shows that the command ran.
  EXPECT_EQ(execute_menu_("TV_ID=12", rows.Get(), "  MIOPENFILE ", &result), S_OK) << rt::TakeErrorInfo();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(presenter_.Messages(),
            std::vector<std::string>{"alert: 文件打开失败,可能是下载失败或没有安装相应的打开程序！"});
  EXPECT_EQ(execute_menu_("TV_ID=12", rows.Get(), "miNoSuchCommand", &result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(presenter_.Messages().size(), 1u);
}

TEST_F(PluginTest, TheDirectoryOfAMenuBuildIsWhatTheNextCallReadsBack) {
  Menu(1, "TV_ID=21;DISP_名称=2020年度");
  const rt::OleValue key = std::string("TV_ID");
  EXPECT_EQ(rt::OleValueToText(rt::CreateOleObject("Vexa.Common")->GetProperty("UserParam", {&key, 1})), "21");
  // A new document command shows the form for that directory: its new
  // record's directory is the stored one.
  Menu(0, "TV_ID=99");  // no selection: the view's own directory
  EXPECT_EQ(rt::OleValueToText(rt::CreateOleObject("Vexa.Common")->GetProperty("UserParam", {&key, 1})), "99");
}

TEST_F(PluginTest, AQuoteInAValueCannotChangeTheStatement) {
  AddDocument(1, 10, "12", "正常", "a.doc");
  rt::OleVariant data;
  std::int32_t result = -1;
  ASSERT_EQ(init_view_data_("TV_ID=x'or'1'='1", data.Ptr(), &result), S_OK) << rt::TakeErrorInfo();
  EXPECT_TRUE(rt::VariantToPacket(data.Get()).rows.empty());
  ASSERT_FALSE(statements_.empty());
  EXPECT_NE(statements_.back().find("a.DocType='x''or''1''=''1'"), std::string::npos);
  std::vector<std::string> menu = Menu(1, "\"TV_ID=1' or '1'='1\"");
  ASSERT_FALSE(menu.empty());
  EXPECT_EQ(menu.front(), "miNew");
}

}  // namespace
}  // namespace labdocs
