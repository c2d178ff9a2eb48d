// The version history's layout: a skinned frame holding the document's
// name, what the store keeps, the list of versions and the four buttons.
#include "module/documents/version_history_form.h"

namespace labdocs {

using Names = std::vector<std::string>;

rt::Layout TfrmVersions::ClassLayout() const {
  rt::Layout layout;
  layout.Form({{"Name", "frmVersions"},
               {"Caption", "版本历史"},
               {"ClientWidth", 620},
               {"ClientHeight", 330},
               {"BorderStyle", "bsSingle"},
               {"Position", "poScreenCenter"}},
              {{"OnShow", "FormShow"}});

  // clang-format off
  layout.Add({"sfrmVersions", "TsuiForm", "",
              {{"Left", 0}, {"Top", 0}, {"Width", 620}, {"Height", 330},
               {"UIStyle", "GE"}, {"BorderColor", 6698536}, {"BorderWidth", 2}, {"Color", 14336442},
               {"TitleBarVisible", true}, {"TitleBarControlBox", true}, {"TitleBarCloseBtn", true},
               {"Caption", "版本历史"}, {"TitleFont.Color", "clWhite"}, {"TitleFont.Name", "Tahoma"},
               {"TitleFont.Style", Names{"fsBold"}}, {"MenuBarHeight", 22}},
              {}});
  layout.Add({"lbDocument", "TVexaLabel20", "sfrmVersions",
              {{"Caption", "文档"}, {"Left", 16}, {"Top", 34}, {"Width", 400}, {"Height", 13}}, {}});
  layout.Add({"lbKept", "TVexaLabel20", "sfrmVersions",
              {{"Caption", "保留全部版本"}, {"Left", 16}, {"Top", 54}, {"Width", 400}, {"Height", 13}}, {}});
  layout.Add({"lvVersions", "TListView", "sfrmVersions",
              {{"Left", 16}, {"Top", 74}, {"Width", 588}, {"Height", 206}, {"TabOrder", 0}}, {}});
  const auto button = [&](const char* name, const char* caption, int left, int order, const char* handler) {
    layout.Add({name, "TsuiButton", "sfrmVersions",
                {{"Caption", caption}, {"Left", left}, {"Top", 292}, {"Width", 100}, {"Height", 25},
                 {"TabOrder", order}, {"ModalResult", 0}},
                {{"OnClick", handler}}});
  };
  button("btnOpen", "打开(&O)", 16, 1, "btnOpenClick");
  button("btnSaveAs", "另存为(&S)...", 124, 2, "btnSaveAsClick");
  button("btnRestore", "恢复为当前(&R)", 232, 3, "btnRestoreClick");
  button("btnClose", "关闭", 504, 4, "btnCloseClick");
  // clang-format on
  return layout;
}

}  // namespace labdocs
