#include "module/documents/main_form.h"

#include <gtest/gtest.h>

#include "module/service_calls/vexa_coms.h"
#include "module/testing/host_fixture.h"
#include "runtime/data/packet.h"
#include "runtime/ole/automation.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/ui/menus.h"

namespace labdocs {
namespace {

class DocumentsViewTest : public testing::HostFixture {
 protected:
  TfrmMain* NewView(const std::string& params) { return rt::CreateForm<TfrmMain>(&rt::Application(), params); }

  // The visible commands a menu build gives, in menu order.
  std::vector<std::string> VisibleItems(int kind, const std::string& params, std::int32_t* result = nullptr) {
    auto* host_menu = new rt::TsuiPopupMenu(nullptr);
    TfrmMain* view = NewView(params);
    std::int32_t built = view->BuildRightMenu(kind, host_menu);
    view->Free();
    if (result) *result = built;
    std::vector<std::string> names;
    for (int i = 0; i < host_menu->Items()->Count(); ++i)
      if (host_menu->Items()->Items(i)->Visible()) names.push_back(host_menu->Items()->Items(i)->Name());
    host_menu->Free();
    return names;
  }

  static std::string UserParam(const std::string& name) {
    const rt::OleValue index = name;
    return rt::OleValueToText(rt::CreateOleObject("Vexa.Common")->GetProperty("UserParam", {&index, 1}));
  }
  static void SetUserParam(const std::string& name, const std::string& value) {
    const rt::OleValue index = name;
    rt::CreateOleObject("Vexa.Common")->SetProperty("UserParam", {&index, 1}, value);
  }
};

using Items = std::vector<std::string>;

TEST_F(DocumentsViewTest, ConstructionSetsTheTableKeyAndCaptions) {
  SetUserParam("TV_ID", "12");
  TfrmMain* view = NewView("TV_ID=3;TV_Name=文档管理明细");
  EXPECT_EQ(view->FTableName, "RIS_DOC");
  EXPECT_EQ(view->FKeyFields, "ID");
  EXPECT_EQ(view->FItemCaption, "实验文件");
  EXPECT_EQ(view->FFocusEdit, view->edFileName);
  EXPECT_EQ(view->FDocType, "12");  // read back from the shared values
  EXPECT_EQ(view->FViewParams, "TV_ID=3;TV_Name=文档管理明细");
  EXPECT_EQ(view->Caption(), "实验室文件");
  EXPECT_EQ(view->mmComment->TableName(), "RIS_DOC");
  EXPECT_EQ(view->mmComment->FieldName(), "DESCS");
  EXPECT_EQ(view->tfInterField->TableName(), "RIS_DOC");
  EXPECT_FALSE(view->edFstAuthor->Visible());
  EXPECT_EQ(view->edFstAuthor->FieldName(), "");
  EXPECT_TRUE(view->OldCreateOrder());
  EXPECT_EQ(CommonObject.use_count() > 0, true);
  view->Free();
}

TEST_F(DocumentsViewTest, ThesisDirectoriesShowTheAuthorFields) {
  for (std::string node : {"论文管理明细", "论文文档管理明细"}) {
    TfrmMain* view = NewView("TV_Name=" + node);
    for (rt::TControl* c :
         std::initializer_list<rt::TControl*>{view->lbFstAuthor, view->lbAuthors, view->edFstAuthor, view->edAuthors})
      EXPECT_TRUE(c->Visible()) << c->Name();
    EXPECT_EQ(view->edFstAuthor->TableName(), "RIS_DOC");
    EXPECT_EQ(view->edFstAuthor->FieldName(), "FstAuthor");
    EXPECT_EQ(view->edAuthors->FieldName(), "Authors");
    view->Free();
  }
  TfrmMain* other = NewView("TV_Name=论文管理明细x");
  EXPECT_FALSE(other->edAuthors->Visible());
  other->Free();
}

TEST_F(DocumentsViewTest, TheListHoldsTheDirectorysStoredDocumentsInKeyOrder) {
  AddDocument(3, 30, "12", "第三 份", "c.doc");
  AddDocument(1, 10, "12", "第一", "报告\\表.doc");
  AddDocument(2, 20, "12", "未存文件");  // no stored file: not listed
  AddDocument(4, 40, "13", "别的目录", "d.doc");
  AddAuditRow(1, 10, "2024-01-02 08:00:00.000");
  AddAuditRow(1, 10, "2024-03-04 09:30:00.000");
  // A deleted document's audit row under a key that came back: not this
  // document's time.
  AddAuditRow(3, 99, "2030-05-06 07:08:09.000");
  TfrmMain* view = NewView("TV_ID=12;TV_Name=文档管理明细");
  rt::OleVariant data;
  EXPECT_EQ(view->InitViewData(data.Ptr()), 0);
  view->Free();
  rt::RowSet rows = rt::VariantToPacket(data.Get());
  std::vector<std::string> names;
  for (const auto& f : rows.fields) names.push_back(f.name);
  EXPECT_EQ(names, (Items{"ID", "LABDOC_ID", "FileTableName", "DISP_ID", "DISP_文件ID", "DISP_名称", "DISP_描述",
                          "DISP_修改时间"}));
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rt::ValueToText(rows.rows[0][0]), "1");
  EXPECT_EQ(rt::ValueToText(rows.rows[0][2]), "RIS_DOC");
  EXPECT_EQ(rt::ValueToText(rows.rows[0][5]), "报告\\表.doc");
  EXPECT_EQ(rt::ValueToText(rows.rows[0][7]), "2024-03-04 09:30:00");
  EXPECT_EQ(rt::ValueToText(rows.rows[1][0]), "3");
  EXPECT_EQ(rt::ValueToText(rows.rows[1][7]), "");  // no audit row
}

TEST_F(DocumentsViewTest, TheListQueryIsComposedAsItStandsWithQuotesDoubled) {
  AddDocument(1, 10, "1''or''1''=''1", "注入", "x.doc");
  AddDocument(2, 20, "12", "正常", "y.doc");
  TfrmMain* view = NewView("TV_ID=1'or'1'='1");
  rt::OleVariant data;
  EXPECT_EQ(view->InitViewData(data.Ptr()), 0);
  view->Free();
  ASSERT_EQ(statements_.size(), 1u);
  EXPECT_EQ(statements_[0],
            "Select a.ID,a.LABDOC_ID,'RIS_DOC' as FileTableName, a.ID as DISP_ID,a.LABDOC_ID As DISP_文件ID,"
            "b.FILE_NAME As DISP_名称,a.DESCS As DISP_描述, (select Max(ModifyTime) from DB_FILE_RECORD c(nolock) "
            "Where FileTableName='RIS_DOC' and FileTableID=a.ID and c.LABDOC_ID=a.LABDOC_ID) as DISP_修改时间 From "
            "RIS_DOC a(nolock),"
            "DB_FILE_STORAGE b(nolock) Where a.LABDOC_ID = b.LABDOC_ID and a.DocType='1''or''1''=''1' Order by a.ID");
  rt::RowSet rows = rt::VariantToPacket(data.Get());
  ASSERT_EQ(rows.rows.size(), 1u);  // only the directory of that odd name
  EXPECT_EQ(rt::ValueToText(rows.rows[0][6]), "注入");
}

TEST_F(DocumentsViewTest, AListWithoutADirectoryStillRunsAndAFailingQueryLeavesTheDataAlone) {
  TfrmMain* view = NewView("TV_Name=x");
  rt::OleVariant data = rt::OleVariant::FromInt32(7);
  EXPECT_EQ(view->InitViewData(data.Ptr()), 0);
  EXPECT_NE(statements_.back().find("a.DocType='' Order by a.ID"), std::string::npos);
  data = rt::OleVariant::FromInt32(7);
  ChangeSchema("Drop Table DB_FILE_RECORD");
  EXPECT_THROW(view->InitViewData(data.Ptr()), rt::EOleError);
  EXPECT_EQ(data.Type(), VT_I4);
  view->Free();
}

TEST_F(DocumentsViewTest, MenuRulesFollowTheSelection) {
  const Items document_items{"miDelete", "miOpenFile", "miSaveAs", "miProperties", "N2", "miVersions"};
  EXPECT_EQ(VisibleItems(0, "TV_ID=12"), Items{"miNew"});
  EXPECT_EQ(VisibleItems(1, "ID=1;LabDoc_ID=10;DISP_名称=a.doc"), document_items);
  // No documents detail node: directory commands whatever the subsystem.
  SetSysCode("LIS_OTHER");
  EXPECT_EQ(VisibleItems(1, "TV_ID=12;DISP_名称=目录"), (Items{"miNew", "miDeleteList", "miCopyList"}));
  EXPECT_EQ(VisibleItems(2, "TV_ID=12;DISP_名称=目录"), (Items{"miDeleteList", "miCopyList"}));
  EXPECT_EQ(VisibleItems(2, "ID=1;LabDoc_ID=10"), (Items{"miDelete", "miVersions"}));
  // With the node configured, only the director's subsystem manages them.
  AddNode(6, "文档管理明细", 5);
  EXPECT_EQ(VisibleItems(1, "TV_ID=12"), Items{"miNew"});
  EXPECT_EQ(VisibleItems(2, "TV_ID=12"), Items{});
  SetSysCode("lis_director");
  EXPECT_EQ(VisibleItems(2, "TV_ID=12"), Items{});
  SetSysCode("LIS_DIRECTOR");
  EXPECT_EQ(VisibleItems(1, "TV_ID=12"), (Items{"miNew", "miDeleteList", "miCopyList"}));
  std::int32_t result = -1;
  EXPECT_EQ(VisibleItems(3, "TV_ID=12", &result), Items{});
  EXPECT_EQ(result, 0);
  EXPECT_EQ(VisibleItems(-1, "TV_ID=12", &result), Items{});
  EXPECT_EQ(result, 0);
}

TEST_F(DocumentsViewTest, MenuBuildsStoreTheSelectionForLaterCalls) {
  // A menu on no row remembers the view's own directory, or none where the
  // view names none: a new document never goes where an earlier menu was.
  SetUserParam("TV_ID", "5");
  VisibleItems(0, "TV_ID=9;TV_Name=文档管理明细");
  EXPECT_EQ(UserParam("TV_ID"), "9");
  VisibleItems(0, "TV_Name=文档管理明细");
  EXPECT_EQ(UserParam("TV_ID"), "");
  VisibleItems(1, "TV_ID=12;DISP_名称=目录");
  EXPECT_EQ(UserParam("TV_ID"), "12");
  EXPECT_EQ(UserParam("LabDoc_ID"), "");
  VisibleItems(1, "ID=1;LABDOC_ID=10");
  EXPECT_EQ(UserParam("LabDoc_ID"), "10");
  EXPECT_EQ(UserParam("TV_ID"), "12");  // no directory in the text: kept
  TfrmMain* next = NewView("");
  EXPECT_EQ(next->FDocType, "12");
  next->Free();
  // A key spelled in lower case is found and stored, but the selection
  // counts as a document.
  EXPECT_EQ(VisibleItems(1, "tv_id=14"),
            (Items{"miDelete", "miOpenFile", "miSaveAs", "miProperties", "N2", "miVersions"}));
  EXPECT_EQ(UserParam("TV_ID"), "14");
}

TEST_F(DocumentsViewTest, AFailingMenuRuleGivesOneAndNoCommands) {
  ChangeSchema("Drop Table Pacs_MMCTreeViewConfig");
  std::int32_t result = 0;
  auto* host_menu = new rt::TsuiPopupMenu(nullptr);
  TfrmMain* view = NewView("TV_ID=12");
  result = view->BuildRightMenu(1, host_menu);
  view->Free();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(host_menu->Items()->Count(), 0);
  EXPECT_EQ(host_menu->MenuAddedCount(), 0);
  host_menu->Free();
}

TEST_F(DocumentsViewTest, ANewDocumentGetsTheFormsDirectory) {
  SetUserParam("TV_ID", "12");
  TfrmMain* view = NewView("");
  view->FEditMode = kEditNew;
  presenter_.Press(VK_ESCAPE);
  view->ShowModal();
  EXPECT_EQ(view->tfInterField->GetFFieldName().Count(), 4);
  EXPECT_EQ(view->tfInterField->Value("DocType"), std::optional<std::string>("12"));
  view->Free();
  TfrmMain* existing = NewView("");
  existing->FEditMode = kEditExisting;
  presenter_.Press(VK_ESCAPE);
  existing->ShowModal();
  EXPECT_EQ(existing->tfInterField->GetFFieldName().Count(), 3);
  existing->Free();
}

}  // namespace
}  // namespace labdocs
