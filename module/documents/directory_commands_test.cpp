// The directory commands of the documents view, run as the host runs them
// (ExecuteMenuItem on a selection), against a real database: deleting
// directories with their documents, and copying directories through the
// copy dialog driven by a scripted user.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "module/documents/copy_list_form.h"
#include "module/documents/main_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/data/packet.h"
#include "runtime/ole/automation.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"

namespace labdocs {
namespace {

using Lines = std::vector<std::string>;

constexpr char kQuestion[] = "删除此项将删除目录下所有文档，是否继续？";

// The batch that deletes directory v, as it must read.
std::string DeleteBatch(const std::string& v) {
  return " delete from Lab_List where TV_ID = '" + v +
         "' delete from DB_FILE_RECORD where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='" + v +
         "') delete from DB_FILE_STORAGE where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='" + v +
         "') delete from RIS_DOC where DocType= '" + v + "'";
}

class DirectoryCommandsTest : public testing::HostFixture {
 protected:
  void TearDown() override {
    if (view_) view_->Free();
    HostFixture::TearDown();
  }

  // A fresh view whose selection holds rows with these parameter texts.
  TfrmMain& View(const Lines& rows) {
    if (view_) view_->Free();
    view_ = rt::CreateForm<TfrmMain>(&rt::Application(), std::string("TV_Name=文档管理明细"));
    rt::RowSet set{{{"Params", rt::FieldType::Text}}, {}};
    for (const std::string& row : rows) set.rows.push_back({row});
    rt::OleVariant data;
    rt::PacketToVariant(set, data.Ptr());
    view_->cdsParams->SetData(data.Get());
    return *view_;
  }

  // Runs a command on the selection; only the command's own statements are
  // kept.
  std::int32_t Run(const std::string& command, const Lines& rows) {
    TfrmMain& view = View(rows);
    statements_.clear();
    return view.ExecuteMenuItem(command);
  }

  // The first column of a query's rows, as texts.
  static Lines Column(const std::string& sql) {
    Lines values;
    for (const auto& row : rt::CurrentDataSession().Query(sql).rows) values.push_back(rt::ValueToText(row[0]));
    return values;
  }

