// Adding and editing documents through the documents view, on a real
// database with the real document store.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <optional>

#include "module/documents/main_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/data/client_dataset.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/services/sui_controls.h"
#include "runtime/ole/automation.h"
#include "runtime/platform/testing/test_support.h"

namespace labdocs {
namespace {

class DocumentSavingTest : public testing::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    const rt::OleValue key = std::string("TV_ID");
    rt::CreateOleObject("Vexa.Common")->SetProperty("UserParam", {&key, 1}, std::string("12"));
  }
  // A local file under the home folder; returns its GBK path.
  std::string LocalFile(const std::string& utf8_name, const std::string& content = "内容") {
    std::ofstream(home_ / rt::testing::Utf8Path(utf8_name), std::ios::binary) << content;
    return rt::platform::AnsiPath(home_ / rt::testing::Utf8Path(utf8_name));
  }
  std::int32_t Run(const std::string& command, const std::string& params = "TV_Name=文档管理明细",
                   const std::vector<std::string>& rows = {}) {
    TfrmMain* view = rt::CreateForm<TfrmMain>(&rt::Application(), params);
    rt::RowSet set{{{"Params", rt::FieldType::Text}}, {}};
    for (const std::string& row : rows) set.rows.push_back({row});
    if (!rows.empty()) view->cdsParams->SetRows(set);
    std::int32_t status = -1;
    try {
      status = view->ExecuteMenuItem(command);
    } catch (...) {
      view->Free();
      throw;
    }
    view->Free();
    return status;
  }
  static std::vector<std::string> Row(const std::string& sql) {
    rt::RowSet rows = rt::CurrentDataSession().Query(sql);
    std::vector<std::string> texts;
    if (!rows.rows.empty())
      for (const rt::Value& v : rows.rows[0]) texts.push_back(rt::ValueToText(v));
    return texts;
  }
};

using Texts = std::vector<std::string>;

TEST_F(DocumentSavingTest, ANewDocumentStoresItsFileWritesItsAuditRowAndItsRecord) {
  const std::string path = LocalFile(u8"周报'淺.doc");
  presenter_.Type("edFileName", "  " + path + " ").Type("mmComment", "第一份 周报").Click("btnSave");
  EXPECT_EQ(Run("miNew"), 0);  // an insert changes nothing the host lists
  EXPECT_EQ(Row("Select ID,LABDOC_ID,DocType,DESCS,UserId From RIS_DOC"),
            (Texts{"1", "1", "12", "第一份 周报", "u01"}));
  EXPECT_EQ(Row("Select FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,HOSTNAME,USERID,USERNAME From DB_FILE_RECORD"),
            (Texts{"RIS_DOC", "1", "1", path, "LAB-PC1", "u01", "张三"}));
  EXPECT_EQ(Row("Select FILE_NAME From DB_FILE_STORAGE Where LABDOC_ID=1"), Texts{"周报'淺.doc"});
  const std::string expected_audit =
      "Insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,HOSTNAME,USERID,USERNAME,"
      "MODIFYTIME) Values('RIS_DOC',1,1,'" +
      path.substr(0, path.find('\'')) + "''" + path.substr(path.find('\'') + 1) + "','LAB-PC1','u01','张三',GetDate())";
  EXPECT_NE(std::find(statements_.begin(), statements_.end(), expected_audit), statements_.end());
  EXPECT_TRUE(presenter_.Errors().empty());
}

TEST_F(DocumentSavingTest, AMissingOrBlankFileNameIsRefusedAndNothingIsWritten) {
  presenter_.Type("edFileName", "   ")
      .Click("btnSave")
      .Then([](rt::TForm& f) { EXPECT_EQ(f.ActiveControl()->Name(), "edFileName"); })
      .Type("edFileName", "/no/such/文件.doc")
      .Click("btnSave")
      .Press(VK_ESCAPE);
  EXPECT_EQ(Run("miNew"), 0);
  EXPECT_EQ(presenter_.Messages(),
            (Texts{"alert: 文件名称不能为空，请输入！", "alert: 文件 /no/such/文件.doc 不存在，请输入正确文件路径！"}));
  EXPECT_TRUE(Row("Select count(*) From DB_FILE_STORAGE") == Texts{"0"});
  EXPECT_TRUE(Row("Select count(*) From RIS_DOC") == Texts{"0"});
}

