#include "admin/check.h"

#include <memory>
#include <optional>
#include <set>

#include "admin/catalog.h"
#include "admin/content_reader.h"
#include "labdoc/content_storage.h"
#include "runtime/file_lock.h"
#include "runtime/sysutils.h"

namespace admin {
namespace {

// A store takes seconds: a pending content without an owner (stored by a
// version before owners) that began longer ago than this was left behind,
// as the store's own sweep judges it.
constexpr double kOwnerlessPendingDays = 1.0;

std::string Number(const char* what, std::int64_t n) { return std::string(what) + " " + std::to_string(n); }

// The rows that must name each other.
void CheckRows(const Catalog& catalog, std::vector<Fault>& faults) {
  std::set<std::int64_t> with_content, recorded;
  for (const Content& content : catalog.contents) {
    if (content.current) with_content.insert(content.labdoc_id);
    if (catalog.documents.count(content.labdoc_id) == 0)
      faults.push_back(
          {"content without document", catalog.DirectoryOf(content.labdoc_id), content.file_name,
           Number("content", content.id) + " of " + Number("document", content.labdoc_id) + ", which is not stored"});
  }
  for (const auto& [labdoc_id, file_name] : catalog.documents)
    if (with_content.count(labdoc_id) == 0)
      faults.push_back({"document without content", catalog.DirectoryOf(labdoc_id), file_name,
                        Number("document", labdoc_id) + " has no current content"});
  for (const Record& record : catalog.records) {
    recorded.insert(record.labdoc_id);
    const std::string where = Number("record", record.id) + ", " + Number("document", record.labdoc_id);
    if (catalog.documents.count(record.labdoc_id) == 0)
      faults.push_back({"record without document", catalog.DirectoryOf(record), catalog.FileNameOf(record),
                        where + ", which is not stored"});
    const std::optional<std::int64_t> directory = DirectoryNamed(record.doc_type);
    if (!directory || catalog.directories.count(*directory) == 0)
      faults.push_back({"unlisted document", "(none)", catalog.FileNameOf(record),
                        where + ": DocType '" + record.doc_type +
                            "' names no directory, so no list shows it; file it with: labdocs-admin file " +
                            std::to_string(record.id) + " DIRECTORY_ID"});
  }
  for (const auto& [labdoc_id, file_name] : catalog.documents)
    if (recorded.count(labdoc_id) == 0 && catalog.named_elsewhere.count(labdoc_id) == 0)
      faults.push_back({"document without record", "(none)", file_name,
                        Number("document", labdoc_id) + " is named by no record (RIS_DOC, nor another table's "
                                                        "audit row)"});
}

// Pending contents whose store has ended. Run after the snapshot: a content
// that its store finished meanwhile is no longer pending, and its owner
// ended with it.
void CheckPending(labdocs::labdoc::ContentStorage& storage, const Catalog& catalog, CheckResult& result) {
  rt::DataSession& db = storage.Session();
  const double now = rt::Now().days;
  for (const PendingContent& pending : catalog.pending) {
    rt::FileLock lock;
    const bool ended = pending.owner.empty() ? now - pending.began > kOwnerlessPendingDays
                                             : storage.OwnerHasEnded(pending.owner, lock);
    const bool still_pending =
        !db.QueryBound("SELECT 1 FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND PENDING = 1", {pending.id}).rows.empty();
    if (!still_pending) continue;
    if (!ended) {
      ++result.pending_live;
      continue;
    }
    result.faults.push_back(
        {"abandoned pending content", pending.labdoc_id != 0 ? catalog.DirectoryOf(pending.labdoc_id) : "(none)",
         pending.file_name,
         Number("content", pending.id) + ", pending since " + pending.began_text + ", " +
             (pending.owner.empty() ? std::string("without an owner") : "its owner " + pending.owner + " has ended") +
             "; the next store's sweep removes it"});
  }
}

// Every finished content, read whole.
void CheckContents(labdocs::labdoc::ContentStorage& storage, const Catalog& catalog, CheckResult& result,
                   Progress& progress) {
  rt::DataSession& db = storage.Session();
  for (const Content& content : catalog.contents) {
    rt::Transaction read(db, rt::Transaction::Kind::Deferred);
    storage.BeginContentRead();
    // A content removed since the snapshot (its document deleted) is gone,
    // not damaged.
    if (db.QueryBound("SELECT 1 FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND PENDING = 0", {content.id})
            .rows.empty()) {
      progress.Bytes(content.recorded.size);
      progress.ContentDone();
      continue;
    }
    const std::string file_name = catalog.FileNameOf(content.labdoc_id);
    const std::optional<std::string> damage = VerifyContent(storage, content.id, content.recorded, file_name,
                                                            [&](std::size_t bytes) { progress.Bytes(bytes); });
    if (damage)
      result.faults.push_back({"damaged content", catalog.DirectoryOf(content.labdoc_id), file_name,
                               Number("document", content.labdoc_id) + ", " + Number("content", content.id) +
                                   (content.current ? std::string(", the current content")
                                                    : ", a revision kept since " + content.replaced) +
                                   ": " + *damage});
    progress.ContentDone();
  }
}

}  // namespace

CheckResult Check(rt::DataSession& db, Progress& progress) {
  CheckResult result;
  // The store's own storage reads the contents: on SQLite it attaches the
  // content file, refusing one that is missing, another database's or of
  // another time (and making none in its place). The rows are still
  // checked then.
  std::unique_ptr<labdocs::labdoc::ContentStorage> storage;
  std::string unreachable;
  try {
    storage = labdocs::labdoc::MakeContentStorage(db);
  } catch (const rt::EDatabaseError& refused) {
    unreachable = refused.what();
  }
  Catalog catalog;
  {
    rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
    if (storage) storage->BeginContentRead();
    catalog = ReadCatalog(db);
  }
  result.documents = catalog.documents.size();
  for (const Content& content : catalog.contents) {
    ++result.contents;
    result.bytes += content.recorded.size;
    if (content.current) continue;
    ++result.kept_contents;
    result.kept_bytes += content.recorded.size;
  }
  CheckRows(catalog, result.faults);
  if (!storage) {
    result.faults.push_back(
        {"contents unreadable", "(none)", "(all)",
         "the database's " + std::to_string(catalog.contents.size()) + " contents cannot be read: " + unreachable});
    return result;
  }
  CheckPending(*storage, catalog, result);
  {
    rt::Transaction read(db, rt::Transaction::Kind::Deferred);
    result.retention = labdocs::labdoc::ReadRetention(db);
    for (const labdocs::labdoc::ExpiredRevision& expired :
         labdocs::labdoc::ExpiredRevisions(*storage, result.retention, std::nullopt)) {
      ++result.expired_contents;
      result.expired_bytes += expired.size;
    }
  }
  progress.Start(result.contents, result.bytes);
  CheckContents(*storage, catalog, result, progress);
  progress.Finish();
  return result;
}

}  // namespace admin
