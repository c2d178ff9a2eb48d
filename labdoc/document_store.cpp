#include "labdoc/document_store.h"

#include <sqlite3.h>

#include <limits>
#include <variant>

#include "labdoc/content_chunks.h"
#include "labdoc/local_file.h"
#include "runtime/data/datetime_text.h"
#include "runtime/errors.h"
#include "runtime/host/environment.h"
#include "runtime/sysutils.h"
#include "runtime/text/file_name.h"
#include "runtime/text/gbk.h"

namespace labdocs::labdoc {
namespace {

using rt::Value;

// A document's current content as the database records it.
struct CurrentContent {
  std::int64_t content_id = 0;
  std::string file_name;  // the document's stored file name
  ContentSummary summary;
};

std::string Document(std::int64_t doc_id) { return "文档 " + std::to_string(doc_id); }

std::int64_t IntegerOf(const Value& value) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  return integer != nullptr ? *integer : 0;
}

std::string TextOf(const Value& value) {
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr ? *text : std::string();
}

std::optional<CurrentContent> FindCurrentContent(rt::Database& db, std::int64_t doc_id) {
  const rt::RowSet rows = db.QueryBound(
      "SELECT s.FILE_NAME, c.CONTENT_ID, c.FILE_SIZE, c.SHA256 FROM DB_FILE_STORAGE s"
      " JOIN DB_FILE_CONTENT c ON c.LABDOC_ID = s.LABDOC_ID AND c.REPLACEDTIME IS NULL AND c.PENDING = 0"
      " WHERE s.LABDOC_ID = ?",
      {doc_id});
  if (rows.rows.empty()) return std::nullopt;
  const std::vector<Value>& row = rows.rows.front();
  CurrentContent current;
  current.file_name = TextOf(row[0]);
  current.content_id = IntegerOf(row[1]);
  const std::int64_t size = IntegerOf(row[2]);
  if (size < 0) throw EDamagedContent(Document(doc_id) + " 的存储记录已损坏: 大小为负数");
  current.summary.size = static_cast<std::uint64_t>(size);
  // Digests are written in lower case; the column compares without regard
  // to case, and so does this.
  for (char c : TextOf(row[3]))
    current.summary.sha256.push_back(c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c);
  if (current.summary.sha256.size() != 64)
    throw EDamagedContent(Document(doc_id) + " 的存储记录已损坏: 没有有效的 SHA-256 校验值, 内容无法核对");
  return current;
}

bool DocumentExists(rt::Database& db, std::int64_t doc_id) {
  return !db.QueryBound("SELECT 1 FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id}).rows.empty();
}

// Whether a source path can be stored: false (the answer "no") when nothing,
// a folder or a device is there. A path that the system cannot examine is
// tried, so that opening it reports why it cannot be read.
bool IsStorableFile(const std::string& ansi_file) {
  const FileKind kind = Examine(ansi_file);
  return kind == FileKind::Regular || kind == FileKind::Unknown;
}

// A content being stored: its row and chunks are written in transactions of
// their own while it is pending, and it becomes a document's content in one
// last transaction (Finish). A pending content that is not finished is
// removed when the object goes.
class PendingContent {
 public:
  // Starts a pending content of a document (0: one that does not exist yet)
  // from a file of the given name.
  PendingContent(rt::Database& db, std::int64_t doc_id, const std::string& source_name) : db_(db) {
    rt::Transaction transaction(db_, rt::Transaction::Kind::Immediate);
    db_.ExecuteBound(
        "INSERT INTO DB_FILE_CONTENT(LABDOC_ID, FILE_NAME, STOREDTIME, PENDING) VALUES(?, ?, ?, 1)",
        {doc_id, source_name, rt::datetime::NowText()});
    id_ = sqlite3_last_insert_rowid(db_.Handle());
    transaction.Commit();
  }
  ~PendingContent() {
    if (!finished_) Discard();
  }
  PendingContent(const PendingContent&) = delete;
  PendingContent& operator=(const PendingContent&) = delete;

  // Stores the rest of the file as the content's chunks.
  void Write(InputFile& source) { summary_ = WriteChunks(db_, id_, source); }

  // In the last transaction, which this commits: makes the content the
  // document's current content, stamped now, and describes it in the
  // document's row.
  void Finish(std::int64_t doc_id, rt::Transaction& transaction) {
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

 private:
  // Removes the content and its chunks; a failure leaves them to the sweep
  // of abandoned contents.
  void Discard() noexcept {
    try {
      rt::Transaction transaction(db_, rt::Transaction::Kind::Immediate);
      db_.ExecuteBound("DELETE FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND PENDING = 1", {id_});
      transaction.Commit();
    } catch (...) {
    }
  }

  rt::Database& db_;
  std::int64_t id_ = 0;
  ContentSummary summary_;
  bool finished_ = false;
};

// Refuses to let a fetch replace the file at `path` (named `name` in the
// cache folder) unless it is a copy the store put there and nobody changed
// since. Nothing there is fine.
void KeepUnstoredEdits(rt::Database& db, const CacheRecords& records, std::int64_t doc_id, const std::string& name,
                       const std::string& path) {
  if (Examine(path) == FileKind::Missing) return;
  const std::optional<CachedCopy> recorded = records.Find(db, name);
  if (recorded && HoldsContent(path, recorded->fetched_as.size, recorded->fetched_as.sha256)) return;
  const std::string keep = ", 为免丢失没有覆盖它。请先保存其中的修改(修改文档), 或将它移走后再试";
  if (!recorded)
    throw EUnstoredEdits("缓存中已有文件 " + path + ", 它不是从文档库取出的原样副本" + keep);
  if (recorded->doc_id == doc_id)
    throw EUnstoredEdits(Document(doc_id) + " 在缓存中的副本 " + path + " 有尚未保存到服务器的修改" + keep);
  throw EUnstoredEdits("缓存中的文件 " + path + " 是" + Document(recorded->doc_id) +
                       " 的副本, 有尚未保存到服务器的修改" + keep);
}

// Removes pending contents whose storing began more than a day ago: a
// process that stored them ended before finishing (a store takes seconds,
// not days). Housekeeping: a database that is busy is left for next time.
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

}  // namespace

DocumentStore::DocumentStore(std::string_view ansi_cache_dir, DatabaseLink& link)
    : cache_(ansi_cache_dir), records_(rt::Environment().computer_name, cache_.Dir()), link_(link) {
  if (!rt::ForceDirectories(cache_.Dir())) throw rt::Exception("无法创建文档缓存目录 " + cache_.Dir());
  // Only the document operations need the database: one that cannot be
  // reached now is reported by the first of them, and everything else the
  // caller does still works.
  try {
    link_.Connect();
  } catch (const rt::EDatabaseError&) {
    return;
  }
  SweepAbandonedContents(link_.Get());
}

std::optional<std::int32_t> DocumentStore::Save(const std::string& ansi_file) {
  if (!IsStorableFile(ansi_file)) return std::nullopt;
  const std::string name = rt::SafeFileName(rt::ExtractFileName(ansi_file));
  InputFile source(ansi_file);
  rt::Database& db = link_.Get();
  PendingContent content(db, 0, name);
  content.Write(source);
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  db.ExecuteBound("INSERT INTO DB_FILE_STORAGE(FILE_NAME) VALUES(?)", {name});
  const std::int64_t doc_id = sqlite3_last_insert_rowid(db.Handle());
  if (doc_id < 1 || doc_id > std::numeric_limits<std::int32_t>::max())
    throw rt::Exception("文档编号 " + std::to_string(doc_id) + " 超出了 32 位编号的范围");
  content.Finish(doc_id, transaction);
  return static_cast<std::int32_t>(doc_id);
}

bool DocumentStore::Update(std::int32_t doc_id, const std::string& ansi_file) {
  if (!IsStorableFile(ansi_file)) return false;
  rt::Database& db = link_.Get();
  {
    // Asked first, so that a missing document is not an error about the file.
    rt::Transaction look(db, rt::Transaction::Kind::Deferred);
    if (!DocumentExists(db, doc_id)) return false;
    look.Commit();
  }
  // A copy in the cache folder carries the document it was fetched for.
  const std::optional<std::string> cached_name = CachedName(ansi_file);
  if (cached_name) {
    const std::optional<CachedCopy> recorded = records_.Find(db, *cached_name);
    if (recorded && recorded->doc_id != doc_id)
      throw rt::Exception("缓存中的文件 " + ansi_file + " 是" + Document(recorded->doc_id) + " 的副本, 不能保存为" +
                          Document(doc_id) + " 的内容");
  }
  InputFile source(ansi_file);
  PendingContent content(db, doc_id, rt::ExtractFileName(ansi_file));
  content.Write(source);
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  if (!DocumentExists(db, doc_id)) return false;  // deleted meanwhile: the content goes
  content.Finish(doc_id, transaction);
  // The copy now holds the current content: it has no unstored edits.
  if (cached_name) {
    rt::Transaction look(db, rt::Transaction::Kind::Deferred);
    const std::optional<CurrentContent> current = FindCurrentContent(db, doc_id);
    look.Commit();
    if (current) records_.Remember(db, *cached_name, {doc_id, current->content_id, current->summary});
  }
  return true;
}

std::optional<std::string> DocumentStore::CachedName(const std::string& ansi_path) const {
  if (rt::ExtractFilePath(ansi_path) != cache_.Dir()) return std::nullopt;
  return rt::ExtractFileName(ansi_path);
}

bool DocumentStore::Delete(std::int32_t doc_id) {
  rt::Database& db = link_.Get();
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  // The schema's triggers delete the document's contents and their chunks.
  const std::int64_t deleted = db.ExecuteBound("DELETE FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {std::int64_t{doc_id}});
  transaction.Commit();
  return deleted > 0;
}

std::optional<std::string> DocumentStore::Fetch(std::int32_t doc_id, std::size_t max_path_length) {
  rt::Database& db = link_.Get();
  // One read transaction: the content cannot change or vanish while it is
  // read, and writers of other connections are not held up by it.
  rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
  const std::optional<CurrentContent> current = FindCurrentContent(db, doc_id);
  if (!current) return std::nullopt;
  // Names stored before names were made safe when storing get the same rule
  // here, so no stored name can lead outside the folder.
  const std::string name = rt::SafeFileName(current->file_name);
  const std::string path = cache_.PathOf(name);
  if (path.size() > max_path_length) return std::nullopt;
  const CachedCopy fetched{doc_id, current->content_id, current->summary};
  if (HoldsContent(path, current->summary.size, current->summary.sha256)) {
    snapshot.Commit();
    records_.Remember(db, name, fetched);
    return path;
  }
  KeepUnstoredEdits(db, records_, doc_id, name, path);
  // The folder may have been removed since the store was initialised.
  if (!rt::ForceDirectories(cache_.Dir())) throw rt::Exception("无法创建文档缓存目录 " + cache_.Dir());
  AtomicFile copy(path);
  ReadChunks(db.Handle(), current->content_id, current->summary, Document(doc_id),
             [&](const std::uint8_t* data, std::size_t size) { copy.Write(data, size); });
  snapshot.Commit();
  copy.PutInPlace();
  records_.Remember(db, name, fetched);
  return path;
}

bool DocumentStore::HoldsUnstoredEdits(std::int32_t doc_id, const std::string& ansi_path) {
  const std::optional<std::string> name = CachedName(ansi_path);
  if (!name || Examine(ansi_path) != FileKind::Regular) return false;
  rt::Database& db = link_.Get();
  rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
  const std::optional<CachedCopy> recorded = records_.Find(db, *name);
  if (!recorded || recorded->doc_id != doc_id) return false;
  const std::optional<CurrentContent> current = FindCurrentContent(db, doc_id);
  snapshot.Commit();
  if (!current || rt::SafeFileName(current->file_name) != *name) return false;
  return !HoldsContent(ansi_path, recorded->fetched_as.size, recorded->fetched_as.sha256) &&
         !HoldsContent(ansi_path, current->summary.size, current->summary.sha256);
}

}  // namespace labdocs::labdoc