TEST_F(DocumentSavingTest, AFileThatWasNotStoredAddsNoDocumentAndSaysWhy) {
  struct Case {
    const char* what;
    std::string path;
    std::string message;
    bool store_missing = false;
    bool no_directory = false;  // no menu named a directory yet
  };
  const std::string plain = LocalFile(u8"方案.doc");
  // A path of 252 bytes: too long for the store, short enough for every
  // system to hold the file (Windows' limit is 259).
  const std::string name = u8"很长的文件名.doc";
  const std::size_t fill = 252 - (rt::platform::AnsiPath(home_).size() + 1 + 1 + 16);
  const std::filesystem::path deep = home_ / std::string(fill, 'd');
  std::filesystem::create_directories(deep);
  const std::string long_path = LocalFile(std::string(fill, 'd') + "/" + name);
  ASSERT_EQ(long_path.size(), 252u);
  const std::string fifo = rt::platform::AnsiPath(home_ / rt::testing::Utf8Path(u8"管道"));
  // A FIFO, which the store refuses to read, where the system has them.
  const bool with_fifo = rt::testing::MakeFifo(home_ / rt::testing::Utf8Path(u8"管道"));
  std::vector<Case> cases = {
      {"the path does not fit 250 bytes", long_path,
       "alert: 文件路径 " + long_path + " 超过了 249 字节，文档库无法保存，文档没有添加！"},
  };
  // A missing store where the library search can be pointed elsewhere
  // (Windows finds the store beside the program).
  if (rt::testing::LibraryPathVariable())
    cases.insert(cases.begin(), {"the store is not ready", plain,
                                 "alert: 文档库不可用，文件 " + plain + " 无法保存，文档没有添加！", true});
  if (with_fifo)
    cases.push_back({"the store answers no", fifo, "alert: 文件 " + fifo + " 没有保存到文档库，文档没有添加！"});
  cases.push_back({"no directory is known", plain,
                   "alert: 没有选定文档目录，文档没有添加！请在文档目录或文档上打开菜单新增文档。", false, true});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    presenter_.Type("edFileName", c.path).Type("mmComment", "说明").Click("btnSave");
    bool still_open = false;
    presenter_.Then([&](rt::TForm&) { still_open = true; }).Press(VK_ESCAPE);
    const std::size_t before = presenter_.Messages().size();
    {
      std::optional<testing::LibraryFolder> no_store;
      if (c.store_missing) no_store.emplace((home_ / "no-libraries").string());
      const rt::OleValue key = std::string("TV_ID");
      if (c.no_directory) rt::CreateOleObject("Vexa.Common")->SetProperty("UserParam", {&key, 1}, std::string());
      EXPECT_EQ(Run("miNew"), 0);
      rt::CreateOleObject("Vexa.Common")->SetProperty("UserParam", {&key, 1}, std::string("12"));
    }
    const Texts messages = presenter_.Messages();
    EXPECT_EQ(Texts(messages.begin() + static_cast<std::ptrdiff_t>(before), messages.end()), Texts{c.message});
    EXPECT_TRUE(still_open);
    for (const char* table : {"RIS_DOC", "DB_FILE_STORAGE", "DB_FILE_RECORD"})
      EXPECT_EQ(Row(std::string("Select count(*) From ") + table), Texts{"0"}) << table;
  }
}

