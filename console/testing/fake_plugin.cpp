// A stand-in view plug-in for the console's tests: it exports the three
// functions of a view plug-in and answers in a fixed, known way, so that
// the console's side of each call can be checked without the real plug-in.
//
//   InitViewData   three rows whose last display column echoes the params;
//                  names and descriptions with blanks, quotes, ';', line
//                  breaks and a GBK character whose second byte is '\'.
//   InitRightMenu  tells the kind and the params it was given, and adds a
//                  fixed set of items (visible, hidden, default, disabled, a
//                  separator, a sub-menu), and "miStale" when the host's
//                  menu was not empty.
//   ExecuteMenu    miShow (shows the params and each row's first column),
//                  miForm (a modal form), miAsk (a question and both file
//                  dialogs), miFail (fails), miRecords / miDeleted / miCopied
//                  (MenuStatus 2 / 3 / 4; miDeleted deletes the selected
//                  directories' Lab_List rows).
// The environment variable FAKE_PLUGIN_FAIL names an export that fails.
#include <cstdlib>
#include <cstring>
#include <string>

#include "hostcore/testing/menu_item.h"
#include "runtime/data/packet.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/ole/error_info.h"
#include "runtime/services/plugin_abi.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/ui/application.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/form.h"
#include "runtime/ui/menus.h"
#include "runtime/ui/stdctrls.h"

namespace {

bool Fails(const char* function) {
  const char* failing = std::getenv("FAKE_PLUGIN_FAIL");
  return failing && std::strcmp(failing, function) == 0;
}

template <class Work>
HRESULT Guard(const char* function, Work&& work) noexcept {
  if (Fails(function)) {
    rt::SetErrorInfo(std::string(function) + " failed on purpose");
    return E_FAIL;
  }
  return rt::GuardedCall(std::forward<Work>(work));
}

class TFakeForm : public rt::TForm {
 public:
  RT_COMPONENT_CLASS(TFakeForm)
  explicit TFakeForm(rt::TComponent* owner) : rt::TForm(owner) {
    PublishField("edName", edName);
    PublishField("mmNote", mmNote);
    PublishField("cbKind", cbKind);
    PublishKeyMethod("FormKeyDown", [this](rt::TObject*, rt::Word& key, rt::TShiftState) {
      if (key == VK_RETURN && !dynamic_cast<rt::TButton*>(ActiveControl()))
        rt::PostMessageA(Handle(), WM_KEYDOWN, VK_TAB, 0);
      if (key == VK_ESCAPE) SetModalResult(rt::mrCancel);
    });
    PublishMethod("btnBoomClick", [](rt::TObject*) { throw rt::Exception("按钮出错了"); });
  }

  void Create() {
    using P = std::int64_t;
    rt::Layout layout;
    layout.Form({{"Name", std::string("frmFake")}, {"Caption", std::string("假表单窗口")}, {"KeyPreview", true}},
                {{"OnKeyDown", "FormKeyDown"}});
    // clang-format off
    layout.Add({"sfrmFake", "TsuiForm", "", {{"Caption", std::string("假表单")}, {"Width", P{300}}, {"Height", P{200}}}, {}});
    layout.Add({"lbName", "TLabel", "sfrmFake",
                {{"Caption", std::string("名  称")}, {"Left", P{10}}, {"Top", P{12}}, {"Width", P{40}}, {"Height", P{12}}}, {}});
    layout.Add({"edName", "TEdit", "sfrmFake",
                {{"Left", P{60}}, {"Top", P{8}}, {"Width", P{200}}, {"Height", P{21}}, {"TabOrder", P{0}}}, {}});
    layout.Add({"lbNote", "TLabel", "sfrmFake",
                {{"Caption", std::string("备  注")}, {"Left", P{10}}, {"Top", P{40}}, {"Width", P{40}}, {"Height", P{12}}}, {}});
    layout.Add({"mmNote", "TMemo", "sfrmFake",
                {{"Left", P{60}}, {"Top", P{36}}, {"Width", P{200}}, {"Height", P{60}}, {"TabOrder", P{1}}}, {}});
    layout.Add({"cbKind", "TComboBox", "sfrmFake",
                {{"Left", P{60}}, {"Top", P{100}}, {"Width", P{200}}, {"Height", P{21}}, {"TabOrder", P{2}}}, {}});
    layout.Add({"lbWarning", "TLabel", "sfrmFake",
                {{"Caption", std::string("请先保存")}, {"Left", P{10}}, {"Top", P{130}}, {"Width", P{200}}, {"Height", P{12}}}, {}});
    layout.Add({"edHidden", "TEdit", "sfrmFake", {{"Visible", false}, {"TabOrder", P{3}}}, {}});
    layout.Add({"btnBoom", "TButton", "sfrmFake",
                {{"Caption", std::string("出错")}, {"Top", P{160}}, {"TabOrder", P{4}}}, {{"OnClick", "btnBoomClick"}}});
    layout.Add({"btnOk", "TButton", "sfrmFake",
                {{"Caption", std::string("确定")}, {"Top", P{160}}, {"TabOrder", P{5}}, {"ModalResult", P{1}}}, {}});
    layout.Add({"btnCancel", "TButton", "sfrmFake",
                {{"Caption", std::string("取消")}, {"Top", P{160}}, {"TabOrder", P{6}}, {"ModalResult", P{2}}}, {}});
    // clang-format on
    LoadLayout(layout);
    cbKind->Items().Add("普通");
    cbKind->Items().Add("重要");
  }

