// Generic record editing: New and Properties show the form for a record of
// FTableName, OK writes it through the data service, Delete removes the
// selected records together with their stored documents.
#include <memory>
#include <utility>

#include "module/framework/param_text.h"
#include "module/framework/record_form.h"
#include "module/service_calls/result_check.h"
#include "module/service_calls/sql_text.h"
#include "runtime/services/common_service.h"
#include "runtime/services/data_service.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace labdocs {
namespace {

// Frees a component made without an owner when the command ends.
struct FreeComponent {
  void operator()(rt::TComponent* component) const { component->Free(); }
};

}  // namespace

std::vector<std::string> TfrmClsfrmConfig::KeyColumns() const {
  std::vector<std::string> columns;
  std::string rest = std::string(rt::gbk::Trim(FKeyFields)) + "||";
  for (std::size_t at; (at = rest.find("||")) != std::string::npos; rest.erase(0, at + 2))
    columns.push_back(rest.substr(0, at));
  return columns;
}

void TfrmClsfrmConfig::Refocus() {
  if (FFocusEdit && FFocusEdit->CanFocus()) FFocusEdit->SetFocus();
}

void TfrmClsfrmConfig::acNewExecute(rt::TObject*) {
  sfrmClsfrmConfig->SetCaption(FItemCaption + "属性 - 新增" + FItemCaption);
  FEditMode = kEditNew;
  ShowModal();
}

void TfrmClsfrmConfig::acPropertiesExecute(rt::TObject*) {
  const std::string row = GetRowParamText(*cdsParams);
  if (row.empty()) return;
  std::unique_ptr<rt::TVexaClientDataSet20, FreeComponent> record(new rt::TVexaClientDataSet20(nullptr));

  // The title names the record by the row's first display value.
  for (const std::string& item : SplitParamText(row)) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = item.substr(0, equals);
    if (rt::gbk::UpperCase(key.substr(0, 5)) != "DISP_") continue;
    const std::string value = GetParamValue(key, row);
    if (!value.empty()) sfrmClsfrmConfig->SetCaption(FItemCaption + "属性 - " + value);
    break;
  }

  std::string sql = FSelectSQL;
  if (sql.empty()) {
    std::string conditions;
    for (const std::string& column : KeyColumns())
      conditions += (conditions.empty() ? "" : " and ") + column + "='" +
                    QuoteEscaped(GetRowParam(*cdsParams, column)) + "'";
    sql = "Select * From " + FTableName + " Where " + conditions;
  }
  rt::OleVariant data;
  OleCheck(objDataCtrl->OpenSQL(sql, data.Ptr()));
  record->SetData(data.Get());
  if (record->IsEmpty()) {
    OleCheck(objCommon->Alert("该" + FItemCaption + "已经不存在！"));
    return;
  }
  int shown = 0;
  OleCheck(objDataCtrl->ListDataSetToControls(record.get(), pcMain, FTableName, 0, 1, &shown));

  std::string key_values;
  for (const std::string& column : KeyColumns())
    key_values += "||'" + QuoteEscaped(rt::gbk::Trim(record->FieldByName(column).AsString())) + "'";
  FKeyValues += key_values.substr(2);

  AfterRecordLoaded();
  FEditMode = kEditExisting;
  ShowModal();
}

void TfrmClsfrmConfig::btnSaveClick(rt::TObject*) {
  FSaveResult = kSaving;
  int empty_control = 0;
  OleCheck(objDataCtrl->NullControlExists(pcMain, &empty_control));
  if (empty_control != 0) return;
  if (CheckBeforeSave() < 0) return;

  int result = 0;
  bool written = false;
  switch (FEditMode) {
    case kEditNew:
      if (!FInsertSQL.empty()) {
        OleCheck(objDataCtrl->ExecSQL(FInsertSQL, &result));
        written = result >= 0;
        if (!written) FDataChanged = false;
      } else {
        OleCheck(objDataCtrl->SaveInsertListData(pcMain, FTableName, "", "", &result));
        written = result == 1;
      }
      break;
    case kEditExisting:
      if (!FUpdateSQL.empty()) {
        OleCheck(objDataCtrl->ExecSQL(FUpdateSQL, &result));
        written = result >= 0;
      } else {
        OleCheck(objDataCtrl->SaveUpdateListData(pcMain, FTableName, FKeyFields, FKeyValues, FKeyValues, &result));
        written = result == 1;
      }
      if (written) FDataChanged = true;
      break;
    default: SetModalResult(rt::mrOk); return;
  }
  if (!written) {
    Refocus();
    return;
  }
  FSaveResult = 0;
  SetModalResult(rt::mrOk);
}

void TfrmClsfrmConfig::acDeleteExecute(rt::TObject*) {
  FSaveResult = kSaving;
  const std::string statement = std::exchange(FDeleteSQL, std::string());
  int answer = 0;
  OleCheck(objCommon->Confirm("是否确实要删除选中的记录？", 2, &answer));
  if (answer != 1) return;

  // A record goes only after its document did, and both in one transaction:
  // when the record cannot be deleted, its document is not deleted either
  // (else the record would stay, its document gone).
  auto remove = [this](const std::string& sql, const std::string& doc_id) {
    const std::int32_t number = rt::StrToInt(doc_id);
    OleCheck(objDataCtrl->BeginTrans());
    int result = -1;
    try {
      if (DeleteDocument(number)) OleCheck(objDataCtrl->ExecSQL(sql, &result));
    } catch (...) {
      objDataCtrl->RollbackTrans();
      throw;
    }
    if (result < 0) {
      OleCheck(objDataCtrl->RollbackTrans());
      return;
    }
    OleCheck(objDataCtrl->CommitTrans());
    FSaveResult = 0;
    FDataChanged = true;
  };
  if (!statement.empty()) {
    remove(statement, GetRowParam(*cdsParams, "LABDOC_ID"));
    return;
  }
  if (!cdsParams->Active() || cdsParams->IsEmpty()) return;
  for (cdsParams->First(); !cdsParams->Eof(); cdsParams->Next()) {
    std::string conditions;
    for (const std::string& column : KeyColumns())
      conditions += (conditions.empty() ? "" : " and ") + column + "=" + BareInteger(GetRowParam(*cdsParams, column));
    remove("Delete From " + FTableName + " Where " + conditions, GetRowParam(*cdsParams, "LABDOC_ID"));
  }
}

}  // namespace labdocs