// Whatever stops the record from being saved after the file was stored, no
// stored file and no audit row stay behind, and OK pressed again after the
// cause is gone stores the file once.
TEST_F(DocumentSavingTest, ARecordThatIsNotSavedLeavesNothingBehind) {
  struct Case {
    const char* what;
    const char* refusal;  // of RIS_DOC inserts: its message, empty to skip the row; none: a required control left empty
  };
  const Case cases[] = {
      {"the insert is refused", ""},
      {"the insert fails", "constraint failed"},
      {"a required control is empty", nullptr},
  };
  const std::string path = LocalFile(u8"记录'淺.doc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Exec("Delete From RIS_DOC");
    Exec("Delete From DB_FILE_RECORD");
    Exec("Delete From DB_FILE_STORAGE");
    if (c.refusal != nullptr) rt::testing::AddRefusal(SchemaOwner(), "refuse", "INSERT", "RIS_DOC", "1 = 1", c.refusal);
    std::vector<Texts> counts;
    auto count = [&] {
      counts.push_back({Row("Select count(*) From RIS_DOC")[0], Row("Select count(*) From DB_FILE_STORAGE")[0],
                        Row("Select count(*) From DB_FILE_RECORD")[0], Row("Select count(*) From DB_FILE_CONTENT")[0]});
    };
    presenter_.Type("edFileName", path);
    if (c.refusal == nullptr) {
      presenter_.Then([](rt::TForm& f) {
        dynamic_cast<rt::TComponent*>(f.FindComponent("mmComment"))->SetProperty("U_Null", false);
      });
    }
    presenter_.Click("btnSave")
        .Then([&](rt::TForm& f) {
          count();
          rt::testing::DropRefusal(SchemaOwner(), "refuse", "RIS_DOC");
          dynamic_cast<rt::TControl*>(f.FindComponent("mmComment"))->SetText("说明");
        })
        .Click("btnSave");
    EXPECT_EQ(Run("miNew"), 0);
    count();
    EXPECT_EQ(counts, (std::vector<Texts>{{"0", "0", "0", "0"}, {"1", "1", "1", "1"}}));
    EXPECT_EQ(Row("Select r.LABDOC_ID, a.LABDOC_ID, s.LABDOC_ID From RIS_DOC r, DB_FILE_RECORD a, DB_FILE_STORAGE s"),
              Texts(3, Row("Select LABDOC_ID From DB_FILE_STORAGE")[0]));
  }
}

TEST_F(DocumentSavingTest, TheFileIsChosenWithTheOpenDialog) {
  const std::string path = LocalFile("chosen.txt");
  std::string after_cancel, after_choice;
  presenter_.AnswerOpenDialog(std::nullopt).AnswerOpenDialog(path);
  presenter_.Type("edFileName", "typed")
      .Click("btnOpenFile")
      .Then([&](rt::TForm& f) { after_cancel = dynamic_cast<rt::TControl*>(f.FindComponent("edFileName"))->Text(); })
      .Click("btnOpenFile")
      .Then([&](rt::TForm& f) { after_choice = dynamic_cast<rt::TControl*>(f.FindComponent("edFileName"))->Text(); })
      .Press(VK_ESCAPE);
  Run("miNew");
  EXPECT_EQ(after_cancel, "typed");
  EXPECT_EQ(after_choice, path);
}

