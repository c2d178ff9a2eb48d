#include "labdoc/pending_content.h"

#include <chrono>
#include <cstdlib>
#include <vector>

#include "labdoc/abandoned_files.h"
#include "labdoc/local_file.h"
#include "labdoc/random_token.h"
#include "runtime/data/datetime_text.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/sleep.h"
#include "runtime/services/environment.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc {
namespace {

// Tests of stores that overlap hold an upload between its chunks and its
// last transaction: when LABDOCS_TEST_UPLOAD_BARRIER names a folder (ANSI
// path ending in a separator), the store makes the file "reached" there
// and goes on once the file "go" is there too, or after a minute. Unset or
// empty, as everywhere but in those tests, it costs one look.
void WaitAtTestBarrier() {
  const char* folder = std::getenv("LABDOCS_TEST_UPLOAD_BARRIER");
  if (folder == nullptr || *folder == '\0') return;
  OutputFile(std::string(folder) + "reached").Close();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (Examine(std::string(folder) + "go") == FileKind::Missing && std::chrono::steady_clock::now() < deadline)
    rt::platform::SleepFor(std::chrono::milliseconds(5));
}

// A store whose connection went while it committed a part, or its last
// transaction, which the server did not keep.
constexpr const char* kCutShort = "与数据库服务器的连接在存入时中断, 此次存入没有完成, 没有存入任何内容";
constexpr const char* kLastCutShort =
    "与数据库服务器的连接在存入的最后提交时中断, 服务器没有保留这次提交: 此次存入没有完成, 没有存入任何内容";

}  // namespace

PendingContent::PendingContent(ContentStorage& storage, std::int64_t doc_id, const std::string& source_name)
    : storage_(storage), db_(storage.Session()), owner_(storage) {
  const rt::Value owner = owner_.Token().empty() ? rt::Value() : rt::Value(owner_.Token());
  rt::Transaction transaction(db_, rt::Transaction::Kind::Immediate);
  id_ = std::get<std::int64_t>(
      db_.QueryBound("INSERT INTO DB_FILE_CONTENT(LABDOC_ID, FILE_NAME, STOREDTIME, PENDING, OWNER)"
                     " VALUES(?, ?, ?, 1, ?) RETURNING CONTENT_ID",
                     {doc_id, source_name, rt::datetime::NowText(), owner})
          .rows.at(0)
          .at(0));
  // Nothing pending is any document's: a row that the lost commit kept
  // goes with the sweep, its owner having dropped its lock.
  try {
    transaction.Commit();
  } catch (const rt::ECommitUnknown&) {
    throw rt::EDatabaseError(kCutShort);
  }
}

PendingContent::~PendingContent() {
  if (!finished_) Discard();
  owner_.Drop(db_);
}

void PendingContent::Write(InputFile& source) {
  try {
    summary_ = storage_.WriteChunks(id_, source);
  } catch (const rt::ECommitUnknown&) {
    throw rt::EDatabaseError(kCutShort);  // the content is removed with the object
  }
  WaitAtTestBarrier();
}

bool PendingContent::Finish(std::int64_t doc_id, rt::Transaction& transaction, std::optional<std::int64_t> replacing) {
  const std::string stored_time = rt::datetime::NowText();
  const auto size = static_cast<std::int64_t>(summary_.size);
  // The replaced content leaves the current place (one per document)
  // before this one takes it. The content expected there is compared in
  // the statement that moves it: on a server a concurrent transaction that
  // moved it first makes this one wait for its row and then find it no
  // longer current, whatever locks the transactions took.
  if (!replacing) {
    db_.ExecuteBound(
        "UPDATE DB_FILE_CONTENT SET REPLACEDTIME = ? WHERE LABDOC_ID = ? AND REPLACEDTIME IS NULL AND PENDING = 0",
        {stored_time, doc_id});
  } else if (db_.ExecuteBound("UPDATE DB_FILE_CONTENT SET REPLACEDTIME = ? WHERE CONTENT_ID = ? AND LABDOC_ID = ?"
                              " AND REPLACEDTIME IS NULL AND PENDING = 0",
                              {stored_time, *replacing, doc_id}) != 1) {
    return false;
  }
  // A pending content that another process took for abandoned is gone
  // with its first chunks: nothing of it may become current.
  if (db_.ExecuteBound(
          "UPDATE DB_FILE_CONTENT SET LABDOC_ID = ?, STOREDTIME = ?, FILE_SIZE = ?, SHA256 = ?, PENDING = 0,"
          " STOREDHOST = ?, STOREDUSER = ? WHERE CONTENT_ID = ? AND PENDING = 1",
          {doc_id, stored_time, size, summary_.sha256, rt::Environment().computer_name, rt::Environment().user_name,
           id_}) != 1)
    throw rt::Exception("待存的内容已被其他进程当作废弃内容清除, 未能存入");
  db_.ExecuteBound("UPDATE DB_FILE_STORAGE SET STOREDTIME = ?, FILE_SIZE = ?, SHA256 = ? WHERE LABDOC_ID = ?",
                   {stored_time, size, summary_.sha256, doc_id});
  try {
    transaction.Commit();
  } catch (const rt::ECommitUnknown&) {
    // The connection went while the server committed, and it could not
    // learn what became of the transaction: the content's row tells.
    finished_ = true;
    const std::optional<bool> kept = Settle(doc_id);
    if (!kept) throw;
    if (!*kept) throw rt::EDatabaseError(kLastCutShort);
  }
  finished_ = true;
  owner_.Drop(db_);
  return true;
}

