#include "runtime/services/data_service.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "runtime/data/client_dataset.h"
#include "runtime/data/packet.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/ole/automation.h"
#include "runtime/ole/error_info.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/ui/application.h"
#include "runtime/ui/form.h"
#include "runtime/ui/scripted_presenter.h"

namespace rt {
namespace {

namespace fs = std::filesystem;

// The data service on a real database file, with a form whose page holds
// controls bound to RIS_DOC.
class DataServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = fs::temp_directory_path() / ("labdocs-data-" + std::to_string(::getpid()) + ".db");
    fs::remove(path_);
    OpenSession(path_.string());
    Application().SetPresenter(&presenter_);
    form_ = new TForm(&Application());
    page_ = new TsuiForm(form_);
    page_->SetParent(form_);
    service_ = new TDataService20(form_);
    file_name_ = Add<TVexaEdit20>("edFileName", "");
    comment_ = Add<TVexaMemo20>("mmComment", "DESCS");
    holder_ = Add<TVexaField20>("tfInterField", "");
    holder_->SetProperty("U_FieldNames", std::vector<std::string>{"ID", "LABDOC_ID", "UserId"});
  }
  void TearDown() override {
    form_->Free();
    Application().SetPresenter(nullptr);
    CloseSession();
    fs::remove(path_);
  }

  template <class T>
  T* Add(const std::string& name, const std::string& field) {
    auto* control = new T(form_);
    control->SetName(name);
    control->SetParent(page_);
    control->SetTableName("RIS_DOC");
    if constexpr (!std::is_same_v<T, TVexaField20>) control->SetFieldName(field);
    return control;
  }

  RowSet Rows(const std::string& sql) {
    VARIANT data;
    VariantInit(&data);
    EXPECT_EQ(service_->OpenSQL(sql, &data), S_OK) << TakeErrorInfo();
    RowSet rows = VariantToPacket(data);
    VariantClear(&data);
    return rows;
  }

  fs::path path_;
  ScriptedPresenter presenter_;
  TForm* form_ = nullptr;
  TWinControl* page_ = nullptr;
  TDataService20* service_ = nullptr;
  TVexaEdit20* file_name_ = nullptr;
  TVexaMemo20* comment_ = nullptr;
  TVexaField20* holder_ = nullptr;
};

TEST_F(DataServiceTest, StatementsQueriesAndKeys) {
  int result = -1;
  ASSERT_EQ(service_->GetMaxID("Select IsNull(Max(ID),0)+1 From RIS_DOC", &result), S_OK);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(service_->ExecSQL("Insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) Values(1,7,'12','周报 表')", &result),
            S_OK);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(service_->GetMaxID("Select IsNull(Max(ID),0)+1 From RIS_DOC", &result), S_OK);
  EXPECT_EQ(result, 2);
  RowSet rows = Rows("Select ID, DESCS as DISP_描述 From RIS_DOC a(nolock) Where DocType='12'");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.fields[1].name, "DISP_描述");
  EXPECT_EQ(std::get<std::string>(rows.rows[0][1]), "周报 表");
  ASSERT_EQ(service_->RecordExists("RIS_DOC", "DESCS='周报 表'", &result), S_OK);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(service_->RecordExists("RIS_DOC", "DocType='99'", &result), S_OK);
  EXPECT_EQ(result, 0);
}

TEST_F(DataServiceTest, ARejectedStatementFailsWithTheDatabasesReason) {
  int result = 0;
  EXPECT_LT(service_->ExecSQL("Delete From NoSuchTable", &result), 0);
  EXPECT_NE(TakeErrorInfo().find("NoSuchTable"), std::string::npos);
  VARIANT data;
  VariantInit(&data);
  EXPECT_LT(service_->OpenSQL("Select File_Name from Db_File_Storage Where LabDoc_ID=", &data), 0);
  EXPECT_FALSE(TakeErrorInfo().empty());
  EXPECT_EQ(data.vt, VT_EMPTY);
  EXPECT_EQ(service_->ExecSQL("x", nullptr), E_POINTER);
}

