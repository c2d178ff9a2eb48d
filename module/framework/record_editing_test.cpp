// New, Properties, OK and Delete of the generic record form on a real
// database, with the real document store.
#include <gtest/gtest.h>

#include <fstream>

#include "labdoc/api.h"
#include "module/framework/record_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/data/client_dataset.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/ui/actions.h"

namespace labdocs {
namespace {

// A record form for RIS_DOC rows: a description edit and a holder of the
// key values.
class TDocForm : public TfrmClsfrmConfig {
 public:
  explicit TDocForm(rt::TComponent* owner) : TfrmClsfrmConfig(owner) {
    PublishField("edDesc", edDesc);
    PublishField("tfKeys", tfKeys);
  }
  void Create(const std::string& table, const std::string& keys) {
    TfrmClsfrmConfig::Create("");
    FTableName = table;
    FKeyFields = keys;
    FItemCaption = "实验文件";
    FFocusEdit = edDesc;
    edDesc->SetTableName(table);
    tfKeys->SetTableName(table);
  }
  rt::Layout ClassLayout() const override {
    rt::Layout layout = TfrmClsfrmConfig::ClassLayout();
    layout.Form({{"Name", "frmDoc"}});
    layout.Add({"edDesc", "TVexaEdit20", "tsNormal", {{"U_FieldName", "DESCS"}, {"TabOrder", 0}}, {}});
    layout.Add({"tfKeys",
                "TVexaField20",
                "tsNormal",
                {{"U_FieldNames", std::vector<std::string>{"ID", "LABDOC_ID", "DocType"}}},
                {}});
    return layout;
  }
  rt::TVexaEdit20* edDesc = nullptr;
  rt::TVexaField20* tfKeys = nullptr;
};

class RecordEditingTest : public testing::HostFixture {
 protected:
  TDocForm* NewForm(const std::string& table = "RIS_DOC", const std::string& keys = "ID") {
    return rt::CreateForm<TDocForm>(&rt::Application(), table, keys);
  }
  static void Select(TfrmClsfrmConfig& form, const std::vector<std::string>& rows) {
    rt::RowSet set{{{"Params", rt::FieldType::Text}}, {}};
    for (const std::string& row : rows) set.rows.push_back({row});
    form.cdsParams->SetRows(set);
  }
  static std::string Description(int id) {
    rt::RowSet rows = rt::CurrentDataSession().Query("Select DESCS From RIS_DOC Where ID=" + std::to_string(id));
    return rows.rows.empty() ? "<none>" : rt::ValueToText(rows.rows[0][0]);
  }
  // A document whose file is in the store; returns its number.
  std::int32_t StoredDocument(TfrmClsfrmConfig& form, int id, const std::string& name) {
    const std::string path = (home_ / name).string();
    std::ofstream(path) << name;
    std::int32_t doc_id = 0;
    EXPECT_TRUE(form.StoreDocument(path, doc_id));
    Exec("Insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) Values(" + std::to_string(id) + "," + std::to_string(doc_id) +
         ",'12','d" + std::to_string(id) + "')");
    return doc_id;
  }
};

TEST_F(RecordEditingTest, NewShowsTheEmptyFormAndOkInsertsTheRow) {
  TDocForm* form = NewForm();
  form->tfKeys->SetValues(0, "1");
  form->tfKeys->SetValues(2, "12");
  std::string title;
  presenter_.Then([&](rt::TForm&) { title = form->sfrmClsfrmConfig->Caption(); })
      .Type("edDesc", "新 的")
      .Click("btnSave");
  form->acNew->Execute();
  EXPECT_EQ(title, "实验文件属性 - 新增实验文件");
  EXPECT_EQ(form->FEditMode, kEditNew);
  EXPECT_EQ(form->GetModalResult(), rt::mrOk);
  EXPECT_EQ(form->FSaveResult, 0);
  EXPECT_FALSE(form->FDataChanged);  // an insert changes nothing the host lists
  EXPECT_EQ(Description(1), "新 的");
  form->Free();
}

TEST_F(RecordEditingTest, PropertiesLoadTheSelectedRecordAndOkUpdatesIt) {
  Exec("Insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) Values(17,5,'12','旧描述')");
  TDocForm* form = NewForm();
  Select(*form, {"ID=17;DISP_名称=a.doc"});
  std::string title, shown;
  presenter_
      .Then([&](rt::TForm&) {
        title = form->sfrmClsfrmConfig->Caption();
        shown = form->edDesc->Text();
      })
      .Type("edDesc", "新描述")
      .Click("btnSave");
  form->acProperties->Execute();
  ASSERT_FALSE(statements_.empty());
  EXPECT_EQ(statements_.front(), "Select * From RIS_DOC Where ID='17'");
  EXPECT_EQ(title, "实验文件属性 - a.doc");
  EXPECT_EQ(shown, "旧描述");
  EXPECT_EQ(form->FKeyValues, "'17'");
  EXPECT_EQ(form->FEditMode, kEditExisting);
  EXPECT_TRUE(form->FDataChanged);
  EXPECT_EQ(Description(17), "新描述");
  form->Free();
}

TEST_F(RecordEditingTest, TheTitleComesFromTheFirstDisplayKeyOnly) {
  Exec("Insert into RIS_DOC(ID,DESCS) Values(1,'x')");
  struct Case {
    std::string row, title;
  };
  for (const Case& c :
       {Case{"ID=1;disp_name=小写", "实验文件属性 - 小写"}, Case{"ID=1;DIS_name=不算", "常规"},
        Case{"ID=1;DISP_a=;DISP_b=后面", "常规"}, Case{"ID=1;\"DISP_名称= 有 空格 \"", "实验文件属性 - 有 空格"}}) {
    TDocForm* form = NewForm();
    Select(*form, {c.row});
    std::string title;
    presenter_.Then([&](rt::TForm&) { title = form->sfrmClsfrmConfig->Caption(); }).Press(VK_ESCAPE);
    form->acProperties->Execute();
    EXPECT_EQ(title, c.title) << c.row;
    form->Free();
  }
}

TEST_F(RecordEditingTest, ARecordThatIsGoneIsReportedAndTheFormNotShown) {
  TDocForm* form = NewForm();
  Select(*form, {"ID=99"});
  form->acProperties->Execute();
  EXPECT_EQ(presenter_.Log(), std::vector<std::string>{"alert: 该实验文件已经不存在！"});
  EXPECT_EQ(form->FEditMode, kEditIdle);
  Select(*form, {""});
  form->acProperties->Execute();  // no selected row: nothing
  EXPECT_EQ(presenter_.Log().size(), 1u);
  form->Free();
}

TEST_F(RecordEditingTest, SeveralKeyColumnsAndQuotesInKeyValues) {
  ChangeSchema("Create Table PAIR_ROWS(A integer, B text, DESCS text)");
  Exec("Insert into PAIR_ROWS Values(1,'x''y','说明')");
  TDocForm* form = NewForm("PAIR_ROWS", " A||B ");
  Select(*form, {"A=1;B=x'y"});
  presenter_.Type("edDesc", "改了").Click("btnSave");
  form->acProperties->Execute();
  ASSERT_FALSE(statements_.empty());
  EXPECT_EQ(statements_.front(), "Select * From PAIR_ROWS Where A='1' and B='x''y'");
  EXPECT_EQ(form->FKeyValues, "'1'||'x''y'");
  EXPECT_EQ(rt::ValueToText(rt::CurrentDataSession().Query("Select DESCS From PAIR_ROWS").rows[0][0]), "改了");
  // A key value embedded bare must be a number.
  Select(*form, {"A=1;B=x;LABDOC_ID=3"});
  presenter_.AnswerConfirm(1);
  EXPECT_THROW(form->acDelete->Execute(), rt::EConvertError);
  form->Free();
}

TEST_F(RecordEditingTest, OkWithoutAModeClosesAndWritesNothing) {
  TDocForm* form = NewForm();
  presenter_.Click("btnSave");
  EXPECT_EQ(form->ShowModal(), rt::mrOk);
  EXPECT_EQ(form->FSaveResult, -9999);
  EXPECT_TRUE(statements_.empty());
  form->Free();
}

TEST_F(RecordEditingTest, AFailingSaveKeepsTheFormOpenWithTheFocusOnTheFocusEdit) {
  Exec("Insert into RIS_DOC(ID,DESCS) Values(1,'x')");
  TDocForm* form = NewForm();
  form->FEditMode = kEditExisting;
  form->FKeyFields = "ID";
  form->FKeyValues = "'2'";  // no such row: nothing updated
  std::string focused;
  presenter_.Focus("btnCancel")
      .Click("btnSave")
      .Then([&](rt::TForm& f) { focused = f.ActiveControl()->Name(); })
      .Click("btnCancel");
  EXPECT_EQ(form->ShowModal(), rt::mrCancel);
  EXPECT_EQ(focused, "edDesc");
  EXPECT_EQ(form->FSaveResult, -9999);
  EXPECT_FALSE(form->FDataChanged);
  form->Free();
}

TEST_F(RecordEditingTest, DeleteRemovesEachRecordAfterItsDocument) {
  TDocForm* form = NewForm();
  std::int32_t first = StoredDocument(*form, 1, "a.doc");
  Exec("Insert into RIS_DOC(ID,LABDOC_ID,DocType) Values(2,777,'12')");  // the store lacks 777
  std::int32_t third = StoredDocument(*form, 3, "c.doc");
  Select(*form,
         {"ID=1;LABDOC_ID=" + std::to_string(first), "ID=2;LABDOC_ID=777", "ID=3;LabDoc_ID=" + std::to_string(third)});
  presenter_.AnswerConfirm(1);
  statements_.clear();
  form->acDelete->Execute();
  EXPECT_EQ(presenter_.Log(), std::vector<std::string>{"confirm(2): 是否确实要删除选中的记录？"});
  EXPECT_EQ(statements_,
            (std::vector<std::string>{"Delete From RIS_DOC Where ID=1", "Delete From RIS_DOC Where ID=3"}));
  EXPECT_EQ(Description(1), "<none>");
  EXPECT_EQ(Description(2), "");
  EXPECT_EQ(Description(3), "<none>");
  EXPECT_TRUE(form->FDataChanged);
  EXPECT_EQ(form->FSaveResult, 0);
  form->Free();
}

// A record that cannot be deleted keeps its document: the two go together
// or not at all.
TEST_F(RecordEditingTest, ARecordThatCannotBeDeletedKeepsItsDocument) {
  TDocForm* form = NewForm();
  const std::int32_t first = StoredDocument(*form, 1, "first.doc");
  const std::int32_t second = StoredDocument(*form, 2, "second.doc");
  rt::testing::AddRefusal(SchemaOwner(), "keep_two", "DELETE", "RIS_DOC", "old.ID = 2", "kept");
  Select(*form, {"ID=1;LABDOC_ID=" + std::to_string(first), "ID=2;LABDOC_ID=" + std::to_string(second)});
  presenter_.AnswerConfirm(1);
  EXPECT_THROW(form->acDelete->Execute(), rt::EOleError);
  EXPECT_EQ(Description(1), "<none>");
  EXPECT_EQ(Description(2), "d2");
  char buffer[kFilePathBufferSize] = {};
  char* path = buffer;
  EXPECT_FALSE(form->FetchDocument(first, path));
  EXPECT_TRUE(form->FetchDocument(second, path)) << "the kept record's document is still stored";
  form->Free();
}

TEST_F(RecordEditingTest, ADeclinedDeleteUsesUpTheOneShotStatement) {
  TDocForm* form = NewForm();
  std::int32_t doc = StoredDocument(*form, 1, "a.doc");
  Select(*form, {"ID=1;LABDOC_ID=" + std::to_string(doc)});
  form->FDeleteSQL = "Delete From RIS_DOC Where ID=1";
  presenter_.AnswerConfirm(2);
  form->acDelete->Execute();
  EXPECT_TRUE(form->FDeleteSQL.empty());
  EXPECT_EQ(Description(1), "d1");
  // The one-shot statement, answered yes, deletes the current row's record.
  form->FDeleteSQL = "Delete From RIS_DOC Where ID=1";
  presenter_.AnswerConfirm(1);
  form->acDelete->Execute();
  EXPECT_EQ(Description(1), "<none>");
  EXPECT_TRUE(form->FDataChanged);
  form->Free();
}

TEST_F(RecordEditingTest, DeleteWithoutAStoreOrWithoutRowsRemovesNothing) {
  {
    testing::LibraryFolder nowhere(home_.string());
    TDocForm* form = NewForm();
    Exec("Insert into RIS_DOC(ID,LABDOC_ID,DESCS) Values(1,5,'x')");
    Select(*form, {"ID=1;LABDOC_ID=5"});
    presenter_.AnswerConfirm(1);
    form->acDelete->Execute();
    EXPECT_EQ(Description(1), "x");
    EXPECT_FALSE(form->FDataChanged);
    form->Free();
  }
  TDocForm* form = NewForm();
  presenter_.AnswerConfirm(1).AnswerConfirm(1);
  form->acDelete->Execute();  // no rows: the question, then nothing
  form->FDeleteSQL = "Delete From RIS_DOC";
  EXPECT_THROW(form->acDelete->Execute(), rt::EConvertError);  // no LABDOC_ID to delete
  EXPECT_EQ(Description(1), "x");
  EXPECT_EQ(presenter_.Log().size(), 3u);
  form->Free();
}

}  // namespace
}  // namespace labdocs
