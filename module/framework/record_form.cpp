#include "module/framework/record_form.h"

#include "module/framework/param_text.h"
#include "module/framework/row_param.h"
#include "module/service_calls/result_check.h"
#include "runtime/data/client_dataset.h"
#include "runtime/services/basic_service.h"
#include "runtime/services/common_service.h"
#include "runtime/services/data_service.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/actions.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/image.h"

namespace labdocs {

using rt::gbk::Trim;

TfrmClsfrmConfig::TfrmClsfrmConfig(rt::TComponent* owner) : rt::TForm(owner) {
  PublishField("sfrmClsfrmConfig", sfrmClsfrmConfig);
  PublishField("btnSave", btnSave);
  PublishField("btnCancel", btnCancel);
  PublishField("cdsParams", cdsParams);
  PublishField("pmMenu", pmMenu);
  PublishField("objCommon", objCommon);
  PublishField("objBaseInfo", objBaseInfo);
  PublishField("objDataCtrl", objDataCtrl);
  PublishField("acMain", acMain);
  PublishField("acNew", acNew);
  PublishField("acProperties", acProperties);
  PublishField("acDelete", acDelete);
  PublishField("pcMain", pcMain);
  PublishField("tsNormal", tsNormal);
  PublishField("Bevel1", Bevel1);
  PublishField("Image1", Image1);
  PublishField("objSettings", objSettings);
  PublishField("OpenDialog", OpenDialog);
  PublishField("acOpenFile", acOpenFile);
  PublishField("acSaveAs", acSaveAs);
  PublishField("SaveDialog", SaveDialog);
  PublishField("actUpdateFile", actUpdateFile);

  PublishKeyMethod("FormKeyDown",
                   [this](rt::TObject* s, rt::Word& key, rt::TShiftState shift) { FormKeyDown(s, key, shift); });
  PublishMethod("btnCancelClick", [this](rt::TObject* s) { btnCancelClick(s); });
  PublishMethod("FormShow", [this](rt::TObject* s) { FormShow(s); });
  PublishMethod("FormCreate", [this](rt::TObject* s) { FormCreate(s); });
  PublishMethod("FormDestroy", [this](rt::TObject* s) { FormDestroy(s); });
  PublishMethod("DataChanged", [this](rt::TObject* s) { DataChanged(s); });
  PublishMethod("acNewExecute", [this](rt::TObject* s) { acNewExecute(s); });
  PublishMethod("acPropertiesExecute", [this](rt::TObject* s) { acPropertiesExecute(s); });
  PublishMethod("btnSaveClick", [this](rt::TObject* s) { btnSaveClick(s); });
  PublishMethod("acDeleteExecute", [this](rt::TObject* s) { acDeleteExecute(s); });
  PublishMethod("acOpenFileExecute", [this](rt::TObject* s) { acOpenFileExecute(s); });
  PublishMethod("acSaveAsExecute", [this](rt::TObject* s) { acSaveAsExecute(s); });
  PublishMessage(WM_GETMINMAXINFO, [this](rt::TMessage& m) { WMGetMinMaxInfo(m); });
}

TfrmClsfrmConfig::~TfrmClsfrmConfig() = default;

const rt::Layout& TfrmClsfrmConfig::LoadedLayout() {
  FLayout = ClassLayout();
  return FLayout;
}

void TfrmClsfrmConfig::Create(const std::string& param_text) {
  // The layout; with OldCreateOrder the creation handler runs inside.
  LoadLayout(LoadedLayout());
  int style = 0;
  OleCheck(objBaseInfo->GetDisplayStyle(&style));
  sfrmClsfrmConfig->SetUIStyle(style);
  FParamText = std::string(Trim(param_text));
  FResizable = false;
  FDataChanged = false;
  FListDeleted = false;
  FListCopied = false;
  FEditMode = kEditIdle;
  FKeyValues.clear();
  FModified = false;
}

std::int32_t TfrmClsfrmConfig::GetViewData(VARIANT*) { return 1; }

// ---- lookups ----

std::string TfrmClsfrmConfig::GetParamValue(std::string_view key, std::string_view source) const {
  if (Trim(key).empty()) return {};
  return ParamTextValue(source.empty() ? std::string_view(FParamText) : source, key);
}

std::string TfrmClsfrmConfig::GetRowParamText(rt::TClientDataSet& dataset) const { return RowParamText(dataset); }

std::string TfrmClsfrmConfig::GetRowParam(rt::TClientDataSet& dataset, std::string_view key) const {
  std::string row = GetRowParamText(dataset);
  return row.empty() ? std::string() : GetParamValue(key, row);
}

// ---- handlers ----

void TfrmClsfrmConfig::FormKeyDown(rt::TObject*, rt::Word& key, rt::TShiftState) {
  // Enter moves on like Tab, except on a button, which Enter presses.
  if (key == VK_RETURN && !dynamic_cast<rt::TsuiButton*>(ActiveControl()))
    rt::PostMessageA(Handle(), WM_KEYDOWN, VK_TAB, 0);
  if (key == VK_ESCAPE) btnCancelClick(this);
}

void TfrmClsfrmConfig::btnCancelClick(rt::TObject*) {
  FDataChanged = false;
  SetModalResult(rt::mrCancel);
}

void TfrmClsfrmConfig::WMGetMinMaxInfo(rt::TMessage& message) {
  if (FResizable || !Visible()) return;
  auto* info = reinterpret_cast<rt::MINMAXINFO*>(message.lparam);
  info->ptMaxSize = {Width(), Height()};
  info->ptMaxPosition = {Left(), Top()};
  info->ptMinTrackSize = {Width(), Height()};
  info->ptMaxTrackSize = {Width(), Height()};
}

void TfrmClsfrmConfig::FormShow(rt::TObject*) {
  std::string icon = GetParamValue("Icon");
  std::string base_dir;
  OleCheck(objBaseInfo->GetCurDir(&base_dir));
  // The base directory ends with a separator, so the join holds two in a
  // row, which the file system reads as one.
  std::string path = base_dir + "\\Configs\\MMCImages\\32×32\\" + icon;
  if (rt::FileExists(path)) Image1->LoadFromFile(path);
  if (FFocusEdit && FFocusEdit->CanFocus()) FFocusEdit->SetFocus();
}

void TfrmClsfrmConfig::DataChanged(rt::TObject*) { FModified = true; }

}  // namespace labdocs