TEST_F(DocumentSavingTest, PropertiesShowTheStoredNameLockedAndOkStampsTheAuditRow) {
  presenter_.Type("edFileName", LocalFile(u8"报告.doc")).Type("mmComment", "旧").Click("btnSave");
  ASSERT_EQ(Run("miNew"), 0);
  // Another table's file record with the same id is not this document's.
  Exec("Insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,HOSTNAME) Values('LAB_REPORT',1,99,'OTHER-PC')");
  bool locked = false;
  std::string shown;
  presenter_
      .Then([&](rt::TForm& f) {
        auto* edit = dynamic_cast<rt::TControl*>(f.FindComponent("edFileName"));
        shown = edit->Text();
        locked = !edit->Enabled() && !dynamic_cast<rt::TControl*>(f.FindComponent("btnOpenFile"))->Enabled();
      })
      .Type("mmComment", "新")
      .Click("btnSave");
  statements_.clear();
  EXPECT_EQ(Run("miProperties", "TV_ID=12", {"ID=1;LABDOC_ID=1;DISP_名称=报告.doc"}), 2);
  EXPECT_EQ(shown, "报告.doc");
  EXPECT_TRUE(locked);
  ASSERT_FALSE(statements_.empty());
  EXPECT_EQ(statements_.front(), "Select File_Name from Db_File_Storage Where LabDoc_ID=1");
  EXPECT_NE(std::find(statements_.begin(), statements_.end(),
                      "Update DB_FILE_RECORD set HOSTNAME='LAB-PC1', USERID='u01', USERNAME='张三', "
                      "MODIFYTIME = GetDate() where FileTableID=1 and FileTableName='RIS_DOC' and LABDOC_ID "
                      "in(select LABDOC_ID from RIS_DOC where ID=1)"),
            statements_.end());
  EXPECT_EQ(Row("Select DESCS From RIS_DOC Where ID=1"), Texts{"新"});
  EXPECT_EQ(Row("Select HOSTNAME From DB_FILE_RECORD Where FileTableName='RIS_DOC'"), Texts{"LAB-PC1"});
  EXPECT_EQ(Row("Select HOSTNAME From DB_FILE_RECORD Where FileTableName='LAB_REPORT'"), Texts{"OTHER-PC"});
}

// A record's key comes back (Max(ID)+1) once the record with the highest key
// is deleted, while the deleted document's audit row stays: editing the new
// document must stamp its own row only.
TEST_F(DocumentSavingTest, AnEditNeverStampsTheAuditRowOfADeletedDocumentWhoseKeyCameBack) {
  const auto as = [](const std::string& computer, const std::string& user) {
    rt::HostEnvironment env = rt::Environment();
    env.computer_name = computer;
    env.user_name = user;
    rt::SetEnvironment(env);
  };
  as("PC-A", "甲");
  presenter_.Type("edFileName", LocalFile(u8"甲的记录.doc")).Click("btnSave");
  ASSERT_EQ(Run("miNew"), 0);
  presenter_.AnswerConfirm(1);
  Run("miDelete", "TV_ID=12", {"ID=1;LABDOC_ID=1"});
  ASSERT_EQ(Row("Select count(*) From RIS_DOC"), Texts{"0"});
  as("PC-B", "乙");
  presenter_.Type("edFileName", LocalFile(u8"乙的记录.doc")).Click("btnSave");
  ASSERT_EQ(Run("miNew"), 0);
  ASSERT_EQ(Row("Select ID,LABDOC_ID From RIS_DOC"), (Texts{"1", "2"}));  // the key came back
  as("PC-C", "丙");
  presenter_.Type("mmComment", "改").Click("btnSave");
  EXPECT_EQ(Run("miProperties", "TV_ID=12", {"ID=1;LABDOC_ID=2;DISP_名称=乙的记录.doc"}), 2);
  EXPECT_EQ(Row("Select HOSTNAME,USERNAME From DB_FILE_RECORD Where LABDOC_ID=1"), (Texts{"PC-A", "甲"}));
  EXPECT_EQ(Row("Select HOSTNAME,USERNAME From DB_FILE_RECORD Where LABDOC_ID=2"), (Texts{"PC-C", "丙"}));
}

TEST_F(DocumentSavingTest, PropertiesWithoutASelectedRowEndWithAConversionError) {
  EXPECT_THROW(Run("miProperties", "TV_ID=12", {""}), rt::EConvertError);
  EXPECT_TRUE(statements_.empty());  // refused before any statement was sent
}

TEST_F(DocumentSavingTest, ThesisDocumentsKeepTheirAuthors) {
  presenter_.Type("edFileName", LocalFile(u8"论文.pdf"))
      .Type("edFstAuthor", "李四")
      .Type("edAuthors", "王五, 赵六")
      .Click("btnSave");
  EXPECT_EQ(Run("miNew", "TV_Name=论文管理明细"), 0);
  EXPECT_EQ(Row("Select FstAuthor,Authors From RIS_DOC"), (Texts{"李四", "王五, 赵六"}));
}

}  // namespace
}  // namespace labdocs
