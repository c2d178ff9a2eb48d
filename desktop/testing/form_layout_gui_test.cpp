// Every form of the documents view, shown by the desktop host, against its
// layout: the window's client size (or outer size, when the layout gives
// that), and each control's rectangle in its parent window. The layouts are
// the plug-in's own, read from its form classes.
#include "desktop/testing/gui_fixture.h"
#include "module/documents/copy_list_form.h"
#include "module/documents/main_form.h"
#include "module/documents/save_file_form.h"
#include "runtime/ui/layout.h"

namespace desktop::testing {
namespace {

template <class Form>
struct LayoutOf : Form {
  using Form::Form;
  using Form::ClassLayout;
};

template <class Form>
rt::Layout FormLayout() {
  LayoutOf<Form> form(nullptr);
  return form.ClassLayout();
}

// A property's last value in a list of settings (later ones win, as a
// subclass's changes do); -1 when it is not set.
int Setting(const std::vector<rt::Prop>& props, std::string_view name) {
  int value = -1;
  for (const rt::Prop& prop : props)
    if (prop.name == name)
      if (const auto* number = std::get_if<std::int64_t>(&prop.value)) value = static_cast<int>(*number);
  return value;
}

std::wstring WideName(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

class FormLayoutGuiTest : public DesktopTest {
 protected:
  // Compares the shown form with the layout; returns how many controls
  // were compared.
  int Compare(HWND form, const rt::Layout& layout) {
    RECT client{}, frame{};
    GetClientRect(form, &client);
    GetWindowRect(form, &frame);
    const int client_width = Setting(layout.FormProps(), "ClientWidth");
    if (client_width >= 0) {
      EXPECT_EQ(client.right, client_width);
      EXPECT_EQ(client.bottom, Setting(layout.FormProps(), "ClientHeight"));
    } else {
      EXPECT_EQ(frame.right - frame.left, Setting(layout.FormProps(), "Width"));
      EXPECT_EQ(frame.bottom - frame.top, Setting(layout.FormProps(), "Height"));
    }
    int compared = 0;
    for (const rt::ComponentDecl& decl : layout.Components()) {
      const int left = Setting(decl.props, "Left"), top = Setting(decl.props, "Top");
      const int width = Setting(decl.props, "Width"), height = Setting(decl.props, "Height");
      if (left < 0 || top < 0) continue;
      const HWND control = Host().FindControl(form, WideName(decl.name));
      if (!control) continue;  // holders of values show nothing
      RECT place{};
      GetWindowRect(control, &place);
      MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
      EXPECT_EQ(place.left, left) << decl.name;
      EXPECT_EQ(place.top, top) << decl.name;
      EXPECT_EQ(place.right - place.left, width) << decl.name;
      // A combo box's height is its font's; the layout's is the list's.
      if (decl.class_name.find("ComboBox") == std::string::npos) {
        EXPECT_EQ(place.bottom - place.top, height) << decl.name;
      }
      ++compared;
    }
    return compared;
  }
  void Cancel(HWND form) {
    Host().PressKey(form, VK_ESCAPE);
    Host().WaitNoForm();
  }
};

TEST_F(FormLayoutGuiTest, RecordFormsInNewAndPropertiesModeAndTheThesisForm) {
  const rt::Layout layout = FormLayout<labdocs::TfrmMain>();
  Host().OpenNode({L"文档管理", L"文档管理明细"});
  Host().SelectRows({0});
  Host().MenuKey();
  Host().PickMenuItem(0);
  HWND form = Host().WaitForm(L"实验文件属性 - 新增实验文件");
  EXPECT_GE(Compare(form, layout), 12);
  Cancel(form);

  Host().OpenNode({L"文档管理", L"文档管理明细", L"2019年度"});
  Host().SelectRows({0});
  Host().MenuKey();
  Host().PickMenuItem(3);
  form = Host().WaitForm(L"实验文件属性 - 1");
  EXPECT_GE(Compare(form, layout), 12);
  Cancel(form);

  Host().OpenNode({L"文档管理", L"论文管理明细"});
  Host().SelectRows({0});
  Host().MenuKey();
  Host().PickMenuItem(0);
  form = Host().WaitForm(L"");
  EXPECT_TRUE(IsWindowVisible(Host().Control(form, L"edFstAuthor")));
  EXPECT_GE(Compare(form, layout), 12);
  Screenshot(form, "desktop-thesis-form");
  Cancel(form);
}

TEST_F(FormLayoutGuiTest, CopyDialog) {
  Host().OpenNode({L"文档管理", L"文档管理明细"});
  Host().SelectRows({0});
  Host().MenuKey();
  Host().PickMenuItem(2);
  const HWND form = Host().WaitForm(L"复制目录");
  EXPECT_GE(Compare(form, FormLayout<labdocs::TfrmCopyList>()), 4);
  Host().Click(Host().Control(form, L"BtnCancel"));
  Host().WaitNoForm();
}

TEST_F(FormLayoutGuiTest, SaveToServerDialog) {
  // Revising hands the fetched copy to the program the system associates
  // with its type, then asks to store it back.
  Host().OpenNode({L"文档管理", L"质量管理明细", L"质量手册"});
  Host().SelectRows({0});
  Host().MenuKey();
  Host().PickMenuItem(4);
  const HWND form = Host().WaitForm(L"保存文件到服务器");
  EXPECT_GE(Compare(form, FormLayout<labdocs::TFrmSaveFile>()), 4);
  Screenshot(form, "desktop-save-to-server");
  Host().Click(Host().Control(form, L"BtnCancel"));
  Host().WaitNoForm();
}

}  // namespace
}  // namespace desktop::testing
