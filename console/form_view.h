// A shown form as the terminal presents it: its title, its labels, and its
// editable controls and buttons in tab order, each with the label that
// stands before it, its value, and a mark ('*') on the one that has the
// focus:
//
//   form: 实验文件属性 - 新增实验文件
//   * edFileName [edit] 文  件: ""
//     btnOpenFile [button]: ...
//     mmComment [memo] 描  述: "第一行\n第二行"
//     cbCopyList [combo] 将所选目录复制到： : "" (论文管理明细 | 质量管理明细)
//     btnSave [button, disabled]: 确定(&O)
//
// A list view shows its rows as the console's grid does, indented under its
// line, the selected row marked:
//
//     lvVersions [list]: 2 rows, row 1 selected
//         #  版本  存入时间             ...
//       * 1  2     2026-12-08 10:15:00  ...
//         2  1     2026-12-07 09:00:00  ...
//
// Labels that stand before no control are listed as "  text: ..." lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rt {
class TControl;
class TForm;
class TListView;
class TWinControl;
}  // namespace rt

namespace console {

struct FormControl {
  rt::TWinControl* control = nullptr;
  std::string kind;   // "edit", "memo", "combo", "list", "button" or "control"
  std::string label;  // GBK; empty when no label stands before it
  const rt::TControl* label_control = nullptr;
};

// The form's edits, memos, combo boxes and buttons that show, in tab
// order, each with its label.
std::vector<FormControl> FormControls(rt::TForm& form);

// The form's component of that name when it is a control; a CommandError
// when it has none.
rt::TControl& ControlNamed(rt::TForm& form, const std::string& name);

// The form's one list view that shows; a CommandError when it has none or
// several.
rt::TListView& FormList(rt::TForm& form);

// A text as the console quotes it, in the script's own quoting, so that it
// can be typed back: "a \"b\"\n" (UTF-8).
std::string QuoteText(std::string_view gbk);

// The lines of the whole form (UTF-8).
std::vector<std::string> RenderForm(rt::TForm& form);

}  // namespace console