std::optional<bool> PendingContent::Settle(std::int64_t doc_id) noexcept {
  const auto deadline = std::chrono::steady_clock::now() + kSettleTime;
  for (;;) {
    try {
      rt::Transaction transaction(db_, rt::Transaction::Kind::Immediate);
      // The lost transaction made the row the document's content. While the
      // server still runs it, the removal waits for it (the row is locked)
      // and finds the row finished if it committed; removed, the row can
      // no longer be finished by it.
      const bool removed = db_.ExecuteBound("DELETE FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND PENDING = 1", {id_}) >
                           0;
      if (removed) storage_.RemoveChunks(id_);
      const bool kept =
          !removed &&
          !db_.QueryBound("SELECT 1 FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND LABDOC_ID = ? AND PENDING = 0",
                          {id_, doc_id})
               .rows.empty();
      // A removal whose own commit is not known is decided by the next
      // look: the row is gone then, or removed by it.
      transaction.Commit();
      return kept;
    } catch (const rt::Exception&) {
      // No server yet (a standby not yet taking over, the network down).
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      rt::platform::SleepFor(std::chrono::milliseconds(250));
    } catch (...) {
      return std::nullopt;
    }
  }
}

void PendingContent::Discard() noexcept {
  try {
    // The row's removal lists the content, whose chunks go once it is
    // committed (rt::sqlite::Database::AfterCommit).
    db_.ExecuteBound("DELETE FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND PENDING = 1", {id_});
    // Chunks written after the row was removed by another process have no
    // row whose removal would list them; the row is gone for good now.
    storage_.RemoveChunks(id_);
  } catch (...) {
    return;  // the owner's file goes with the object; the sweep removes the content
  }
  storage_.GiveBackFreePages(OldFile::Keep);
}

void SweepAbandonedContents(ContentStorage& storage) {
  rt::DataSession& db = storage.Session();
  try {
    // One look, usually all there is: is any content removed whose chunks
    // may remain (SQLite's content file; a server removes them with the
    // content), is any pending?
    const rt::RowSet look = db.QueryBound(std::string("SELECT ") + storage.RemovedContentsRemainSql() +
                                              ", EXISTS (SELECT 1 FROM DB_FILE_CONTENT WHERE PENDING = 1)",
                                          {});
    const bool removed = look.rows.at(0).at(0) == rt::Value(std::int64_t{1});
    const bool any_pending = look.rows.at(0).at(1) == rt::Value(std::int64_t{1});
    // Chunks of contents whose removal a process committed before it ended.
    if (removed) storage.RemoveChunksOfRemovedContents();
    rt::RowSet pending;
    if (any_pending) {
      const std::string cutoff = rt::datetime::ToText(rt::DateTime{rt::Now().days - 1.0});
      pending = db.QueryBound(
          "SELECT CONTENT_ID, OWNER, STOREDTIME < ? FROM DB_FILE_CONTENT WHERE PENDING = 1 ORDER BY STOREDTIME",
          {cutoff});
    }
    const std::string& folder = storage.OwnerFolder();
    std::vector<std::int64_t> abandoned;
    std::vector<rt::FileLock> ended_owners;  // held until their contents are gone
    for (const std::vector<rt::Value>& row : pending.rows) {
      const auto* owner = std::get_if<std::string>(&row[1]);
      if (owner != nullptr && ((IsToken(*owner) && !folder.empty()) || IsServerToken(*owner))) {
        rt::FileLock lock;
        if (!storage.OwnerHasEnded(*owner, lock)) continue;
        if (lock.Holds()) ended_owners.push_back(std::move(lock));
      } else if (row[2] != rt::Value(std::int64_t{1})) {
        continue;  // no owner to ask, and not a day old
      }
      abandoned.push_back(std::get<std::int64_t>(row[0]));
    }
    if (!abandoned.empty()) {
      rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
      for (const std::int64_t content_id : abandoned)
        db.ExecuteBound("DELETE FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND PENDING = 1", {content_id});
      transaction.Commit();
    }
    for (rt::FileLock& lock : ended_owners) lock.RemoveFile();
    // Files of owners that ended before their content went in.
    if (!folder.empty() && rt::DirectoryExists(folder)) {
      RemoveAbandonedFiles(folder, "*.lock", &IsOwnerFileName);
      RemoveDirectoryA(folder.c_str());  // when no owner is left in it
    }
    if (!abandoned.empty()) storage.GiveBackFreePages(OldFile::Switch);
  } catch (const rt::Exception&) {
  }
}

}  // namespace labdocs::labdoc