  TfrmMain* view_ = nullptr;
};

// ---- deletion ----

class DeleteDirectoryTest : public DirectoryCommandsTest {
 protected:
  void SetUp() override {
    DirectoryCommandsTest::SetUp();
    AddDirectory(12, "2019年度", "文档管理明细");
    AddDirectory(13, "仪器规程", "文档管理明细");
    AddDirectory(14, "保留目录", "文档管理明细");
    AddDocument(1, 10, "12", "表\\一", "a.doc");
    AddDocument(2, 20, "12", "二", "b.doc");
    AddDocument(3, 30, "13", "三", "c.doc");
    AddDocument(4, 40, "14", "留下", "d.doc");
    AddDocument(5, 50, "", "不属于任何目录", "e.doc");
    AddAuditRow(1, 10, "2024-01-02 08:00:00.000");
    AddAuditRow(2, 20, "2024-01-03 08:00:00.000");
    AddAuditRow(3, 30, "2024-01-04 08:00:00.000");
    AddAuditRow(4, 40, "2024-01-05 08:00:00.000");
    AddAuditRow(5, 50, "2024-01-06 08:00:00.000");
  }
  void ExpectNothingDeleted() {
    EXPECT_EQ(Column("Select TV_ID From Lab_List Order by TV_ID"), (Lines{"12", "13", "14"}));
    EXPECT_EQ(Column("Select count(*) From RIS_DOC"), Lines{"5"});
    EXPECT_EQ(Column("Select count(*) From DB_FILE_STORAGE"), Lines{"5"});
    EXPECT_EQ(Column("Select count(*) From DB_FILE_RECORD"), Lines{"5"});
  }
};

TEST_F(DeleteDirectoryTest, AnswerOtherThanYesSendsNothingAndShowsNothing) {
  presenter_.AnswerConfirm(2);
  EXPECT_EQ(Run("miDeleteList", {"TV_ID=12;DISP_名称=2019年度"}), 0);
  EXPECT_TRUE(statements_.empty());
  EXPECT_EQ(presenter_.Log(), Lines{"confirm(1): " + std::string(kQuestion)});
  EXPECT_FALSE(view_->FListDeleted);
  ExpectNothingDeleted();
}

TEST_F(DeleteDirectoryTest, RemovesEachDirectoryWithItsDocumentsStoredFilesAndAuditRowsInRowOrder) {
  presenter_.AnswerConfirm(1);
  EXPECT_EQ(Run("miDeleteList", {"TV_ID=13;DISP_名称=仪器规程", "TV_ID=12;DISP_名称=2019年度"}), 3);
  EXPECT_EQ(statements_, (Lines{DeleteBatch("13"), DeleteBatch("12")}));
  EXPECT_EQ(statements_[1],
            " delete from Lab_List where TV_ID = '12' delete from DB_FILE_RECORD where LABDOC_ID in(select LABDOC_Id "
            "from RIS_DOC where DocType ='12') delete from DB_FILE_STORAGE where LABDOC_ID in(select LABDOC_Id from "
            "RIS_DOC where DocType ='12') delete from RIS_DOC where DocType= '12'");
  EXPECT_EQ(presenter_.Log(), (Lines{"confirm(1): " + std::string(kQuestion), "prompt: 删除成功！"}));
  // Only the two directories and what hangs off their documents is gone.
  EXPECT_EQ(Column("Select TV_ID From Lab_List Order by TV_ID"), Lines{"14"});
  EXPECT_EQ(Column("Select ID From RIS_DOC Order by ID"), (Lines{"4", "5"}));
  EXPECT_EQ(Column("Select LABDOC_ID From DB_FILE_STORAGE Order by LABDOC_ID"), (Lines{"40", "50"}));
  EXPECT_EQ(Column("Select LABDOC_ID From DB_FILE_RECORD Order by LABDOC_ID"), (Lines{"40", "50"}));
}

TEST_F(DeleteDirectoryTest, AnEmptySelectionSendsNothingButReportsTheDeletion) {
  presenter_.AnswerConfirm(1);
  EXPECT_EQ(Run("miDeleteList", {}), 3);
  EXPECT_TRUE(statements_.empty());
  EXPECT_EQ(presenter_.Messages(), Lines{"prompt: 删除成功！"});
  ExpectNothingDeleted();
}

TEST_F(DeleteDirectoryTest, AQuoteInADirectoryIdCannotChangeTheBatch) {
  presenter_.AnswerConfirm(1);
  if (rt::testing::EngineUnderTest() == rt::Engine::Sqlite) {
    EXPECT_EQ(Run("miDeleteList", {"TV_ID=x'or'1'='1;DISP_名称=怪"}), 3);
  } else {
    // A server compares a number column only with numbers, as the
    // laboratory's original server does: the batch fails as a whole.
    EXPECT_THROW(Run("miDeleteList", {"TV_ID=x'or'1'='1;DISP_名称=怪"}), rt::EOleError);
  }
  EXPECT_EQ(statements_, Lines{DeleteBatch("x''or''1''=''1")});
  ExpectNothingDeleted();
}

TEST_F(DeleteDirectoryTest, ARowWithoutADirectoryIdIsRefusedBeforeTheQuestion) {
  presenter_.AnswerConfirm(1);
  TfrmMain& view = View({"TV_ID=12", "DISP_名称=无编号"});
  statements_.clear();
  EXPECT_THROW(view.ExecuteMenuItem("miDeleteList"), rt::Exception);
  EXPECT_TRUE(statements_.empty());
  EXPECT_TRUE(presenter_.Log().empty());  // not even asked
  ExpectNothingDeleted();
}

TEST_F(DeleteDirectoryTest, AFailingBatchEndsTheCommandAtItsRowAndKeepsTheEarlierOnes) {
  rt::testing::AddRefusal(SchemaOwner(), "keep_13", "DELETE", "Lab_List", "old.TV_ID = 13", "kept");
  presenter_.AnswerConfirm(1);
  TfrmMain& view = View({"TV_ID=12", "TV_ID=13", "TV_ID=14"});
  EXPECT_THROW(view.ExecuteMenuItem("miDeleteList"), rt::EOleError);
  EXPECT_FALSE(view.FListDeleted);
  EXPECT_TRUE(presenter_.Messages().empty());
  // The first directory's batch stays; the failed one changed nothing.
  EXPECT_EQ(Column("Select TV_ID From Lab_List Order by TV_ID"), (Lines{"13", "14"}));
  EXPECT_EQ(Column("Select ID From RIS_DOC Order by ID"), (Lines{"3", "4", "5"}));
}

// ---- copy ----

class CopyDirectoryTest : public DirectoryCommandsTest {
 protected:
  void SetUp() override {
    DirectoryCommandsTest::SetUp();
    AddNode(1, "文档管理", 0);
    AddNode(2, "文档管理明细", 1);
    AddNode(3, "论文管理明细", 1);
    AddNode(4, "质量管理明细", 1);
    AddNode(5, "质量''管理", 1);  // a category whose name holds a quote
    AddNode(6, "下级节点", 2);    // a node elsewhere in the tree
    Exec("Insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) Values(7,'别的系统明细',1,'LIS_OTHER')");
    AddDirectory(12, "2019年度", "文档管理明细");
    AddDirectory(13, "仪器 规程", "文档管理明细");
    AddDirectory(14, "2019年论文", "论文管理明细");
    AddDocument(1, 10, "12", "一", "a.doc");
  }

