// The documents view used through the desktop host's windows, as a person
// uses it: each test starts the host on a fresh demo home, works the tree,
// the list, the context menu, the forms and the dialogs, and checks the
// database and the files afterwards.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <fstream>
#include <sstream>

#include "desktop/testing/gui_fixture.h"

namespace desktop::testing {
namespace {

// The commands the plug-in offers, in menu order (separators are skipped
// by the arrow keys): on no row, on one document, on one directory.
enum DocumentItem { kDelete = 0, kOpen = 1, kSaveAs = 2, kProperties = 3, kRevise = 4, kVersions = 5 };
enum DirectoryItem { kNewDocument = 0, kDeleteDirectory = 1, kCopyDirectory = 2 };

const std::vector<std::wstring> k2019 = {L"文档管理", L"文档管理明细", L"2019年度"};
const std::vector<std::wstring> kDocuments = {L"文档管理", L"文档管理明细"};
constexpr wchar_t kCalibration[] = L"仪器校准记录 2019; 第2版.csv";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

class DocumentsGuiTest : public DesktopTest {
 protected:
  // The list's column with a caption.
  int Column(const std::wstring& title) {
    for (int c = 0; c < 16; ++c)
      if (Host().ColumnTitle(c) == title) return c;
    ADD_FAILURE() << "the list has no column " << Utf8(title);
    return 0;
  }
  int NameColumn() { return Column(L"名称"); }
  void AnswerMessage(int button, const std::wstring& expected_text) {
    const HWND box = Host().WaitDialog();
    EXPECT_NE(Host().DialogText(box).find(expected_text), std::wstring::npos) << Utf8(Host().DialogText(box));
    Host().PressButton(box, button);
    Host().Settle();
  }
};

TEST_F(DocumentsGuiTest, ListsADirectoryAndSortsByAHeaderClick) {
  Host().OpenNode(k2019);
  EXPECT_EQ(Host().Text(Host().Main()), L"labdocs - 文档管理/文档管理明细/2019年度");
  const int name = NameColumn();
  ASSERT_EQ(std::to_string(Host().RowCount()), Scalar("SELECT count(*) FROM RIS_DOC WHERE DocType = '1'"));
  EXPECT_EQ(Host().Cell(0, name), L"实验室安全手册.txt");
  EXPECT_EQ(Host().Cell(1, name), kCalibration);
  // A click sorts by the column, a second click the other way round:
  // numbers as numbers, texts in the system's collation.
  const int id = Column(L"ID");
  Host().ClickHeader(id);
  EXPECT_EQ(Host().Cell(0, id) + L"," + Host().Cell(1, id), L"1,2");
  Host().ClickHeader(id);
  EXPECT_EQ(Host().Cell(0, id) + L"," + Host().Cell(1, id), L"2,1");
  Host().ClickHeader(name);
  const std::wstring first = Host().Cell(0, name);
  Host().ClickHeader(name);
  EXPECT_EQ(Host().Cell(1, name), first);
  EXPECT_NE(Host().Cell(0, name), first);
  Screenshot(Host().Main(), "desktop-main");
}

TEST_F(DocumentsGuiTest, AddsADocumentWithAChineseNameThroughTheRecordForm) {
  // 淺 is 9C 5C in GBK: its second byte is the path separator's.
  const std::wstring file_name = L"淺析報告; 第1版.txt";
  const std::string content = "\xe6\xb5\x8b\xe8\xaf\x95 content\r\n";
  const std::filesystem::path file = MakeFile(file_name, content);
  // The directory's row in its category: the menu there names the
  // directory the new document goes to.
  Host().OpenNode(kDocuments);
  const int directory = Host().FindRow(0, L"2019年度");
  Host().SelectRows({directory});
  Host().MenuKey();
  Host().PickMenuItem(kNewDocument);
  const HWND form = Host().WaitForm(L"实验文件属性 - 新增实验文件");
  Screenshot(form, "desktop-new-document");
  Host().Click(Host().Control(form, L"btnOpenFile"));
  Host().ChooseFile(Host().WaitDialog(), file.wstring());
  EXPECT_EQ(Host().Text(Host().Control(form, L"edFileName")), file.wstring());
  Host().Type(Host().Control(form, L"mmComment"), L"第一行\r\n含\"引号\"");
  Host().Click(Host().Control(form, L"btnSave"));
  Host().WaitNoForm();
  // The form closed with OK: the list is read again, with the directory's
  // new count, though the command's status says nothing changed.
  Host().Settle();
  EXPECT_EQ(Host().Cell(Host().FindRow(0, L"2019年度"), 1), L"3");
  Host().OpenNode(k2019);
  ASSERT_EQ(Host().RowCount(), 3);
  EXPECT_NE(Host().FindRow(NameColumn(), file_name), -1);
  const std::string utf8_name = Utf8(file_name);
  EXPECT_EQ(Scalar("SELECT d.DESCS FROM RIS_DOC d JOIN DB_FILE_STORAGE s ON s.LABDOC_ID = d.LABDOC_ID"
                   " WHERE s.FILE_NAME = '" +
                   utf8_name + "' AND d.DocType = '1'"),
            "\xe7\xac\xac\xe4\xb8\x80\xe8\xa1\x8c\r\n\xe5\x90\xab\"\xe5\xbc\x95\xe5\x8f\xb7\"");
  EXPECT_EQ(StoredContent(utf8_name), content);
  EXPECT_EQ(Scalar("SELECT count(*) FROM DB_FILE_RECORD r JOIN DB_FILE_STORAGE s ON s.LABDOC_ID = r.LABDOC_ID"
                   " WHERE s.FILE_NAME = '" +
                   utf8_name + "'"),
            "1");
}

TEST_F(DocumentsGuiTest, EditsADescriptionInThePropertiesForm) {
  Host().OpenNode(k2019);
  const int row = Host().FindRow(NameColumn(), kCalibration);
  Host().SelectRows({row});
  Host().RightClickRow(row);
  Host().PickMenuItem(kProperties);
  const HWND form = Host().WaitForm(L"实验文件属性 - 2");
  const HWND memo = Host().Control(form, L"mmComment");
  EXPECT_EQ(Host().Text(memo), L"第 2 版; 含\"附录 A\"");
  EXPECT_FALSE(IsWindowEnabled(Host().Control(form, L"edFileName")));
  Host().Type(memo, L"第 3 版：校准 表\\格");
  Host().Click(Host().Control(form, L"btnSave"));
  Host().WaitNoForm();
  EXPECT_EQ(Scalar("SELECT DESCS FROM RIS_DOC WHERE ID = 2"), Utf8(L"第 3 版：校准 表\\格"));
  // The command changed a record: the list was read again.
  EXPECT_NE(Host().FindRow(NameColumn(), kCalibration), -1);
}

TEST_F(DocumentsGuiTest, SavesACopyThroughTheSaveDialog) {
  Host().OpenNode(k2019);
  const int row = Host().FindRow(NameColumn(), kCalibration);
  Host().SelectRows({row});
  Host().MenuKey();
  Host().PickMenuItem(kSaveAs);
  const std::filesystem::path target = MakeFile(L"placeholder", "").parent_path() / L"副本 淺";
  const HWND dialog = Host().WaitDialog();
  EXPECT_EQ(Host().Text(dialog), L"文档另存为");
  Host().ChooseFile(dialog, target.wstring());
  AnswerMessage(IDOK, L"保存成功");
  // The default extension comes from the document's type.
  const std::filesystem::path saved = target.wstring() + L".csv";
  ASSERT_TRUE(std::filesystem::exists(saved));
  EXPECT_EQ(ReadFile(saved), StoredContent(Utf8(kCalibration)));
  EXPECT_FALSE(ReadFile(saved).empty());
}

TEST_F(DocumentsGuiTest, DeletesTheSelectedDocumentsAfterTheQuestion) {
  Host().OpenNode(k2019);
  Host().SelectRows({0, 1});
  Host().MenuKey();
  Host().PickMenuItem(kDelete);
  AnswerMessage(IDNO, L"是否确实要删除选中的记录？");
  EXPECT_EQ(Scalar("SELECT count(*) FROM RIS_DOC WHERE DocType = '1'"), "2");
  Host().SelectRows({0, 1});
  Host().MenuKey();
  Host().PickMenuItem(kDelete);
  AnswerMessage(IDYES, L"是否确实要删除选中的记录？");
  Host().Settle();
  EXPECT_EQ(Host().RowCount(), 0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM RIS_DOC WHERE DocType = '1'"), "0");
}

// The version history: a form whose list view shows the document's one
// version, stored with the demo, as the current content.
TEST_F(DocumentsGuiTest, ShowsADocumentsVersionHistoryInAListView) {
  Host().OpenNode(k2019);
  Host().SelectRows({0});
  Host().MenuKey();
  Host().PickMenuItem(kVersions);
  const HWND form = Host().WaitForm(L"版本历史 - 实验室安全手册.txt");
  const HWND list = Host().Control(form, L"lvVersions");
  EXPECT_EQ(ListView_GetItemCount(list), 1);
  EXPECT_EQ(ListView_GetSelectedCount(list), 1u) << "the newest version is selected";
  Screenshot(form, "desktop-version-history");
  Host().Click(Host().Control(form, L"btnClose"));
  Host().WaitNoForm();
}

TEST_F(DocumentsGuiTest, DeletesADirectoryAndCopiesAnother) {
  Host().OpenNode(kDocuments);
  ASSERT_EQ(Host().RowCount(), 4);
  Host().SelectRows({0});
  Host().MenuKey();
  Host().PickMenuItem(kDeleteDirectory);
  AnswerMessage(IDOK, L"删除此项将删除目录下所有文档，是否继续？");
  AnswerMessage(IDOK, L"删除成功！");
  EXPECT_EQ(Host().RowCount(), 3);
  EXPECT_EQ(Scalar("SELECT count(*) FROM Lab_List WHERE TV_ID = 1"), "0");
  EXPECT_EQ(Scalar("SELECT count(*) FROM RIS_DOC WHERE DocType = '1'"), "0");

  const int quoted = Host().FindRow(0, L"2021年度 \"内审\" 资料; 待归档");
  ASSERT_NE(quoted, -1);
  Host().SelectRows({quoted});
  Host().MenuKey();
  Host().PickMenuItem(kCopyDirectory);
  const HWND form = Host().WaitForm(L"复制目录");
  Screenshot(form, "desktop-copy-directory");
  const HWND categories = Host().Control(form, L"cbCopyList");
  Host().Type(categories, L"论文管理明细");
  EXPECT_EQ(Host().Text(categories), L"论文管理明细");
  Host().Click(Host().Control(form, L"BtnSave"));
  AnswerMessage(IDOK, L"复制成功！");
  Host().WaitNoForm();
  EXPECT_EQ(Scalar("SELECT count(*) FROM Lab_List WHERE DocType = '" + Utf8(L"论文管理明细") + "' AND TV_Name = '" +
                   Utf8(L"2021年度 \"内审\" 资料; 待归档") + "'"),
            "1");
}

}  // namespace
}  // namespace desktop::testing
