#include "labdoc/content_chunks.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "labdoc/local_file.h"
#include "labdoc/sha256.h"
#include "runtime/data/sqlite_util.h"

namespace labdocs::labdoc {
namespace {

struct BlobCloser {
  void operator()(sqlite3_blob* blob) const { sqlite3_blob_close(blob); }
};

// Inserts a chunk: on SQLite through a statement of the writer's own,
// bound to the buffer as it stands; on a server as a bytea value.
class ChunkInserter {
 public:
  explicit ChunkInserter(rt::DataSession& session) : session_(session), sqlite_(rt::AsSqlite(session)) {
    if (sqlite_ != nullptr) insert_ = rt::sqlite::Prepare(sqlite_->Handle(), kSqliteInsert);
  }

  void Insert(std::int64_t content_id, std::int64_t seq, const std::uint8_t* data, std::size_t size) {
    if (sqlite_ == nullptr) {
      session_.ExecuteBound("INSERT INTO DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(?, ?, ?)",
                            {content_id, seq, std::vector<std::uint8_t>(data, data + size)});
      return;
    }
    sqlite3* db = sqlite_->Handle();
    if (sqlite3_bind_int64(insert_.get(), 1, content_id) != SQLITE_OK ||
        sqlite3_bind_int64(insert_.get(), 2, seq) != SQLITE_OK ||
        sqlite3_bind_blob64(insert_.get(), 3, data, size, SQLITE_STATIC) != SQLITE_OK ||
        sqlite3_step(insert_.get()) != SQLITE_DONE) {
      rt::sqlite::ThrowError(db, kSqliteInsert);
    }
    sqlite3_reset(insert_.get());
  }

