#include "labdoc/pending_content.h"

#include <sqlite3.h>

#include "labdoc/local_file.h"
#include "runtime/data/datetime_text.h"
#include "runtime/errors.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc {

PendingContent::PendingContent(rt::Database& db, std::int64_t doc_id, const std::string& source_name) : db_(db) {
  rt::Transaction transaction(db_, rt::Transaction::Kind::Immediate);
  db_.ExecuteBound(
      "INSERT INTO DB_FILE_CONTENT(LABDOC_ID, FILE_NAME, STOREDTIME, PENDING) VALUES(?, ?, ?, 1)",
      {doc_id, source_name, rt::datetime::NowText()});
  id_ = sqlite3_last_insert_rowid(db_.Handle());
  transaction.Commit();
}

PendingContent::~PendingContent() {
  if (!finished_) Discard();
}

void PendingContent::Write(InputFile& source) { summary_ = WriteChunks(db_, id_, source); }

void PendingContent::Finish(std::int64_t doc_id, rt::Transaction& transaction) {
  const std::string stored_time = rt::datetime::NowText();
  const auto size = static_cast<std::int64_t>(summary_.size);
  // The replaced content leaves the current place (one per document)
  // before this one takes it.
  db_.ExecuteBound(
      "UPDATE DB_FILE_CONTENT SET REPLACEDTIME = ? WHERE LABDOC_ID = ? AND REPLACEDTIME IS NULL AND PENDING = 0",
      {stored_time, doc_id});
  db_.ExecuteBound(
      "UPDATE DB_FILE_CONTENT SET LABDOC_ID = ?, STOREDTIME = ?, FILE_SIZE = ?, SHA256 = ?, PENDING = 0 "
      "WHERE CONTENT_ID = ?",
      {doc_id, stored_time, size, summary_.sha256, id_});
  db_.ExecuteBound("UPDATE DB_FILE_STORAGE SET STOREDTIME = ?, FILE_SIZE = ?, SHA256 = ? WHERE LABDOC_ID = ?",
                   {stored_time, size, summary_.sha256, doc_id});
  transaction.Commit();
  finished_ = true;
}

void PendingContent::Discard() noexcept {
  try {
    rt::Transaction transaction(db_, rt::Transaction::Kind::Immediate);
    db_.ExecuteBound("DELETE FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND PENDING = 1", {id_});
    transaction.Commit();
  } catch (...) {
  }
}

void SweepAbandonedContents(rt::Database& db) {
  try {
    const std::string cutoff = rt::datetime::ToText(rt::DateTime{rt::Now().days - 1.0});
    const char* kWhere = " FROM DB_FILE_CONTENT WHERE PENDING = 1 AND STOREDTIME < ?";
    if (db.QueryBound(std::string("SELECT 1") + kWhere, {cutoff}).rows.empty()) return;
    rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
    db.ExecuteBound(std::string("DELETE") + kWhere, {cutoff});
    transaction.Commit();
  } catch (const rt::EDatabaseError&) {
  }
}

}  // namespace labdocs::labdoc
