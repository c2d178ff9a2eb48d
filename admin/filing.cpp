#include "admin/filing.h"

#include "admin/catalog.h"
#include "runtime/sysutils.h"

namespace admin {

Filed FileDocument(rt::DataSession& db, std::int64_t record_id, std::int64_t directory_id,
                   const rt::HostEnvironment& who) {
  // The writer lock from the start: what is read here stays so until the
  // commit.
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  const rt::RowSet record = db.QueryBound("SELECT LABDOC_ID, DocType FROM RIS_DOC WHERE ID = ?", {record_id});
  if (record.rows.empty())
    throw EFilingRefused("There is no document record " + std::to_string(record_id) + " (RIS_DOC).");
  Filed filed;
  const rt::Value& labdoc_id = record.rows[0][0];
  if (const auto* id = std::get_if<std::int64_t>(&labdoc_id)) filed.labdoc_id = *id;
  const std::string doc_type = rt::ValueToText(record.rows[0][1]);

  const rt::RowSet stored = db.QueryBound("SELECT FILE_NAME FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {labdoc_id});
  if (stored.rows.empty())
    throw EFilingRefused("The document of record " + std::to_string(record_id) + " (document " +
                         rt::ValueToText(labdoc_id) + ") is not stored: no list would show it.");
  filed.file_name = rt::ValueToText(stored.rows[0][0]);

  if (const std::optional<std::int64_t> listed = DirectoryNamed(doc_type)) {
    const rt::RowSet directory = db.QueryBound("SELECT TV_Name FROM Lab_List WHERE TV_ID = ?", {*listed});
    if (!directory.rows.empty())
      throw EFilingRefused(filed.file_name + " (record " + std::to_string(record_id) + ") is listed already, in " +
                           rt::ValueToText(directory.rows[0][0]) + " (directory " + doc_type + ").");
  }
  const rt::RowSet directory = db.QueryBound("SELECT TV_Name FROM Lab_List WHERE TV_ID = ?", {directory_id});
  if (directory.rows.empty())
    throw EFilingRefused("There is no directory " + std::to_string(directory_id) + " (Lab_List).");
  filed.directory = rt::ValueToText(directory.rows[0][0]);

  db.ExecuteBound("UPDATE RIS_DOC SET DocType = ? WHERE ID = ?", {std::to_string(directory_id), record_id});
  const rt::Value now = rt::Now();
  const std::int64_t stamped =
      db.ExecuteBound("UPDATE DB_FILE_RECORD SET HOSTNAME = ?, USERID = ?, USERNAME = ?, MODIFYTIME = ? "
                      "WHERE FileTableName = 'RIS_DOC' AND FileTableID = ? AND LABDOC_ID = ?",
                      {who.computer_name, who.user_id, who.user_name, now, record_id, labdoc_id});
  if (stamped == 0) {
    db.ExecuteBound(
        "INSERT INTO DB_FILE_RECORD(FileTableName, FileTableID, LABDOC_ID, SRCFILENAME, HOSTNAME, USERID, USERNAME, "
        "MODIFYTIME) VALUES('RIS_DOC', ?, ?, ?, ?, ?, ?, ?)",
        {record_id, labdoc_id, filed.file_name, who.computer_name, who.user_id, who.user_name, now});
    filed.audit_row_added = true;
  }
  transaction.Commit();
  return filed;
}

}  // namespace admin