  rt::TEdit* edName = nullptr;
  rt::TMemo* mmNote = nullptr;
  rt::TComboBox* cbKind = nullptr;
};

void Tell(const std::string& text) { rt::Application().GetPresenter().ShowMessage(rt::MessageKind::Information, text); }

std::int32_t RunCommand(const std::string& params, const rt::RowSet& selection, const std::string& name) {
  if (name == "miShow") {
    Tell("params: " + params);
    for (const auto& row : selection.rows) Tell("row: " + rt::ValueToText(row.at(0)));
    return 0;
  }
  if (name == "miForm") {
    auto* form = rt::CreateForm<TFakeForm>(&rt::Application());
    struct Freer {
      rt::TForm* form;
      ~Freer() { form->Free(); }
    } freer{form};
    const int result = form->ShowModal();
    Tell("result " + std::to_string(result) + ": " + form->edName->Text() + " / " + form->mmNote->Text() + " / " +
         form->cbKind->Text());
    return result == rt::mrOk ? 2 : 0;
  }
  if (name == "miAsk") {
    const int answer = rt::Application().GetPresenter().Confirm("继续吗？\r\n第二行", 1);
    Tell("answer " + std::to_string(answer));
    rt::TOpenDialog open(nullptr);
    open.Options = {"ofFileMustExist"};
    Tell(open.Execute() ? "open: " + open.FileName : std::string("open cancelled"));
    rt::TSaveDialog save(nullptr);
    save.Title = "另存为";
    save.Filter = "文本(*.txt)|*.txt";
    save.DefaultExt = ".txt";
    save.FileName = "报告 1.txt";
    save.Options = {"ofOverwritePrompt", "ofPathMustExist"};
    Tell(save.Execute() ? "save: " + save.FileName : std::string("save cancelled"));
    return 0;
  }
  if (name == "miFail") throw rt::Exception("命令失败");
  if (name == "miRecords") return 2;
  if (name == "miDeleted") {
    for (const auto& row : selection.rows)
      rt::CurrentDataSession().ExecuteBound("DELETE FROM Lab_List WHERE TV_ID=?", {row.at(1)});
    return 3;
  }
  if (name == "miCopied") return 4;
  return 1;
}

}  // namespace

extern "C" {

HRESULT WINAPI InitViewData(const char* params, VARIANT* data, std::int32_t* result) {
  *result = 1;
  return Guard("InitViewData", [&] {
    rt::RowSet rows;
    rows.fields = {{"ID", rt::FieldType::Integer},
                   {"LABDOC_ID", rt::FieldType::Integer},
                   {"DISP_名称", rt::FieldType::Text},
                   {"DISP_描述", rt::FieldType::Text},
                   {"DISP_参数", rt::FieldType::Text}};
    rows.rows = {{std::int64_t{1}, std::int64_t{11}, std::string("甲.txt"), std::string("普通"), std::string(params)},
                 {std::int64_t{2}, std::int64_t{12}, std::string("仪器 校准 记录.csv"),
                  std::string("第 2 版; 含\"附录 A\""), std::string(params)},
                 {std::int64_t{3}, std::int64_t{13}, std::string("表\\碶.txt"), std::string("多行\r\n描述"),
                  std::string(params)}};
    rt::PacketToVariant(rows, data);
    *result = 0;
  });
}

HRESULT WINAPI InitRightMenu(const char* params, std::int32_t menu_kind, rt::TsuiPopupMenu* host_menu,
                             std::int32_t* result) {
  *result = 1;
  return Guard("InitRightMenu", [&] {
    rt::TMenuItem* root = host_menu->Items();
    Tell("menu kind " + std::to_string(menu_kind) + ": " + params);
    if (root->Count() != 0) hostcore::testing::Add(root, "miStale", "菜单不是新的");
    hostcore::testing::Add(root, "miShow", "显示参数");
    hostcore::testing::Add(root, "miHidden", "隐藏的命令", false);
    hostcore::testing::Add(root, "miForm", "编辑...")->SetDefault(true);
    hostcore::testing::Add(root, "N1", "-");
    rt::TMenuItem* sub = hostcore::testing::Add(root, "miSub", "更多");
    hostcore::testing::Add(sub, "miChild", "子命令");
    hostcore::testing::Add(sub, "miHiddenChild", "隐藏的子命令", false);
    hostcore::testing::Add(root, "miOff", "停用的命令")->SetEnabled(false);
    host_menu->MenuAdded();
    *result = 0;
  });
}

HRESULT WINAPI ExecuteMenu(const char* params, VARIANT data, const char* menu_name, std::int32_t* result) {
  *result = 1;
  return Guard("ExecuteMenu", [&] {
    const rt::RowSet selection = rt::VariantToPacket(data);
    *result = RunCommand(params, selection, menu_name);
  });
}

}  // extern "C"
