#include "labdoc/document_store.h"

#include <limits>
#include <variant>

#include "labdoc/content_rows.h"
#include "labdoc/content_storage.h"
#include "labdoc/local_file.h"
#include "labdoc/pending_content.h"
#include "labdoc/retention.h"
#include "runtime/errors.h"
#include "runtime/platform/identity.h"
#include "runtime/platform/platform.h"
#include "runtime/services/environment.h"
#include "runtime/sysutils.h"
#include "runtime/text/file_name.h"
#include "runtime/text/gbk.h"

namespace labdocs::labdoc {
namespace {

using rt::Value;

// Whether a source path can be stored: false (the answer "no") when nothing,
// a folder or a device is there. A path that the system cannot examine is
// tried, so that opening it reports why it cannot be read.
bool IsStorableFile(const std::string& ansi_file) {
  const FileKind kind = Examine(ansi_file);
  return kind == FileKind::Regular || kind == FileKind::Unknown;
}

// Whether some finished content of some document has exactly these bytes: a
// file that holds them holds nothing that is not in the store.
bool IsStoredContent(rt::DataSession& db, const ContentSummary& summary) {
  return !db.QueryBound("SELECT 1 FROM DB_FILE_CONTENT WHERE SHA256 = ? AND FILE_SIZE = ? AND PENDING = 0 LIMIT 1",
                        {summary.sha256, static_cast<std::int64_t>(summary.size)})
              .rows.empty();
}

// Whether the file there holds bytes that would be lost if it were replaced:
// it is not the copy it was recorded as (unchanged since it was fetched),
// and its content is not stored. The second test also covers a copy put in
// place by a process that ended before it recorded it.
bool HoldsUnstoredBytes(rt::DataSession& db, const std::optional<CachedCopy>& recorded, const ContentSummary& there) {
  return !(recorded && recorded->fetched_as == there) && !IsStoredContent(db, there);
}

// Refuses to let a fetch replace the file at `path` (named `name` in the
// cache folder) when it holds bytes that are not stored. Nothing there is
// fine.
void KeepUnstoredEdits(rt::DataSession& db, const CacheRecords& records, std::int64_t doc_id, const std::string& name,
                       const std::string& path) {
  const std::optional<ContentSummary> there = SummaryOf(path);
  if (!there && Examine(path) == FileKind::Missing) return;
  // A copy unchanged since another database's document was fetched there
  // holds nothing that database does not keep.
  if (there && records.UnchangedSinceFetched(name, *there)) return;
  const std::optional<CachedCopy> recorded = records.Find(db, name);
  if (there && !HoldsUnstoredBytes(db, recorded, *there)) return;
  const std::string keep = ", 为免丢失没有覆盖它。请先保存其中的修改(修改文档), 或将它移走后再试";
  if (!recorded) throw EUnstoredEdits("缓存中已有文件 " + path + ", 它不是从文档库取出的原样副本" + keep);
  if (recorded->doc_id == doc_id)
    throw EUnstoredEdits(Document(doc_id) + " 在缓存中的副本 " + path + " 有尚未保存到服务器的修改" + keep);
  throw EUnstoredEdits("缓存中的文件 " + path + " 是" + Document(recorded->doc_id) +
                       " 的副本, 有尚未保存到服务器的修改" + keep);
}

// The document's current content when storing the file at the path would
// replace it unawares: it is not the content `replacing` names, and the
// file does not hold its very bytes. A file that does is taken to replace
// the current content (`replacing` becomes it): nothing of it is lost.
std::optional<StoredContent> ReplacedUnawares(rt::DataSession& db, std::int64_t doc_id, std::int64_t& replacing,
                                              const std::string& ansi_path) {
  std::optional<StoredContent> current = FindCurrentContent(db, doc_id);
  if (!current || current->content_id == replacing) return std::nullopt;
  const std::optional<ContentSummary> there = SummaryOf(ansi_path);
  if (there && *there == current->summary) {
    replacing = current->content_id;
    return std::nullopt;
  }
  return current;
}

// Who stored a content, where and when, told to someone whose copy was
// fetched before it; empty when there is no such content.
std::string StoredMeanwhileNotice(rt::DataSession& db, std::int64_t content_id) {
  const rt::RowSet by = db.QueryBound(
      "SELECT STOREDUSER, STOREDHOST, STOREDTIME FROM DB_FILE_CONTENT WHERE CONTENT_ID = ?", {content_id});
  if (by.rows.empty()) return {};
  const std::vector<Value>& row = by.rows.front();
  return Who(row[0], row[1]) + " 于 " + When(row[2]) + " 存入了此文档的新内容(在您取出此副本之后)";
}

}  // namespace

DocumentStore::DocumentStore(std::string_view ansi_cache_dir, DatabaseLink& link)
    : cache_(ansi_cache_dir), records_(rt::Environment().computer_name, cache_.Dir()), link_(link) {
  if (!rt::ForceDirectories(cache_.Dir())) throw rt::Exception("无法创建文档缓存目录 " + cache_.Dir());
  RemoveAbandonedTemporaryFiles(cache_.Dir());
  RemoveAbandonedTemporaryFiles(cache_.PathOf(kVersionsFolder));
  // Only the document operations need the database: one that cannot be
  // reached now is reported by the first of them, and everything else the
  // caller does still works.
  rt::DataSession* db = nullptr;
  try {
    link_.Connect();
    db = &link_.Get().Session();
  } catch (const rt::EDatabaseError&) {
    return;
  }
  records_.CarryOver(*db);
}

void DocumentStore::SweepBeforeStoring(ContentStorage& storage) {
  // Housekeeping, which never fails a store, done where contents are
  // stored rather than at every start: the host starts the store for every
  // call, lists and menus among them, and each look costs them an exchange
  // with the server.
  if (swept_) return;
  swept_ = true;
  SweepAbandonedContents(storage);
}

void DocumentStore::GiveUpExpiredRevisions(ContentStorage& storage, std::int32_t doc_id) noexcept {
  try {
    // This process's own revision of the document is the one storing now:
    // it keeps nothing back.
    PruneRevisions(storage, doc_id, revisions_.TokenOf(doc_id), OldFile::Keep);
  } catch (...) {
  }
}

std::optional<std::int32_t> DocumentStore::Save(const std::string& ansi_file) {
  if (!IsStorableFile(ansi_file)) {
    // Still a store that starts: it sweeps when it can reach the database,
    // and answers "no" whether or not it can.
    try {
      SweepBeforeStoring(link_.Get());
    } catch (const rt::EDatabaseError&) {
    }
    return std::nullopt;
  }
  const std::string name = rt::SafeFileName(rt::ExtractFileName(ansi_file));
  InputFile source(ansi_file);
  ContentStorage& storage = link_.Get();
  rt::DataSession& db = storage.Session();
  SweepBeforeStoring(storage);
  PendingContent content(storage, 0, name);
  content.Write(source);
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  const std::int64_t doc_id = std::get<std::int64_t>(
      db.QueryBound("INSERT INTO DB_FILE_STORAGE(FILE_NAME) VALUES(?) RETURNING LABDOC_ID", {name}).rows.at(0).at(0));
  if (doc_id < 1 || doc_id > std::numeric_limits<std::int32_t>::max())
    throw rt::Exception("文档编号 " + std::to_string(doc_id) + " 超出了 32 位编号的范围");
  content.Finish(doc_id, transaction);
  return static_cast<std::int32_t>(doc_id);
}

bool DocumentStore::Update(std::int32_t doc_id, const std::string& ansi_file) {
  return Update(doc_id, ansi_file, std::nullopt).stored;
}

DocumentStore::UpdateOutcome DocumentStore::UpdateExpecting(std::int32_t doc_id, const std::string& ansi_file,
                                                            std::int64_t expected) {
  return Update(doc_id, ansi_file, expected);
}

DocumentStore::UpdateOutcome DocumentStore::Update(std::int32_t doc_id, const std::string& ansi_file,
                                                   std::optional<std::int64_t> expected) {
  UpdateOutcome outcome;
  if (!IsStorableFile(ansi_file)) return outcome;
  ContentStorage& storage = link_.Get();
  rt::DataSession& db = storage.Session();
  const std::optional<std::string> cached_name = CachedName(ansi_file);
  std::optional<std::int64_t> replacing;  // nothing: whichever content is current
  {
    // Asked first, so that a missing document is not an error about the file.
    rt::Transaction look(db, rt::Transaction::Kind::Deferred);
    if (!DocumentExists(db, doc_id)) return outcome;
    // A copy in the cache folder carries the document it was fetched for,
    // and the content it was fetched as.
    const std::optional<CachedCopy> recorded = cached_name ? records_.Find(db, *cached_name) : std::nullopt;
    if (recorded && recorded->doc_id != doc_id)
      throw rt::Exception("缓存中的文件 " + ansi_file + " 是" + Document(recorded->doc_id) + " 的副本, 不能保存为" +
                          Document(doc_id) + " 的内容");
    if (expected && *expected != 0) replacing = *expected;
    else if (expected && recorded) replacing = recorded->content_id;
    // Known before the file is read, it costs no upload.
    if (replacing) {
      if (const std::optional<StoredContent> other = ReplacedUnawares(db, doc_id, *replacing, ansi_file)) {
        outcome.current = other->content_id;
        outcome.notice = StoredMeanwhileNotice(db, other->content_id);
        return outcome;
      }
    }
    look.Commit();
  }
  InputFile source(ansi_file);
  SweepBeforeStoring(storage);
  PendingContent content(storage, doc_id, rt::ExtractFileName(ansi_file));
  content.Write(source);
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  if (!DocumentExists(db, doc_id)) return outcome;  // deleted meanwhile: the content goes
  if (!content.Finish(doc_id, transaction, replacing)) {
    // Another content was made current while this one was stored. It
    // stays; this one goes with the transaction (PendingContent removes it).
    if (const std::optional<StoredContent> other = FindCurrentContent(db, doc_id)) {
      outcome.current = other->content_id;
      outcome.notice = StoredMeanwhileNotice(db, other->content_id);
    }
    return outcome;
  }
  // The copy now holds the current content: it has no unstored edits.
  if (cached_name) {
    rt::Transaction look(db, rt::Transaction::Kind::Deferred);
    const std::optional<StoredContent> current = FindCurrentContent(db, doc_id);
    look.Commit();
    if (current) records_.Remember(db, *cached_name, {doc_id, current->content_id, current->summary, std::nullopt});
  }
  GiveUpExpiredRevisions(storage, doc_id);
  outcome.stored = true;
  return outcome;
}

std::optional<std::string> DocumentStore::CachedName(const std::string& ansi_path) const {
  if (rt::ExtractFilePath(ansi_path) != cache_.Dir()) return std::nullopt;
  return rt::ExtractFileName(ansi_path);
}

bool DocumentStore::Delete(std::int32_t doc_id) {
  rt::DataSession& db = link_.Get().Session();
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  // The schema's triggers delete the document's contents; their chunks go
  // once that is committed.
  const std::int64_t deleted = db.ExecuteBound("DELETE FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?",
                                               {std::int64_t{doc_id}});
  transaction.Commit();
  return deleted > 0;
}

std::optional<std::string> DocumentStore::Fetch(std::int32_t doc_id, std::size_t max_path_length) {
  ContentStorage& storage = link_.Get();
  rt::DataSession& db = storage.Session();
  // One read transaction: the content cannot change or vanish while it is
  // read, and writers of other connections are not held up by it.
  rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
  storage.BeginContentRead();
  const std::optional<StoredContent> current = FindCurrentContent(db, doc_id);
  if (!current) return std::nullopt;
  // Names stored before names were made safe when storing get the same rule
  // here, so no stored name can lead outside the folder.
  const std::string name = rt::SafeFileName(current->file_name);
  if (cache_.PathOf(name).size() > max_path_length) return std::nullopt;
  return PlaceCopy(storage, snapshot, doc_id, *current, name);
}

std::string DocumentStore::PlaceCopy(ContentStorage& storage, rt::Transaction& snapshot, std::int32_t doc_id,
                                     const StoredContent& content, const std::string& name) {
  rt::DataSession& db = storage.Session();
  const std::string path = cache_.PathOf(name);
  const CachedCopy fetched{doc_id, content.content_id, content.summary, std::nullopt};
  // A copy recorded as this content that is, on its disk, still exactly what
  // it was when it was last known to hold the content has not been written
  // since: it is not read again. Any other copy is checked by its digest.
  const std::string native_path = rt::platform::ToNativePath(path);
  const std::optional<rt::platform::FileIdentity> before = rt::platform::IdentityOf(native_path);
  const std::optional<CachedCopy> recorded = records_.Find(db, name);
  if (before && recorded && recorded->on_disk && *recorded->on_disk == *before && recorded->doc_id == doc_id &&
      recorded->content_id == content.content_id && recorded->fetched_as == content.summary &&
      static_cast<std::uint64_t>(before->size) == content.summary.size) {
    snapshot.Commit();
    return path;
  }
  if (HoldsContent(path, content.summary.size, content.summary.sha256)) {
    snapshot.Commit();
    // What the copy is on its disk counts only if nothing changed it while
    // it was read.
    CachedCopy checked = fetched;
    if (before && rt::platform::IdentityOf(native_path) == before) checked.on_disk = Settled(before);
    records_.Remember(db, name, checked);
    return path;
  }
  KeepUnstoredEdits(db, records_, doc_id, name, path);
  // The folder may have been removed since the store was initialised.
  const std::string folder = rt::ExtractFilePath(path);
  if (!rt::ForceDirectories(folder)) throw rt::Exception("无法创建文档缓存目录 " + folder);
  AtomicFile copy(path);
  storage.ReadChunks(content.content_id, content.summary, Document(doc_id),
                     [&](const std::uint8_t* data, std::size_t size) { copy.Write(data, size); });
  snapshot.Commit();
  copy.PutInPlace(content.summary);
  records_.Remember(db, name, fetched);
  return path;
}

DocumentStore::~DocumentStore() {
  if (revisions_.Empty()) return;  // nothing to end: no connection is made for it
  try {
    revisions_.EndAll(link_.Get());
  } catch (const rt::Exception&) {
    // Rows of ended owners go when someone finds them.
  }
}

std::string DocumentStore::BeginRevision(std::int32_t doc_id) { return revisions_.Begin(link_.Get(), doc_id); }

void DocumentStore::EndRevision(std::int32_t doc_id) { revisions_.End(link_.Get(), doc_id); }

std::optional<std::string> DocumentStore::StoredMeanwhile(std::int32_t doc_id, const std::string& ansi_path) {
  const std::optional<std::string> name = CachedName(ansi_path);
  if (!name) return std::nullopt;
  rt::DataSession& db = link_.Get().Session();
  rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
  const std::optional<CachedCopy> recorded = records_.Find(db, *name);
  if (!recorded || recorded->doc_id != doc_id) return std::nullopt;
  std::int64_t replacing = recorded->content_id;
  const std::optional<StoredContent> other = ReplacedUnawares(db, doc_id, replacing, ansi_path);
  if (!other) return std::nullopt;
  std::string notice = StoredMeanwhileNotice(db, other->content_id);
  snapshot.Commit();
  if (notice.empty()) return std::nullopt;
  return notice;
}

bool DocumentStore::HoldsUnstoredEdits(std::int32_t doc_id, const std::string& ansi_path) {
  const std::optional<std::string> name = CachedName(ansi_path);
  if (!name) return false;
  const std::optional<ContentSummary> there = SummaryOf(ansi_path);
  if (!there) return false;
  rt::DataSession& db = link_.Get().Session();
  rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
  const std::optional<CachedCopy> recorded = records_.Find(db, *name);
  if (!recorded || recorded->doc_id != doc_id || !DocumentExists(db, doc_id)) return false;
  return HoldsUnstoredBytes(db, recorded, *there);
}

}  // namespace labdocs::labdoc