TEST_F(DataServiceTest, InsertAndUpdateFromBoundControls) {
  file_name_->SetText("not saved: bound to no field");
  comment_->SetText("第一版 'quoted'");
  holder_->GetFFieldName().Add("DocType");
  holder_->SetValues(0, "1");
  holder_->SetValues(1, "7");
  holder_->SetValues(holder_->GetFFieldName().IndexOf("doctype"), "12");
  int result = 0;
  ASSERT_EQ(service_->SaveInsertListData(page_, "RIS_DOC", "", "", &result), S_OK) << TakeErrorInfo();
  EXPECT_EQ(result, 1);
  RowSet rows = Rows("Select ID, LABDOC_ID, DocType, DESCS, UserId From RIS_DOC");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0][0], Value{std::int64_t{1}});
  EXPECT_EQ(rows.rows[0][1], Value{std::int64_t{7}});
  EXPECT_EQ(std::get<std::string>(rows.rows[0][2]), "12");
  EXPECT_EQ(std::get<std::string>(rows.rows[0][3]), "第一版 'quoted'");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(rows.rows[0][4]));  // never set

  comment_->SetText("第二版");
  ASSERT_EQ(service_->SaveUpdateListData(page_, "RIS_DOC", "ID", "'1'", "'1'", &result), S_OK) << TakeErrorInfo();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(std::get<std::string>(Rows("Select DESCS From RIS_DOC").rows[0][0]), "第二版");
  ASSERT_EQ(service_->SaveUpdateListData(page_, "RIS_DOC", "ID", "'2'", "'2'", &result), S_OK);
  EXPECT_EQ(result, 0);  // no such row
  EXPECT_LT(service_->SaveUpdateListData(page_, "RIS_DOC", "ID||DocType", "'1'", "'1'", &result), 0);
  TakeErrorInfo();
}

TEST_F(DataServiceTest, ControlsBoundToAMissingColumnAreRefused) {
  comment_->SetFieldName("NO_SUCH_COLUMN");
  comment_->SetText("x");
  int result = 0;
  EXPECT_LT(service_->SaveInsertListData(page_, "RIS_DOC", "", "", &result), 0);
  EXPECT_NE(TakeErrorInfo().find("NO_SUCH_COLUMN"), std::string::npos);
}

TEST_F(DataServiceTest, ARowIsShownInTheBoundControls) {
  int result = 0;
  ASSERT_EQ(service_->ExecSQL("Insert into RIS_DOC(ID,LABDOC_ID,DESCS,UserId) Values(17,3,'说明','u1')", &result),
            S_OK);
  auto* dataset = new TClientDataSet(form_);
  dataset->SetRows(Rows("Select * From RIS_DOC Where ID='17'"));
  ASSERT_EQ(service_->ListDataSetToControls(dataset, page_, "RIS_DOC", 0, 1, &result), S_OK) << TakeErrorInfo();
  EXPECT_EQ(comment_->Text(), "说明");
  EXPECT_EQ(holder_->Value("LABDOC_ID"), std::optional<std::string>("3"));
  EXPECT_EQ(holder_->Value("userid"), std::optional<std::string>("u1"));
}

TEST_F(DataServiceTest, RequiredControlsAndComboBoxLists) {
  int result = 0;
  comment_->SetProperty("U_Null", false);
  form_->Show();
  ASSERT_EQ(service_->NullControlExists(page_, &result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(presenter_.Messages().size(), 1u);
  comment_->SetText("有内容");
  ASSERT_EQ(service_->NullControlExists(page_, &result), S_OK);
  EXPECT_EQ(result, 0);

  ASSERT_EQ(service_->ExecSQL("Insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) "
                              "Values(6,'文档管理明细','5','LIS_DIRECTOR')",
                              &result),
            S_OK);
  auto* combo = Add<TVexaComboBox20>("cbCopyList", "TV_Name");
  combo->GetSQLList().SetText(
      "select TV_Name as Code,TV_Name as DispName from Pacs_MMCTreeViewConfig where Parent='5'");
  ASSERT_EQ(service_->InitControls(page_, &result), S_OK) << TakeErrorInfo();
  EXPECT_EQ(result, 1);
  ASSERT_EQ(combo->Items().Count(), 1);
  EXPECT_EQ(combo->Items()[0], "文档管理明细");
  combo->SetItemIndex(0);
  EXPECT_EQ(combo->Value(), "文档管理明细");
  form_->Hide();
}

TEST_F(DataServiceTest, TheAutomationObjectReadsADateField) {
  int result = 0;
  ASSERT_EQ(service_->ExecSQL("Insert into DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME) "
                              "Values(37,'a.doc','2024-02-29 13:30:00.000')",
                              &result),
            S_OK);
  auto object = service_->AutoObject();
  std::vector<OleValue> args{std::string("STOREDTIME"),
                             std::string(" Select STOREDTIME from DB_FILE_STORAGE where  LabDoc_ID=37"), DateTime{0}};
  object->Invoke("GetDateFieldValue", args);
  ASSERT_TRUE(std::holds_alternative<DateTime>(args[2]));
  EXPECT_NEAR(std::get<DateTime>(args[2]).days, 45351.5625, 1e-6);  // 2024-02-29 13:30
  // No row: the variable keeps its value.
  args[1] = std::string(" Select STOREDTIME from DB_FILE_STORAGE where  LabDoc_ID=-1");
  args[2] = DateTime{0};
  object->Invoke("GetDateFieldValue", args);
  EXPECT_EQ(std::get<DateTime>(args[2]).days, 0);
  EXPECT_THROW(object->Invoke("NoSuchMethod", args), EOleError);
}

}  // namespace
}  // namespace rt