 private:
  static constexpr const char* kSqliteInsert =
      "INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(?, ?, ?)";
  rt::DataSession& session_;
  rt::Database* sqlite_;
  rt::sqlite::StatementPtr insert_;
};

}  // namespace

ContentSummary WriteChunks(rt::DataSession& database, std::int64_t content_id, InputFile& source) {
  ChunkInserter insert(database);
  // Deferred: on SQLite only the content file is written, and only its lock
  // is taken.
  constexpr auto kKind = rt::Transaction::Kind::Deferred;
  auto transaction = std::make_unique<rt::Transaction>(database, kKind);
  ParallelSha256 digest(kChunkSize);
  ContentSummary summary;
  for (std::int64_t seq = 0;; ++seq) {
    std::uint8_t* buffer = digest.Next();
    const std::size_t n = source.Read(buffer, kChunkSize);
    if (n == 0) break;
    digest.Submit(n);
    summary.size += n;
    if (summary.size > source.SizeAtOpening()) break;  // it grew: refused below
    insert.Insert(content_id, seq, buffer, n);
    if (n < kChunkSize) break;  // the end of the file
    if ((seq + 1) % kChunksPerTransaction == 0) {
      transaction->Commit();
      transaction = std::make_unique<rt::Transaction>(database, kKind);
    }
  }
  if (summary.size != source.SizeAtOpening())
    throw rt::Exception("文件 " + source.Path() + " 在读取时发生了变化(打开时 " +
                        std::to_string(source.SizeAtOpening()) + " 字节, 读到 " + std::to_string(summary.size) +
                        " 字节)");
  summary.sha256 = digest.HexDigest();
  transaction->Commit();
  return summary;
}

void BeginContentRead(rt::DataSession& session) {
  rt::Database* sqlite = rt::AsSqlite(session);
  if (sqlite == nullptr) {
    session.ExecuteBound("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ", {});
    return;
  }
  sqlite3* db = sqlite->Handle();
  rt::sqlite::StatementPtr read = rt::sqlite::Prepare(db, "SELECT count(*) FROM content.sqlite_master");
  if (sqlite3_step(read.get()) != SQLITE_ROW) rt::sqlite::ThrowError(db);
}

void RemoveChunks(rt::DataSession& session, std::int64_t content_id) {
  session.ExecuteBound(rt::AsSqlite(session) != nullptr ? "DELETE FROM content.DB_FILE_CHUNK WHERE CONTENT_ID = ?"
                                                         : "DELETE FROM DB_FILE_CHUNK WHERE CONTENT_ID = ?",
                       {content_id});
}

namespace {

// The schema whose DB_FILE_CHUNK holds a content's chunks: the content file,
// or the host database's own table for contents stored before there was one.
const char* ChunkSchema(sqlite3* db, std::int64_t content_id) {
  rt::sqlite::StatementPtr find =
      rt::sqlite::Prepare(db, "SELECT 1 FROM content.DB_FILE_CHUNK WHERE CONTENT_ID = ? LIMIT 1");
  sqlite3_bind_int64(find.get(), 1, content_id);
  int rc = sqlite3_step(find.get());
  if (rc == SQLITE_ROW) return "content";
  if (rc != SQLITE_DONE) rt::sqlite::ThrowError(db);
  rt::sqlite::StatementPtr legacy =
      rt::sqlite::Prepare(db, "SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = 'DB_FILE_CHUNK'");
  rc = sqlite3_step(legacy.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) rt::sqlite::ThrowError(db);
  return rc == SQLITE_ROW ? "main" : "content";
}

// A server's chunks: their places and lengths first, then each chunk's
// bytes by a statement of its own, so one chunk at a time is in memory.
void ReadServerChunks(rt::DataSession& db, std::int64_t content_id, const ContentSummary& recorded,
                      const std::string& what, const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
  const rt::RowSet places =
      db.QueryBound("SELECT SEQ, length(DATA) FROM DB_FILE_CHUNK WHERE CONTENT_ID = ? ORDER BY SEQ", {content_id});
  ParallelSha256 digest(kChunkSize);
  std::uint64_t total = 0;
  std::int64_t expected_seq = 0;
  for (const std::vector<rt::Value>& place : places.rows) {
    const std::int64_t seq = std::get<std::int64_t>(place[0]);
    if (seq != expected_seq++)
      throw EDamagedContent(what + " 的存储内容已损坏: 缺少第 " + std::to_string(expected_seq - 1) + " 块");
    const auto length = static_cast<std::uint64_t>(std::get<std::int64_t>(place[1]));
    if (length > recorded.size - total || length > kChunkSize)
      throw EDamagedContent(what + " 的存储内容已损坏: 超出记录的大小");
    const std::optional<std::vector<std::uint8_t>> bytes =
        db.QueryBytes("SELECT DATA FROM DB_FILE_CHUNK WHERE CONTENT_ID = ? AND SEQ = ?", {content_id, seq});
    if (!bytes || bytes->size() != length)
      throw EDamagedContent(what + " 的存储内容已损坏: 第 " + std::to_string(seq) + " 块不是二进制数据");
    std::uint8_t* buffer = digest.Next();
    std::copy(bytes->begin(), bytes->end(), buffer);
    digest.Submit(bytes->size());
    sink(buffer, bytes->size());
    total += length;
  }
  if (total != recorded.size) throw EDamagedContent(what + " 的存储内容已损坏: 比记录的大小短");
  if (digest.HexDigest() != recorded.sha256)
    throw EDamagedContent(what + " 的存储内容已损坏: SHA-256 校验值不符");
}

}  // namespace

void ReadChunks(rt::DataSession& session, std::int64_t content_id, const ContentSummary& recorded,
                const std::string& what, const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
  rt::Database* sqlite = rt::AsSqlite(session);
  if (sqlite == nullptr) return ReadServerChunks(session, content_id, recorded, what, sink);
  sqlite3* db = sqlite->Handle();
  // The rows give each chunk's place and length; the bytes are read through
  // a blob handle straight into the buffers.
  const char* schema = ChunkSchema(db, content_id);
  const std::string select_sql = std::string("SELECT rowid, SEQ, typeof(DATA), length(DATA) FROM ") + schema +
                                 ".DB_FILE_CHUNK WHERE CONTENT_ID = ? ORDER BY SEQ";
  const char* const kSelect = select_sql.c_str();
  rt::sqlite::StatementPtr select = rt::sqlite::Prepare(db, kSelect);
  if (sqlite3_bind_int64(select.get(), 1, content_id) != SQLITE_OK) rt::sqlite::ThrowError(db, kSelect);
  std::unique_ptr<sqlite3_blob, BlobCloser> blob;
  ParallelSha256 digest(kChunkSize);
  std::uint64_t total = 0;
  std::int64_t expected_seq = 0;
  int rc;
  while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
    const std::string chunk = "第 " + std::to_string(expected_seq) + " 块";
    if (sqlite3_column_int64(select.get(), 1) != expected_seq++)
      throw EDamagedContent(what + " 的存储内容已损坏: 缺少" + chunk);
    const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 2));
    if (type == nullptr || std::string_view(type) != "blob")
      throw EDamagedContent(what + " 的存储内容已损坏: " + chunk + "不是二进制数据");
    const auto length = static_cast<std::uint64_t>(sqlite3_column_int64(select.get(), 3));
    if (length > recorded.size - total) throw EDamagedContent(what + " 的存储内容已损坏: 超出记录的大小");
    const sqlite3_int64 rowid = sqlite3_column_int64(select.get(), 0);
    if (!blob) {
      sqlite3_blob* opened = nullptr;
      rc = sqlite3_blob_open(db, schema, "DB_FILE_CHUNK", "DATA", rowid, 0, &opened);
      blob.reset(opened);
    } else {
      rc = sqlite3_blob_reopen(blob.get(), rowid);
    }
    if (rc != SQLITE_OK) rt::sqlite::ThrowError(db);
    for (std::uint64_t offset = 0; offset < length;) {
      std::uint8_t* buffer = digest.Next();
      const auto n = static_cast<int>(std::min<std::uint64_t>(kChunkSize, length - offset));
      if (sqlite3_blob_read(blob.get(), buffer, n, static_cast<int>(offset)) != SQLITE_OK) rt::sqlite::ThrowError(db);
      digest.Submit(static_cast<std::size_t>(n));
      sink(buffer, static_cast<std::size_t>(n));
      offset += static_cast<std::uint64_t>(n);
    }
    total += length;
  }
  if (rc != SQLITE_DONE) rt::sqlite::ThrowError(db, kSelect);
  if (total != recorded.size) throw EDamagedContent(what + " 的存储内容已损坏: 比记录的大小短");
  if (digest.HexDigest() != recorded.sha256)
    throw EDamagedContent(what + " 的存储内容已损坏: SHA-256 校验值不符");
}

}  // namespace labdocs::labdoc
