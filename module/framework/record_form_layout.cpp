// The record form's layout: frame, buttons, the page that subclasses place
// their editing controls on, the selection dataset, the command menu, the
// host's service components, the actions and the file dialogs.
#include "module/framework/record_form.h"

namespace labdocs {

using Names = std::vector<std::string>;

rt::Layout TfrmClsfrmConfig::ClassLayout() const {
  rt::Layout layout;
  layout.Form(
      {{"Name", "frmClsfrmConfig"},
       {"Caption", "常规"},
       {"ClientWidth", 408},
       {"ClientHeight", 453},
       {"BorderStyle", "bsSingle"},
       {"BorderIcons", Names{"biSystemMenu", "biMinimize"}},
       {"Position", "poScreenCenter"},
       {"KeyPreview", true},
       {"OldCreateOrder", false},
       {"Constraints.MinWidth", 150},
       {"Font.Name", "宋体"},
       {"Font.Height", -12},
       {"Font.Charset", "GB2312_CHARSET"},
       {"Scaled", false}},
      {{"OnCreate", "FormCreate"}, {"OnDestroy", "FormDestroy"}, {"OnKeyDown", "FormKeyDown"}, {"OnShow", "FormShow"}});

  // clang-format off
  layout.Add({"sfrmClsfrmConfig", "TsuiForm", "",
              {{"Left", 3}, {"Top", 0}, {"Width", 402}, {"Height", 450},
               {"UIStyle", "WinXP"}, {"UIStyleAutoUpdateSub", true},
               {"BorderColor", 13118464}, {"BorderWidth", 3}, {"Color", 14609391},
               {"TitleBarVisible", true}, {"Caption", "常规"}, {"TitleBarControlBox", true},
               {"TitleBarCloseBtn", true}, {"TitleBarSections", 3}, {"TitleBarAppIcon", false},
               {"TitleFont.Color", "clWhite"}, {"TitleFont.Name", "宋体"},
               {"MenuBarColor", 14609391}, {"MenuBarHeight", 22}},
              {}});
  layout.Add({"btnSave", "TsuiButton", "sfrmClsfrmConfig",
              {{"Caption", "确定(&O)"}, {"Left", 239}, {"Top", 423}, {"Width", 73}, {"Height", 20},
               {"Anchors", Names{"akRight", "akBottom"}}, {"TabOrder", 1}, {"ModalResult", 0}},
              {{"OnClick", "btnSaveClick"}}});
  layout.Add({"btnCancel", "TsuiButton", "sfrmClsfrmConfig",
              {{"Caption", "取消(&C)"}, {"Left", 319}, {"Top", 423}, {"Width", 73}, {"Height", 20},
               {"Anchors", Names{"akRight", "akBottom"}}, {"TabOrder", 2}, {"ModalResult", 0}},
              {{"OnClick", "btnCancelClick"}}});
  layout.Add({"pcMain", "TsuiPageControl", "sfrmClsfrmConfig",
              {{"Left", 8}, {"Top", 34}, {"Width", 385}, {"Height", 382},
               {"Anchors", Names{"akLeft", "akTop", "akRight", "akBottom"}}, {"TabOrder", 3},
               {"Color", "clWhite"}, {"BorderColor", 6842472}, {"TabMarginLeft", 10}},
              {}});
  layout.Add({"tsNormal", "TsuiTabSheet", "", {{"PageControl", "pcMain"}, {"Caption", "常规  "}, {"Color", "clWhite"}}, {}});
  layout.Add({"Image1", "TImage", "tsNormal",
              {{"Left", 17}, {"Top", 17}, {"Width", 32}, {"Height", 32}, {"AutoSize", true}, {"Transparent", true}},
              {}});
  layout.Add({"Bevel1", "TBevel", "tsNormal",
              {{"Left", 17}, {"Top", 57}, {"Width", 356}, {"Height", 2}, {"Shape", "bsTopLine"},
               {"Anchors", Names{"akLeft", "akTop", "akRight"}}},
              {}});

  layout.Add({"cdsParams", "TVexaClientDataSet20", "",
              {{"U_ServerClassName", "Vexa.DataCtrl"}, {"U_OpenType", "otNormal"}, {"U_FetchDataMode", "fmAppend"}},
              {}});
  layout.Add({"pmMenu", "TsuiPopupMenu", "", {}, {}});
  layout.Add({"objCommon", "TCommonService20", "", {}, {}});
  layout.Add({"objBaseInfo", "TBasicService20", "", {}, {}});
  layout.Add({"objDataCtrl", "TDataService20", "", {}, {}});
  layout.Add({"objSettings", "TSettingsService20", "", {}, {}});

  layout.Add({"acMain", "TActionList", "", {}, {}});
  layout.Add({"acNew", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "新增..."}},
              {{"OnExecute", "acNewExecute"}}});
  layout.Add({"acProperties", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "属性"}},
              {{"OnExecute", "acPropertiesExecute"}}});
  layout.Add({"acDelete", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "删除"}},
              {{"OnExecute", "acDeleteExecute"}}});
  layout.Add({"acOpenFile", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "打开"}},
              {{"OnExecute", "acOpenFileExecute"}}});
  layout.Add({"acSaveAs", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "另存为"}},
              {{"OnExecute", "acSaveAsExecute"}}});
  layout.Add({"actUpdateFile", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "修改文档"}}, {}});

  layout.Add({"OpenDialog", "TOpenDialog", "",
              {{"Options", Names{"ofHideReadOnly", "ofFileMustExist", "ofEnableSizing"}}}, {}});
  layout.Add({"SaveDialog", "TSaveDialog", "",
              {{"Options", Names{"ofOverwritePrompt", "ofHideReadOnly", "ofPathMustExist", "ofEnableSizing"}},
               {"Title", "文档另存为"}},
              {}});
  // clang-format on
  return layout;
}

}  // namespace labdocs
