// The documents view's list: the documents of one directory that have a
// stored file, in key order, with their latest modification time.
#include "module/documents/main_form.h"
#include "module/service_calls/result_check.h"
#include "module/service_calls/sql_text.h"
#include "runtime/ole/variant.h"
#include "runtime/services/data_service.h"

namespace labdocs {

std::int32_t TfrmMain::GetViewData(VARIANT* data) {
  FDocType = GetParamValue("TV_ID");
  const std::string sql = "Select a.ID,a.LABDOC_ID,'" + QuoteEscaped(FTableName) + "' as FileTableName," +
                          " a.ID as DISP_ID,a.LABDOC_ID As DISP_文件ID,b.FILE_NAME As DISP_名称,a.DESCS As DISP_描述," +
                          " (select Max(ModifyTime) from DB_FILE_RECORD c(nolock) Where FileTableName='RIS_DOC' and "
                          "FileTableID=a.ID and c.LABDOC_ID=a.LABDOC_ID) as DISP_修改时间" +
                          " From RIS_DOC a(nolock),DB_FILE_STORAGE b(nolock)" +
                          " Where a.LABDOC_ID = b.LABDOC_ID and a.DocType='" + QuoteEscaped(FDocType) + "'" +
                          " Order by a.ID";
  rt::OleVariant rows;
  OleCheck(objDataCtrl->OpenSQL(sql, rows.Ptr()));
  // The caller's variant changes only once the rows are there.
  rows.Detach(data);
  return 0;
}

}  // namespace labdocs
