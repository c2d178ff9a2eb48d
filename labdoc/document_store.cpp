#include "labdoc/document_store.h"

#include <sqlite3.h>

#include <limits>
#include <variant>

#include "labdoc/content_chunks.h"
#include "labdoc/local_file.h"
#include "labdoc/pending_content.h"
#include "runtime/errors.h"
#include "runtime/sysutils.h"
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

}  // namespace

DocumentStore::DocumentStore(std::string_view ansi_cache_dir, DatabaseLink& link) : cache_(ansi_cache_dir), link_(link) {
  if (!rt::ForceDirectories(cache_.Dir())) throw rt::Exception("无法创建文档缓存目录 " + cache_.Dir());
  RemoveAbandonedTemporaryFiles(cache_.Dir());
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
  const std::string name = rt::ExtractFileName(ansi_file);
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
  InputFile source(ansi_file);
  PendingContent content(db, doc_id, rt::ExtractFileName(ansi_file));
  content.Write(source);
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  if (!DocumentExists(db, doc_id)) return false;  // deleted meanwhile: the content goes
  content.Finish(doc_id, transaction);
  return true;
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
  if (!IsPlainFileName(current->file_name))
    throw rt::Exception(Document(doc_id) + " 的存储文件名 \"" + current->file_name + "\" 不能用作文件名");
  const std::string path = cache_.PathOf(current->file_name);
  if (path.size() > max_path_length) return std::nullopt;
  if (HoldsContent(path, current->summary.size, current->summary.sha256)) {
    snapshot.Commit();
    return path;
  }
  // The folder may have been removed since the store was initialised.
  if (!rt::ForceDirectories(cache_.Dir())) throw rt::Exception("无法创建文档缓存目录 " + cache_.Dir());
  AtomicFile copy(path);
  ReadChunks(db.Handle(), current->content_id, current->summary, Document(doc_id),
             [&](const std::uint8_t* data, std::size_t size) { copy.Write(data, size); });
  snapshot.Commit();
  copy.PutInPlace();
  return path;
}

}  // namespace labdocs::labdoc
