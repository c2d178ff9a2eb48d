// The copy-directory dialog's layout: a skinned frame holding the category
// combo box, the invisible holder of the copied row's values and the two
// buttons, with the host's services and two client datasets beside them.
#include "module/documents/copy_list_form.h"

namespace labdocs {

using Names = std::vector<std::string>;

rt::Layout TfrmCopyList::ClassLayout() const {
  rt::Layout layout;
  layout.Form({{"Name", "frmCopyList"},
               {"Caption", "复制目录"},
               {"ClientWidth", 338},
               {"ClientHeight", 136},
               {"BorderStyle", "bsSingle"},
               {"Position", "poScreenCenter"},
               {"Constraints.MinWidth", 100}},
              {{"OnShow", "FormShow"}});

  // clang-format off
  layout.Add({"sfrmCopyList", "TsuiForm", "",
              {{"Left", 2}, {"Top", 0}, {"Width", 334}, {"Height", 134},
               {"UIStyle", "GE"}, {"BorderColor", 6698536}, {"BorderWidth", 2}, {"Color", 14336442},
               {"TitleBarVisible", true}, {"TitleBarControlBox", true}, {"TitleBarCloseBtn", true},
               {"Caption", "复制目录"}, {"TitleFont.Color", "clWhite"}, {"TitleFont.Name", "Tahoma"},
               {"TitleFont.Style", Names{"fsBold"}}, {"MenuBarHeight", 22}},
              {}});
  layout.Add({"lb1", "TVexaLabel20", "sfrmCopyList",
              {{"Caption", "将所选目录复制到： "}, {"Left", 16}, {"Top", 47}, {"Width", 111}, {"Height", 13}}, {}});
  layout.Add({"cbCopyList", "TVexaComboBox20", "sfrmCopyList",
              {{"Left", 136}, {"Top", 43}, {"Width", 170}, {"Height", 22}, {"Color", 16249584}, {"TabOrder", 3},
               {"U_TableName", "LAB_List"}, {"U_FieldInter", "TV_Name"}, {"U_Strict", true}, {"U_Null", true},
               {"U_CanSave", false}, {"U_DropDownList", false}, {"U_MultSelect", false}, {"U_KeepValue", false},
               {"U_EnterList", false}, {"U_ShowErr", false}, {"U_Lines", 3}, {"U_Skin", "GE"}},
              {{"OnKeyDown", "cbCopyListKeyDown"}}});
  layout.Add({"tfdInterField", "TVexaField20", "sfrmCopyList",
              {{"Left", 16}, {"Top", 64}, {"Width", 30}, {"Height", 20},
               {"U_FieldNames", Names{"TV_ID", "TV_Name", "DocType"}}, {"U_TableName", "LAB_List"},
               {"U_CanSave", true}},
              {}});
  layout.Add({"BtnSave", "TsuiButton", "sfrmCopyList",
              {{"Caption", "确定"}, {"Left", 146}, {"Top", 83}, {"Width", 80}, {"Height", 25}, {"TabOrder", 1},
               {"ModalResult", 0}},
              {{"OnClick", "BtnSaveClick"}}});
  layout.Add({"BtnCancel", "TsuiButton", "sfrmCopyList",
              {{"Caption", "取消"}, {"Left", 235}, {"Top", 83}, {"Width", 72}, {"Height", 25}, {"TabOrder", 2},
               {"ModalResult", 0}},
              {{"OnClick", "BtnCancelClick"}}});

  layout.Add({"objDataCtrl", "TDataService20", "", {}, {}});
  layout.Add({"Comcommon", "TCommonService20", "", {}, {}});
  layout.Add({"objBaseInfo", "TBasicService20", "", {}, {}});
  const std::vector<rt::Prop> dataset = {
      {"U_ServerClassName", "Vexa.DataCtrl"}, {"U_OpenType", "otNormal"}, {"U_FetchDataMode", "fmAppend"}};
  layout.Add({"cdsTemp", "TVexaClientDataSet20", "", dataset, {}});
  layout.Add({"cdsTemp1", "TVexaClientDataSet20", "", dataset, {}});
  // clang-format on
  return layout;
}

}  // namespace labdocs