  static TfrmCopyList& Dialog(rt::TForm& form) {
    auto* dialog = dynamic_cast<TfrmCopyList*>(&form);
    if (!dialog) throw rt::Exception("the copy dialog is not the modal form");
    return *dialog;
  }
  static Lines Entries(rt::TForm& form) {
    Lines names;
    for (const auto& [code, name] : Dialog(form).cbCopyList->Entries()) names.push_back(name);
    return names;
  }
  // The script ran out while the dialog was still open (and so closed it).
  bool Exhausted() const {
    const Lines& log = presenter_.Log();
    return std::find(log.begin(), log.end(), "script exhausted") != log.end();
  }
  static void SetDisplayStyle(int style) {
    rt::HostEnvironment env = rt::Environment();
    env.display_style = style;
    rt::SetEnvironment(env);
  }

  const Lines kTwoDirectories{"TV_ID=12;DISP_名称=2019年度;DISP_文档数=1", "TV_ID=13;\"DISP_名称=仪器 规程\""};
};

TEST_F(CopyDirectoryTest, CopiesEachDirectoryUnderConsecutiveNewKeysIntoTheChosenCategory) {
  SetDisplayStyle(4);
  Lines entries;
  int style = -1;
  presenter_.Then([&](rt::TForm& form) {
    entries = Entries(form);
    style = Dialog(form).sfrmCopyList->UIStyle();
  });
  presenter_.Type("cbCopyList", "  论文管理明细 ").Click("BtnSave");
  EXPECT_EQ(Run("miCopyList", kTwoDirectories), 4);
  EXPECT_TRUE(view_->FListCopied);
  EXPECT_TRUE(CopyDone);
  EXPECT_EQ(CopyListName, "仪器 规程");
  EXPECT_EQ(entries, (Lines{"论文管理明细", "质量管理明细", "质量'管理"}));
  EXPECT_EQ(style, 4);
  EXPECT_EQ(statements_,
            (Lines{"Select TV_ID From Pacs_MMCTreeViewConfig where TV_Name='文档管理'",
                   "select TV_Name as Code,TV_Name as DispName from Pacs_MMCTreeViewConfig where Parent='1' and "
                   "SubSysCode= 'LIS_DIRECTOR' and TV_Name <> (Select DocType From LAB_List where TV_ID='12')",
                   "Select 1 From Pacs_MMCTreeViewConfig Where TV_Name ='论文管理明细'",
                   "Select IsNull(Max(TV_ID),0)+1 From Lab_List", "Select IsNull(Max(TV_ID),0)+1 From Lab_List"}));
  EXPECT_EQ(Column("Select TV_ID || '|' || TV_Name || '|' || DocType From Lab_List Where TV_ID > 14 Order by TV_ID"),
            (Lines{"15|2019年度|论文管理明细", "16|仪器 规程|论文管理明细"}));
  // Only the directory rows are copied, and the dialog closes once the
  // copy has told the user.
  EXPECT_EQ(Column("Select count(*) From RIS_DOC"), Lines{"1"});
  const Lines& log = presenter_.Log();
  const auto prompt = std::find(log.begin(), log.end(), "prompt: 复制成功！");
  ASSERT_NE(prompt, log.end());
  EXPECT_NE(std::find(prompt, log.end(), "hide frmCopyList"), log.end());
  EXPECT_TRUE(presenter_.Errors().empty());
  EXPECT_FALSE(Exhausted());
}

TEST_F(CopyDirectoryTest, AnUnknownCategoryIsRefusedAndTheDialogStaysOpenForAnotherChoice) {
  bool open_after_refusal = false;
  presenter_.Type("cbCopyList", "不存在的类别").Click("BtnSave");
  presenter_.Then([&](rt::TForm& form) { open_after_refusal = form.Visible() && form.GetModalResult() == rt::mrNone; });
  // A quote in the typed name stays inside the condition.
  presenter_.Type("cbCopyList", "论文管理明细' or '1'='1").Click("BtnSave");
  presenter_.Type("cbCopyList", "质量'管理").Click("BtnSave");
  EXPECT_EQ(Run("miCopyList", {"TV_ID=14;DISP_名称=2019年论文"}), 4);
  EXPECT_TRUE(open_after_refusal);
  EXPECT_EQ(presenter_.Messages(),
            (Lines{"prompt: 不能复制到此目录！", "prompt: 不能复制到此目录！", "prompt: 复制成功！"}));
  EXPECT_NE(std::find(statements_.begin(), statements_.end(),
                      "Select 1 From Pacs_MMCTreeViewConfig Where TV_Name ='论文管理明细'' or ''1''=''1'"),
            statements_.end());
  EXPECT_EQ(Column("Select TV_Name || '|' || DocType From Lab_List Where TV_ID > 14"), Lines{"2019年论文|质量'管理"});
  EXPECT_FALSE(Exhausted());
}

TEST_F(CopyDirectoryTest, EnterInTheComboBoxCopiesLikeOkAndIsLeftToTheComboBox) {
  presenter_.Type("cbCopyList", "质量管理明细").Press(VK_RETURN);
  EXPECT_EQ(Run("miCopyList", {"TV_ID=12;DISP_名称=2019年度"}), 4);
  EXPECT_EQ(Column("Select TV_Name || '|' || DocType From Lab_List Where TV_ID = 15"), Lines{"2019年度|质量管理明细"});
  EXPECT_EQ(presenter_.Messages(), Lines{"prompt: 复制成功！"});
  EXPECT_FALSE(Exhausted());

  // The handler does not consume the key; other keys do nothing.
  TfrmCopyList* dialog = frmCopyList;
  ASSERT_NE(dialog, nullptr);
  dialog->cbCopyList->SetText("不存在的类别");
  rt::Word key = VK_RETURN;
  dialog->cbCopyListKeyDown(dialog->cbCopyList, key, 0);
  EXPECT_EQ(key, VK_RETURN);
  key = 'A';
  dialog->cbCopyListKeyDown(dialog->cbCopyList, key, 0);
  EXPECT_EQ(presenter_.Messages(), (Lines{"prompt: 复制成功！", "prompt: 不能复制到此目录！"}));
}

TEST_F(CopyDirectoryTest, CancelOrTheCloseButtonEndsWithoutDatabaseWorkAndReportsNothing) {
  presenter_.Type("cbCopyList", "论文管理明细").Click("BtnSave");
  EXPECT_EQ(Run("miCopyList", {"TV_ID=12;DISP_名称=2019年度"}), 4);
  ASSERT_TRUE(CopyDone);
  // A later command in the same module life starts again from nothing.
  presenter_.Type("cbCopyList", "论文管理明细").Click("BtnCancel");
  EXPECT_EQ(Run("miCopyList", {"TV_ID=12;DISP_名称=2019年度"}), 0);
  EXPECT_FALSE(CopyDone);
  EXPECT_EQ(statements_.size(), 2u);  // the two queries that fill the list
  presenter_.Close();
  EXPECT_EQ(Run("miCopyList", {"TV_ID=12;DISP_名称=2019年度"}), 0);
  EXPECT_EQ(statements_.size(), 2u);
  EXPECT_EQ(Column("Select count(*) From Lab_List"), Lines{"4"});
  EXPECT_EQ(presenter_.Messages(), Lines{"prompt: 复制成功！"});
}

TEST_F(CopyDirectoryTest, AnEmptySelectionCountsAsACopyAndLeavesTheDialogOpen) {
  bool open_after_copy = false;
  Lines entries{"unset"};
  presenter_.Then([&](rt::TForm& form) { entries = Entries(form); });
  presenter_.Type("cbCopyList", "论文管理明细").Click("BtnSave");
  presenter_.Then([&](rt::TForm& form) { open_after_copy = form.Visible() && form.GetModalResult() == rt::mrNone; });
  presenter_.Close();
  EXPECT_EQ(Run("miCopyList", {}), 4);
  EXPECT_TRUE(open_after_copy);
  // No selected directory to leave out: the exclusion compares with nothing
  // and the list stays empty.
  EXPECT_EQ(entries, Lines{});
  EXPECT_EQ(Column("Select count(*) From Lab_List"), Lines{"3"});
}

TEST_F(CopyDirectoryTest, TheListLeavesOutOnlyTheFirstSelectedDirectorysCategory) {
  Lines entries;
  presenter_.Then([&](rt::TForm& form) { entries = Entries(form); }).Close();
  EXPECT_EQ(Run("miCopyList", {"TV_ID=14;DISP_名称=2019年论文", "TV_ID=12;DISP_名称=2019年度"}), 0);
  EXPECT_EQ(entries, (Lines{"文档管理明细", "质量管理明细", "质量'管理"}));
  // Another subsystem sees its own categories only.
  SetSysCode("LIS_OTHER");
  presenter_.Then([&](rt::TForm& form) { entries = Entries(form); }).Close();
  EXPECT_EQ(Run("miCopyList", {"TV_ID=14;DISP_名称=2019年论文"}), 0);
  EXPECT_EQ(entries, Lines{"别的系统明细"});
}

TEST_F(CopyDirectoryTest, AQuoteInTheSelectedDirectoryIdStaysInsideTheCategoryQuery) {
  presenter_.Close();
  EXPECT_EQ(Run("miCopyList", {"TV_ID=12'x;DISP_名称=怪"}), 0);
  ASSERT_EQ(statements_.size(), 2u);
  EXPECT_EQ(statements_[1],
            "select TV_Name as Code,TV_Name as DispName from Pacs_MMCTreeViewConfig where Parent='1' and "
            "SubSysCode= 'LIS_DIRECTOR' and TV_Name <> (Select DocType From LAB_List where TV_ID='12''x')");
  // A server refuses the comparison of a number column with that text (an
  // error shown, the dialog going on); SQLite finds no row.
  EXPECT_EQ(presenter_.Errors().size(), rt::testing::EngineUnderTest() == rt::Engine::Sqlite ? 0u : 1u);
}

TEST_F(CopyDirectoryTest, AnErrorWhileFillingTheListIsShownAndTheDialogGoesOn) {
  ChangeSchema("Drop Table Lab_List");
  presenter_.Type("cbCopyList", "不存在的类别").Click("BtnSave").Click("BtnCancel");
  EXPECT_EQ(Run("miCopyList", {"TV_ID=12;DISP_名称=2019年度"}), 0);
  ASSERT_EQ(presenter_.Errors().size(), 1u);
  EXPECT_EQ(presenter_.Messages(), Lines{"prompt: 不能复制到此目录！"});
  EXPECT_TRUE(presenter_.Done());
}

TEST_F(CopyDirectoryTest, AnErrorDuringTheCopyKeepsTheRowsInsertedAndReportsNoCopy) {
  ChangeSchema("CREATE UNIQUE INDEX one_name ON Lab_List(TV_Name, DocType)");
  presenter_.Type("cbCopyList", "论文管理明细").Click("BtnSave");
  // The copy of the first row asked to close the dialog; that stands.
  EXPECT_EQ(Run("miCopyList", {"TV_ID=12;DISP_名称=2019年度", "TV_ID=13;DISP_名称=2019年度"}), 0);
  EXPECT_FALSE(CopyDone);
  EXPECT_FALSE(view_->FListCopied);
  EXPECT_EQ(presenter_.Errors().size(), 1u);
  EXPECT_TRUE(presenter_.Messages().empty());
  EXPECT_EQ(Column("Select TV_Name || '|' || DocType From Lab_List Where TV_ID > 14"), Lines{"2019年度|论文管理明细"});
  EXPECT_FALSE(Exhausted());
}

TEST_F(CopyDirectoryTest, TheDialogBelongsToTheViewAndTheBaseInfoObjectIsMadeOnce) {
  // Count the creations from now on; the object may exist already.
  auto created = std::make_shared<int>(0);
  auto object = rt::CreateOleObject("Vexa.BaseInfo");
  rt::RegisterOleClass("Vexa.BaseInfo", [created, object] {
    ++*created;
    return object;
  });
  for (int i = 0; i < 3; ++i) {
    presenter_.Close();
    EXPECT_EQ(Run("miCopyList", {"TV_ID=12;DISP_名称=2019年度"}), 0);
    EXPECT_EQ(frmCopyList->Owner(), view_);
  }
  EXPECT_LE(*created, 1);
  const int after_three = *created;
  presenter_.Close();
  Run("miCopyList", {"TV_ID=12;DISP_名称=2019年度"});
  EXPECT_EQ(*created, after_three);
  view_->Free();
  view_ = nullptr;
  EXPECT_EQ(frmCopyList, nullptr);
}

TEST(CopyListLookups, AnEmptySourceTextGivesTheEmptyText) {
  auto* dialog = new TfrmCopyList(nullptr);
  EXPECT_EQ(dialog->GetParamValue("TV_ID", ""), "");
  EXPECT_EQ(dialog->GetParamValue("tv_id", "TV_ID=12;DISP_名称=2019年度"), "12");
  EXPECT_EQ(dialog->GetParamValue(" ", "=x"), "");
  EXPECT_EQ(dialog->GetParamValue("DISP_名称", "\"DISP_名称=2021年度 \"\"内审\"\" 资料; 待归档\""),
            "2021年度 \"内审\" 资料; 待归档");
  dialog->Free();
}

}  // namespace
}  // namespace labdocs
