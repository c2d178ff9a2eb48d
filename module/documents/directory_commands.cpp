// The view's commands on selected directories: deleting each one with every
// document in it, and copying them into another category through the copy
// dialog.
#include "module/documents/copy_list_form.h"
#include "module/documents/main_form.h"
#include "module/service_calls/result_check.h"
#include "module/service_calls/sql_text.h"
#include "runtime/errors.h"
#include "runtime/services/common_service.h"
#include "runtime/services/data_service.h"
#include "runtime/services/vexa_client_dataset.h"

namespace labdocs {

bool CopyDone = false;
std::string CopyListName;

namespace {

// The statements that remove a directory, its documents and their stored
// files and audit rows. The documents are found through their RIS_DOC rows,
// so those go last.
std::string DeleteDirectoryBatch(const std::string& directory) {
  const std::string v = QuoteEscaped(directory);
  return " delete from Lab_List where TV_ID = '" + v + "'" +
         " delete from DB_FILE_RECORD where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='" + v + "')" +
         " delete from DB_FILE_STORAGE where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='" + v + "')" +
         " delete from RIS_DOC where DocType= '" + v + "'";
}

}  // namespace

void TfrmMain::miDeleteListClick(rt::TObject*) {
  // A row without a directory id would delete the documents that belong to
  // no directory: such a selection is refused before anything is asked.
  if (cdsParams->Active()) {
    int row = 1;
    for (cdsParams->First(); !cdsParams->Eof(); cdsParams->Next(), ++row)
      if (GetRowParam(*cdsParams, "TV_ID").empty())
        throw rt::Exception("所选的第 " + std::to_string(row) + " 行没有目录编号（TV_ID），没有删除任何目录。");
  }

  int answer = 0;
  OleCheck(objCommon->Confirm("删除此项将删除目录下所有文档，是否继续？", 1, &answer));
  if (answer != 1) return;

  // One batch per directory; there is no transaction around the rows.
  if (cdsParams->Active()) {
    for (cdsParams->First(); !cdsParams->Eof(); cdsParams->Next()) {
      int changed = 0;
      OleCheck(objDataCtrl->ExecSQL(DeleteDirectoryBatch(GetRowParam(*cdsParams, "TV_ID")), &changed));
    }
  }
  FListDeleted = true;
  OleCheck(objCommon->Prompt("删除成功！"));
}

void TfrmMain::acCopyListExecute(rt::TObject*) {
  CopyDone = false;
  // The view form owns the dialog; it goes with the form.
  frmCopyList = rt::CreateForm<TfrmCopyList>(this);
  frmCopyList->cdsTemp1->SetData(cdsParams->Data().Get());
  frmCopyList->ShowModal();
  if (CopyDone) FListCopied = true;
}

}  // namespace labdocs
