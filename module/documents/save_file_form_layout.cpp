// The save-to-server dialog's layout: a skinned frame with the warning and
// the two buttons, each closing the dialog with its modal result.
#include "module/documents/save_file_form.h"

namespace labdocs {

using Names = std::vector<std::string>;

rt::Layout TFrmSaveFile::ClassLayout() const {
  rt::Layout layout;
  // Outer size 343 x 148 (client area 335 x 121) at the designed place; the
  // border stays sizeable.
  layout.Form({{"Name", "FrmSaveFile"},
               {"Caption", "保存文件到服务器"},
               {"Left", 312},
               {"Top", 374},
               {"Width", 343},
               {"Height", 148},
               {"Constraints.MinWidth", 100}});
  // clang-format off
  layout.Add({"sfrmCopyList", "TsuiForm", "",
              {{"Left", 2}, {"Top", 0}, {"Width", 331}, {"Height", 119},
               {"UIStyle", "GE"}, {"BorderColor", 6698536}, {"BorderWidth", 2}, {"Color", 14336442},
               {"TitleBarVisible", true}, {"TitleBarControlBox", true}, {"TitleBarCloseBtn", true},
               {"Caption", "保存文件到服务器"},
               {"TitleFont.Color", "clWhite"}, {"TitleFont.Name", "Tahoma"}, {"TitleFont.Style", Names{"fsBold"}},
               {"MenuBarHeight", 22}},
              {}});
  layout.Add({"VexaLabel201", "TVexaLabel20", "sfrmCopyList",
              {{"Caption", "保存前请确认已经将打开的本地文件保存并关闭"},
               {"Left", 8}, {"Top", 48}, {"Width", 315}, {"Height", 15},
               {"Font.Color", "clRed"}, {"Font.Name", "宋体"}, {"Font.Charset", "GB2312_CHARSET"},
               {"Font.Height", -15}},
              {}});
  layout.Add({"BtnSave", "TsuiButton", "sfrmCopyList",
              {{"Caption", "保存"}, {"Left", 34}, {"Top", 83}, {"Width", 80}, {"Height", 25}, {"TabOrder", 1},
               {"ModalResult", 1}},
              {}});
  layout.Add({"BtnCancel", "TsuiButton", "sfrmCopyList",
              {{"Caption", "取消"}, {"Left", 195}, {"Top", 83}, {"Width", 72}, {"Height", 25}, {"TabOrder", 2},
               {"ModalResult", 2}},
              {}});
  // clang-format on
  return layout;
}

}  // namespace labdocs
