// Keys: a session by keyboard alone (adding a document, revising it through
// the program its type opens with, the recording opener, and deleting it),
// with keys and typed characters sent only to the window that has the
// focus, as a keyboard sends them; the default item run by Enter.
#include <chrono>
#include <fstream>
#include <thread>

#include "desktop/testing/gui_fixture.h"

namespace desktop::testing {
namespace {

class KeyboardGuiTest : public DesktopTest {
 protected:
  // Waits until the recording opener has written what it was given.
  std::vector<std::filesystem::path> WaitOpened() {
    std::vector<std::filesystem::path> opened;
    for (int i = 0; i < 200 && opened.empty(); ++i) {
      ::Sleep(50);
      opened = OpenedFiles();
    }
    return opened;
  }
};

TEST_F(KeyboardGuiTest, AddsRevisesAndDeletesADocumentWithoutTheMouse) {
  const std::wstring name = L"淺析 键盘; 记录.txt";
  const std::filesystem::path file = MakeFile(name, "first\r\n");
  const std::string utf8_name = Utf8(name);

  // The tree has the focus: the category, then its first directory's row.
  Host().Key(VK_HOME);
  Host().Key(VK_DOWN);
  ASSERT_EQ(Host().Text(Host().Main()), L"labdocs - 文档管理/文档管理明细");
  Host().Key(VK_TAB);
  Host().Key(VK_HOME);
  ASSERT_EQ(Host().Cell(0, 0), L"2019年度");
  Host().Key(VK_APPS);
  Host().PickMenuItem(0);  // 新增文档...
  const HWND form = Host().WaitForm(L"实验文件属性 - 新增实验文件");
  EXPECT_EQ(Host().Focused(), Host().Control(form, L"edFileName"));
  Host().Key(VK_TAB);
  EXPECT_EQ(Host().Focused(), Host().Control(form, L"btnOpenFile"));
  Host().Key(VK_RETURN);
  const HWND dialog = Host().WaitDialog();
  Host().TypeKeys(file.wstring());
  Host().Key(VK_RETURN);
  Host().WaitClosed(dialog);
  EXPECT_EQ(Host().Text(Host().Control(form, L"edFileName")), file.wstring());
  Host().Key(VK_TAB);
  EXPECT_EQ(Host().Focused(), Host().Control(form, L"mmComment"));
  Host().TypeKeys(L"键盘\\录入");
  Host().Key(VK_TAB);
  EXPECT_EQ(Host().Focused(), Host().Control(form, L"btnSave"));
  Host().Key(VK_RETURN);
  Host().WaitNoForm();
  EXPECT_EQ(Scalar("SELECT d.DESCS FROM RIS_DOC d JOIN DB_FILE_STORAGE s ON s.LABDOC_ID = d.LABDOC_ID"
                   " WHERE s.FILE_NAME = '" +
                   utf8_name + "' AND d.DocType = '1'"),
            Utf8(L"键盘\\录入"));
  EXPECT_EQ(StoredContent(utf8_name), "first\r\n");

  // Back to the tree, down to the directory, the new row is the last.
  Host().Key(VK_TAB);
  Host().Key(VK_DOWN);
  ASSERT_EQ(Host().Text(Host().Main()), L"labdocs - 文档管理/文档管理明细/2019年度");
  Host().Key(VK_TAB);
  Host().Key(VK_END);
  ASSERT_EQ(Host().RowCount(), 3);
  Host().Key(VK_APPS);
  Host().PickMenuItem(4);  // 修改文档
  const HWND save = Host().WaitForm(L"保存文件到服务器");
  // The fetched copy went to the document cache (and from there to the
  // program, checked at the end).
  const std::filesystem::path cached = Home() / "DocCache" / name;
  ASSERT_TRUE(std::filesystem::exists(cached));
  // The person edits the file in its program and saves it there.
  std::ofstream(cached, std::ios::binary) << "revised\r\n";
  if (Host().Focused() != Host().Control(save, L"BtnSave")) Host().Key(VK_TAB);
  EXPECT_EQ(Host().Focused(), Host().Control(save, L"BtnSave"));
  Host().Key(VK_RETURN);
  Host().WaitNoForm();
  EXPECT_EQ(StoredContent(utf8_name), "revised\r\n");

  // Delete: the question's default answer is yes. The list was read again
  // after the confirmed form: the row is selected anew.
  Host().Settle();
  Host().Key(VK_END);
  Host().Key(VK_APPS);
  Host().PickMenuItem(0);  // 删除文档
  const HWND question = Host().WaitDialog();
  EXPECT_NE(Host().DialogText(question).find(L"是否确实要删除选中的记录？"), std::wstring::npos);
  Host().Key(VK_RETURN);
  Host().WaitClosed(question);
  EXPECT_EQ(Host().RowCount(), 2);
  EXPECT_EQ(Scalar("SELECT count(*) FROM DB_FILE_STORAGE WHERE FILE_NAME = '" + utf8_name + "'"), "0");

  // Under Wine the opener's write shows only once the host has ended.
  EXPECT_EQ(Host().Close(), 0u);
  const std::vector<std::filesystem::path> opened = WaitOpened();
  ASSERT_EQ(opened.size(), 1u) << "the program of the document's type was not started once";
  EXPECT_EQ(opened[0].filename().wstring(), name);
}

// The default item runs without its menu: Enter on a document's row opens
// it with the program of its type; a double-click on a directory's row in
// its category opens the directory.
TEST_F(KeyboardGuiTest, EnterRunsTheDefaultItemAndADoubleClickOpensADirectory) {
  Host().OpenNode({L"文档管理", L"质量管理明细"});
  Host().DoubleClickRow(0);
  ASSERT_EQ(Host().Text(Host().Main()), L"labdocs - 文档管理/质量管理明细/质量手册");
  Host().SelectRows({0});
  if (Host().Focused() != Host().List()) Host().Key(VK_TAB);  // from the tree to the list
  ASSERT_EQ(Host().Focused(), Host().List());
  Host().Key(VK_RETURN);
  EXPECT_EQ(Host().Close(), 0u);
  const std::vector<std::filesystem::path> opened = WaitOpened();
  ASSERT_EQ(opened.size(), 1u) << "the default item did not open the document";
  EXPECT_EQ(opened[0].filename().wstring(), L"质量手册第三版.txt");
  EXPECT_EQ(opened[0].parent_path().filename().wstring(), L"DocCache");
}

}  // namespace
}  // namespace desktop::testing
