// The documents view's layout: the base form's, with the document's editing
// controls on the page and the view's commands in the menu.
#include "module/documents/main_form.h"

#include <typeinfo>

namespace labdocs {

using Names = std::vector<std::string>;

rt::Layout TfrmMain::ClassLayout() const {
  rt::Layout layout = TfrmClsfrmConfig::ClassLayout();
  layout.Form({{"Name", "frmMain"}, {"Caption", "实验室文件"}, {"OldCreateOrder", true}});

  const std::vector<rt::Prop> text_field = {{"U_DataType", "tdString"}, {"U_Null", true}, {"U_CanSave", true}};
  auto with = [](std::vector<rt::Prop> props, const std::vector<rt::Prop>& more) {
    props.insert(props.end(), more.begin(), more.end());
    return props;
  };
  // clang-format off
  layout.Add({"edFstAuthor", "TVexaEdit20", "tsNormal",
              with({{"Left", 144}, {"Top", 8}, {"Width", 197}, {"Height", 21}, {"TabOrder", 0},
                    {"Font.Style", Names{"fsBold"}}, {"Visible", false}},
                   text_field),
              {}});
  layout.Add({"edAuthors", "TVexaEdit20", "tsNormal",
              with({{"Left", 144}, {"Top", 32}, {"Width", 197}, {"Height", 21}, {"TabOrder", 1}, {"Visible", false}},
                   text_field),
              {}});
  layout.Add({"edFileName", "TVexaEdit20", "tsNormal",
              with({{"Left", 64}, {"Top", 72}, {"Width", 276}, {"Height", 21}, {"TabOrder", 2}}, text_field), {}});
  layout.Add({"btnOpenFile", "TsuiButton", "tsNormal",
              {{"Caption", "..."}, {"Left", 348}, {"Top", 74}, {"Width", 26}, {"Height", 17}, {"TabOrder", 3}},
              {{"OnClick", "btnOpenFileClick"}}});
  layout.Add({"mmComment", "TVexaMemo20", "tsNormal",
              {{"Left", 64}, {"Top", 120}, {"Width", 278}, {"Height", 216}, {"TabOrder", 4}, {"U_Null", true},
               {"U_CanSave", true}, {"U_TableName", "Lab_Doc"}, {"U_FieldName", "COMMENT"}},
              {}});
  layout.Add({"VexaLabel201", "TVexaLabel20", "tsNormal",
              {{"Caption", "文  件"}, {"Left", 20}, {"Top", 76}, {"Width", 36}, {"Height", 12}}, {}});
  layout.Add({"VexaLabel202", "TVexaLabel20", "tsNormal",
              {{"Caption", "描  述"}, {"Left", 20}, {"Top", 120}, {"Width", 36}, {"Height", 12}}, {}});
  layout.Add({"lbFstAuthor", "TVexaLabel20", "tsNormal",
              {{"Caption", "第一作者"}, {"Left", 80}, {"Top", 12}, {"Width", 52}, {"Height", 12},
               {"Font.Style", Names{"fsBold"}}, {"Visible", false}},
              {}});
  layout.Add({"lbAuthors", "TVexaLabel20", "tsNormal",
              {{"Caption", "其他作者"}, {"Left", 79}, {"Top", 36}, {"Width", 48}, {"Height", 12}, {"Visible", false}},
              {}});
  layout.Add({"tfInterField", "TVexaField20", "tsNormal",
              {{"Left", 344}, {"Top", 337}, {"Width", 30}, {"Height", 20},
               {"U_FieldNames", Names{"ID", "LABDOC_ID", "UserId"}}, {"U_TableName", "Lab_Doc"}, {"U_CanSave", true}},
              {}});
  layout.Add({"cdsTmp", "TVexaClientDataSet20", "",
              {{"U_ServerClassName", "Vexa.DataCtrl"}, {"U_OpenType", "otNormal"}, {"U_FetchDataMode", "fmAppend"}},
              {}});

  layout.Add({"acCopyList", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "复制目录"}},
              {{"OnExecute", "acCopyListExecute"}}});

  layout.Add({"miNew", "TMenuItem", "pmMenu", {{"Caption", "新增文档..."}, {"Action", "acNew"}}, {}});
  layout.Add({"miDelete", "TMenuItem", "pmMenu", {{"Caption", "删除文档"}, {"Action", "acDelete"}}, {}});
  layout.Add({"miOpenFile", "TMenuItem", "pmMenu",
              {{"Caption", "打开文档"}, {"Action", "acOpenFile"}, {"Default", true}}, {}});
  layout.Add({"miSaveAs", "TMenuItem", "pmMenu", {{"Caption", "另存为"}, {"Action", "acSaveAs"}}, {}});
  layout.Add({"N1", "TMenuItem", "pmMenu", {{"Caption", "-"}}, {}});
  layout.Add({"miProperties", "TMenuItem", "pmMenu", {{"Caption", "属性"}, {"Action", "acProperties"}}, {}});
  layout.Add({"miDeleteList", "TMenuItem", "pmMenu", {{"Caption", "删除目录"}}, {{"OnClick", "miDeleteListClick"}}});
  layout.Add({"miCopyList", "TMenuItem", "pmMenu", {{"Caption", "复制目录"}, {"Action", "acCopyList"}}, {}});
  layout.Add({"N2", "TMenuItem", "pmMenu", {{"Caption", "修改文档"}, {"Action", "actUpdateFile"}}, {}});
  layout.Change("actUpdateFile", {}, {{"OnExecute", "ActUpdateFileExecute"}});
  layout.Add({"acVersions", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "版本历史..."}},
              {{"OnExecute", "acVersionsExecute"}}});
  layout.Add({"miVersions", "TMenuItem", "pmMenu", {{"Caption", "版本历史..."}, {"Action", "acVersions"}}, {}});
  // clang-format on
  return layout;
}

const rt::Layout& TfrmMain::LoadedLayout() {
  // The view's layout is the class's alone; a subclass may build its own.
  if (typeid(*this) != typeid(TfrmMain)) return TfrmClsfrmConfig::LoadedLayout();
  static const rt::Layout layout = ClassLayout();
  return layout;
}

}  // namespace labdocs
