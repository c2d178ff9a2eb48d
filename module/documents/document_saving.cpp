// The documents view's share of adding and editing a document: a new
// document's file goes into the store and its audit row is written before
// the record is inserted; an edited document's audit row is stamped with
// the current workstation, user and time before the record is updated.
#include <functional>

#include "module/documents/main_form.h"
#include "module/service_calls/result_check.h"
#include "module/service_calls/sql_text.h"
#include "runtime/services/basic_service.h"
#include "runtime/services/common_service.h"
#include "runtime/services/data_service.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/dialogs.h"

namespace labdocs {
namespace {

// The workstation, user id and user name, read in this order.
struct Stamp {
  std::string host, user_id, user_name;
};

Stamp ReadStamp(rt::TBasicService20& environment) {
  Stamp stamp;
  OleCheck(environment.GetComputerName(&stamp.host));
  OleCheck(environment.GetUserID(&stamp.user_id));
  OleCheck(environment.GetUserName(&stamp.user_name));
  return stamp;
}

}  // namespace

void TfrmMain::btnSaveClick(rt::TObject* sender) {
  const std::string file_name(rt::gbk::Trim(edFileName->Text()));
  if (file_name.empty()) {
    if (edFileName->CanFocus()) edFileName->SetFocus();
    OleCheck(objCommon->Alert("文件名称不能为空，请输入！"));
    return;
  }
  if (FEditMode == kEditNew) {
    // A document needs a directory: one without would be listed nowhere.
    // (The directory comes from the last menu opened on a directory's or a
    // document's row; a menu opened on no row names none.)
    if (rt::gbk::Trim(FDocType).empty()) {
      OleCheck(objCommon->Alert("没有选定文档目录，文档没有添加！请在文档目录或文档上打开菜单新增文档。"));
      return;
    }
    if (!rt::FileExists(file_name)) {
      OleCheck(objCommon->Alert("文件 " + file_name + " 不存在，请输入正确文件路径！"));
      return;
    }
    SaveNewDocument(sender, file_name);
  } else if (FEditMode == kEditExisting) {
    const std::string id = GetRowParam(*cdsParams, "ID");
    const Stamp stamp = ReadStamp(*objBaseInfo);
    // The record's key comes back once the record with the highest key is
    // deleted (Max(ID)+1), while the deleted document's audit row stays:
    // the row stamped is the one of the record's own document, whose number
    // the store never hands out again.
    const std::string audit = "Update DB_FILE_RECORD set HOSTNAME=" + Quoted(stamp.host) +
                              ", USERID=" + Quoted(stamp.user_id) + ", USERNAME=" + Quoted(stamp.user_name) +
                              ", MODIFYTIME = GetDate()" + " where FileTableID=" + BareInteger(id) +
                              " and FileTableName=" + Quoted(FTableName) + " and LABDOC_ID in(select LABDOC_ID from " +
                              FTableName + " where ID=" + BareInteger(id) + ")";
    // The stamp and the record change together or not at all.
    SaveInOneTransaction(sender, [&] {
      int result = 0;
      OleCheck(objDataCtrl->ExecSQL(audit, &result));
    });
  } else {
    TfrmClsfrmConfig::btnSaveClick(sender);
  }
}

// A new document: its file goes into the store first (a large file is not
// written inside the database transaction), then the key, the audit row and
// the record are written in one transaction, which also keeps the key from
// being taken by another workstation meanwhile. When the record is not
// saved, the transaction is rolled back and the stored file removed again,
// so nothing is left behind and pressing OK again stores the file once.
void TfrmMain::SaveNewDocument(rt::TObject* sender, const std::string& file_name) {
  // A required control left empty stops the save before the file is stored.
  int empty_control = 0;
  OleCheck(objDataCtrl->NullControlExists(pcMain, &empty_control));
  if (empty_control != 0) return;

  if (!FDocLibReady) {
    OleCheck(objCommon->Alert("文档库不可用，文件 " + file_name + " 无法保存，文档没有添加！"));
    return;
  }
  if (file_name.size() >= kFilePathBufferSize) {
    OleCheck(objCommon->Alert("文件路径 " + file_name + " 超过了 249 字节，文档库无法保存，文档没有添加！"));
    return;
  }
  std::int32_t doc_id = 0;
  StoreDocument(file_name, doc_id);
  if (doc_id < 1) {
    OleCheck(objCommon->Alert("文件 " + file_name + " 没有保存到文档库，文档没有添加！"));
    return;
  }
  SaveInOneTransaction(
      sender,
      [&] {
        int key = 0;
        OleCheck(objDataCtrl->GetMaxID("Select IsNull(Max(ID),0)+1 From " + FTableName, &key));
        const Stamp stamp = ReadStamp(*objBaseInfo);
        const std::string audit =
            "Insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,HOSTNAME,USERID,USERNAME,"
            "MODIFYTIME) Values(" +
            Quoted(FTableName) + "," + std::to_string(key) + "," + std::to_string(doc_id) + "," + Quoted(file_name) +
            "," + Quoted(stamp.host) + "," + Quoted(stamp.user_id) + "," + Quoted(stamp.user_name) + ",GetDate())";
        int result = 0;
        OleCheck(objDataCtrl->ExecSQL(audit, &result));
        rt::TStringList& fields = tfInterField->GetFFieldName();
        tfInterField->SetValues(fields.IndexOf("ID"), std::to_string(key));
        tfInterField->SetValues(fields.IndexOf("LabDoc_ID"), std::to_string(doc_id));
        tfInterField->SetValues(fields.IndexOf("UserID"), stamp.user_id);
      },
      [&] { DeleteDocument(doc_id); });
}

void TfrmMain::SaveInOneTransaction(rt::TObject* sender, const std::function<void()>& before_save,
                                    const std::function<void()>& undo) {
  OleCheck(objDataCtrl->BeginTrans());
  const auto abandon = [&] {
    objDataCtrl->RollbackTrans();
    // The form stays open: a save that did not happen closes nothing.
    SetModalResult(rt::mrNone);
    FSaveResult = kSaving;
  };
  try {
    before_save();
    TfrmClsfrmConfig::btnSaveClick(sender);
    if (FSaveResult == 0) {
      OleCheck(objDataCtrl->CommitTrans());
      return;
    }
  } catch (...) {
    abandon();
    try {
      if (undo) undo();
    } catch (...) {
      // The first error is the one the user must see.
    }
    throw;
  }
  abandon();
  if (undo) undo();
}

void TfrmMain::StampAudit(std::int32_t doc_id) {
  const Stamp stamp = ReadStamp(*objBaseInfo);
  int result = 0;
  OleCheck(objDataCtrl->ExecSQL("Update DB_FILE_RECORD set HOSTNAME=" + Quoted(stamp.host) +
                                    ", USERID=" + Quoted(stamp.user_id) + ", USERNAME=" + Quoted(stamp.user_name) +
                                    ", MODIFYTIME = GetDate() where FileTableName=" + Quoted(FTableName) +
                                    " and LABDOC_ID=" + std::to_string(doc_id),
                                &result));
}

void TfrmMain::btnOpenFileClick(rt::TObject*) {
  if (OpenDialog->Execute()) edFileName->SetText(OpenDialog->FileName);
}

void TfrmMain::acPropertiesExecute(rt::TObject* sender) {
  const std::string doc_id = GetRowParam(*cdsParams, "LABDOC_ID");
  rt::OleVariant data;
  OleCheck(
      objDataCtrl->OpenSQL("Select File_Name from Db_File_Storage Where LabDoc_ID=" + BareInteger(doc_id), data.Ptr()));
  cdsTmp->SetData(data.Get());
  if (!cdsTmp->IsEmpty()) {
    // The stored file's name is shown and cannot be changed.
    edFileName->SetText(cdsTmp->FieldByName("File_Name").AsString());
    edFileName->SetEnabled(false);
    btnOpenFile->SetEnabled(false);
  }
  TfrmClsfrmConfig::acPropertiesExecute(sender);
}

}  // namespace labdocs
