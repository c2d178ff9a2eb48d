#include "module/documents/copy_list_form.h"

#include "module/documents/main_form.h"
#include "module/framework/param_text.h"
#include "module/framework/row_param.h"
#include "module/service_calls/result_check.h"
#include "module/service_calls/sql_text.h"
#include "module/service_calls/vexa_coms.h"
#include "runtime/ole/automation.h"
#include "runtime/services/basic_service.h"
#include "runtime/services/common_service.h"
#include "runtime/services/data_service.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/text/gbk.h"

namespace labdocs {

using rt::gbk::Trim;

TfrmCopyList* frmCopyList = nullptr;

TfrmCopyList::TfrmCopyList(rt::TComponent* owner) : rt::TForm(owner) {
  PublishField("sfrmCopyList", sfrmCopyList);
  PublishField("lb1", lb1);
  PublishField("cbCopyList", cbCopyList);
  PublishField("tfdInterField", tfdInterField);
  PublishField("BtnSave", BtnSave);
  PublishField("BtnCancel", BtnCancel);
  PublishField("objDataCtrl", objDataCtrl);
  PublishField("Comcommon", Comcommon);
  PublishField("objBaseInfo", objBaseInfo);
  PublishField("cdsTemp", cdsTemp);
  PublishField("cdsTemp1", cdsTemp1);
  PublishMethod("FormShow", [this](rt::TObject* s) { FormShow(s); });
  PublishMethod("BtnSaveClick", [this](rt::TObject* s) { BtnSaveClick(s); });
  PublishMethod("BtnCancelClick", [this](rt::TObject* s) { BtnCancelClick(s); });
  PublishKeyMethod("cbCopyListKeyDown",
                   [this](rt::TObject* s, rt::Word& key, rt::TShiftState shift) { cbCopyListKeyDown(s, key, shift); });
}

TfrmCopyList::~TfrmCopyList() {
  // The module-wide reference never outlives the dialog it names.
  if (frmCopyList == this) frmCopyList = nullptr;
}

void TfrmCopyList::Create() { LoadLayout(ClassLayout()); }

// ---- lookups ----

std::string TfrmCopyList::GetParamValue(std::string_view key, std::string_view source) const {
  if (source.empty() || Trim(key).empty()) return {};
  return ParamTextValue(source, key);
}

std::string TfrmCopyList::GetRowParamText(rt::TClientDataSet& dataset) const { return RowParamText(dataset); }

std::string TfrmCopyList::GetRowParam(rt::TClientDataSet& dataset, std::string_view key) const {
  std::string row = GetRowParamText(dataset);
  return row.empty() ? std::string() : GetParamValue(key, row);
}

// ---- handlers ----

void TfrmCopyList::FormShow(rt::TObject*) {
  // The categories are the nodes under the documents root that belong to
  // the user's subsystem, without the one that holds the first selected
  // directory.
  rt::OleVariant roots;
  OleCheck(objDataCtrl->OpenSQL("Select TV_ID From Pacs_MMCTreeViewConfig where TV_Name='文档管理'", roots.Ptr()));
  cdsTemp->SetData(roots.Get());
  std::string root;
  if (!cdsTemp->IsEmpty()) root = cdsTemp->FieldByName("TV_ID").AsString();

  std::string sys_code;
  OleCheck(objBaseInfo->GetSysCode(&sys_code));
  const std::string query = "select TV_Name as Code,TV_Name as DispName from Pacs_MMCTreeViewConfig where Parent='" +
                            QuoteEscaped(root) + "' and SubSysCode= '" + QuoteEscaped(sys_code) + "'" +
                            " and TV_Name <> (Select DocType From LAB_List where TV_ID='" +
                            QuoteEscaped(GetRowParam(*cdsTemp1, "TV_ID")) + "')";
  cbCopyList->GetSQLList().SetText(query);
  int filled = 0;
  OleCheck(objDataCtrl->InitControls(cbCopyList, &filled));

  sfrmCopyList->SetUIStyle(rt::OleValueToInt(BaseInfoObject().GetProperty("DisplayStyle", {})));
}

std::string TfrmCopyList::ChosenCategory() const { return std::string(Trim(cbCopyList->Value())); }

void TfrmCopyList::SetField(const std::string& name, std::string value) {
  tfdInterField->SetValues(tfdInterField->GetFFieldName().IndexOf(name), std::move(value));
}

void TfrmCopyList::BtnSaveClick(rt::TObject*) {
  // The target must be a node of the view tree, wherever it stands.
  int exists = 0;
  OleCheck(objDataCtrl->RecordExists("Pacs_MMCTreeViewConfig", "TV_Name ='" + QuoteEscaped(ChosenCategory()) + "'",
                                     &exists));
  if (exists != 1) {
    OleCheck(Comcommon->Prompt("不能复制到此目录！"));
    return;
  }

  // A dataset that holds no data has no rows to copy.
  if (cdsTemp1->Active()) {
    for (cdsTemp1->First(); !cdsTemp1->Eof(); cdsTemp1->Next()) {
      CopyListName = GetRowParam(*cdsTemp1, "DISP_名称");
      // The next key is read for every row, after the rows inserted before,
      // and taken in the same transaction as its row: another workstation
      // copying at the same time waits instead of reading the same key.
      OleCheck(objDataCtrl->BeginTrans());
      try {
        int id = 0;
        OleCheck(objDataCtrl->GetMaxID("Select IsNull(Max(TV_ID),0)+1 From Lab_List", &id));
        SetField("TV_ID", std::to_string(id));
        SetField("TV_Name", CopyListName);
        SetField("DocType", ChosenCategory());
        int inserted = 0;
        OleCheck(objDataCtrl->SaveInsertListData(sfrmCopyList, "LAB_List", "", "", &inserted));
        OleCheck(objDataCtrl->CommitTrans());
      } catch (...) {
        objDataCtrl->RollbackTrans();
        throw;
      }
      // Closes the dialog only once this handler has returned.
      Close();
    }
  }
  OleCheck(Comcommon->Prompt("复制成功！"));
  CopyDone = true;
}

void TfrmCopyList::BtnCancelClick(rt::TObject*) { Close(); }

void TfrmCopyList::cbCopyListKeyDown(rt::TObject* sender, rt::Word& key, rt::TShiftState) {
  // The key is left as it is: the combo box handles Enter too.
  if (key == VK_RETURN) BtnSaveClick(sender);
}

}  // namespace labdocs
