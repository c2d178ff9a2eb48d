#include "labdoc/sqlite_storage.h"

#include <sqlite3.h>

#include <algorithm>
#include <string_view>

#include "labdoc/owner_lock.h"
#include "labdoc/random_token.h"
#include "runtime/data/sqlite/content_file.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace labdocs::labdoc {
namespace {

struct BlobCloser {
  void operator()(sqlite3_blob* blob) const { sqlite3_blob_close(blob); }
};

// PRAGMA auto_vacuum's values.
enum VacuumMode { kNone = 0, kFull = 1, kIncremental = 2 };

int VacuumModeOf(sqlite3* db, const std::string& schema) {
  rt::sqlite::StatementPtr statement = rt::sqlite::Prepare(db, "PRAGMA " + schema + ".auto_vacuum");
  if (sqlite3_step(statement.get()) != SQLITE_ROW) rt::sqlite::ThrowError(db);
  return sqlite3_column_int(statement.get(), 0);
}

// The folder of the owners' lock files of the database open as `db`.
std::string OwnerFolderOf(rt::sqlite::Database& db) {
  // SQLite's own full path of the file, made when it was opened: the path
  // the caller gave may be relative to a current folder that has changed
  // since. Both are UTF-8 on every system, which is not the native form on
  // Windows. A database without a file (":memory:") has none.
  const char* full = sqlite3_db_filename(db.Handle(), "main");
  const std::string utf8 = full != nullptr ? full : db.Path();
  if (utf8.empty()) return {};
  return rt::IncludeTrailingPathDelimiter(rt::platform::AnsiPath(rt::platform::Utf8Path(utf8)) + "-labdoc-locks");
}

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

constexpr const char* kRemoveChunks = "DELETE FROM content.DB_FILE_CHUNK WHERE CONTENT_ID = ?";

// Inserts a content's chunks through a statement of its own, bound to each
// buffer as it stands.
class SqliteChunkWriter : public ContentStorage::ChunkWriter {
 public:
  SqliteChunkWriter(rt::sqlite::Database& db, std::int64_t content_id)
      : db_(db.Handle()), content_id_(content_id), insert_(rt::sqlite::Prepare(db_, kInsert)) {
    // The content file is written apart from the host database: a copy of
    // the two taken at different moments (while a store went on) may hold
    // chunks under a number that the database gives out again. A new
    // content's number belongs to no finished content, so any there are
    // left over.
    db.ExecuteBound(kRemoveChunks, {content_id});
  }

  void Insert(std::int64_t seq, const std::uint8_t* data, std::size_t size) override {
    if (sqlite3_bind_int64(insert_.get(), 1, content_id_) != SQLITE_OK ||
        sqlite3_bind_int64(insert_.get(), 2, seq) != SQLITE_OK ||
        sqlite3_bind_blob64(insert_.get(), 3, data, size, SQLITE_STATIC) != SQLITE_OK ||
        sqlite3_step(insert_.get()) != SQLITE_DONE) {
      rt::sqlite::ThrowError(db_, kInsert);
    }
    sqlite3_reset(insert_.get());
  }

 private:
  static constexpr const char* kInsert = "INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(?, ?, ?)";
  sqlite3* db_;
  const std::int64_t content_id_;
  rt::sqlite::StatementPtr insert_;
};

class SqliteStorage final : public ContentStorage {
 public:
  explicit SqliteStorage(rt::sqlite::Database& db) : ContentStorage(db), db_(db), owner_folder_(OwnerFolderOf(db)) {}

  void Ready() override { db_.AttachContentFile(); }

  void TuneOwnConnection() override { rt::sqlite::Exec(db_.Handle(), "PRAGMA journal_size_limit = 67108864"); }

  void BeginContentRead() override {
    sqlite3* db = db_.Handle();
    rt::sqlite::StatementPtr read = rt::sqlite::Prepare(db, "SELECT count(*) FROM content.sqlite_master");
    if (sqlite3_step(read.get()) != SQLITE_ROW) rt::sqlite::ThrowError(db);
  }

  // The rows give each chunk's place and length; the bytes are read through
  // a blob handle straight into the buffers.
  void ReadChunks(std::int64_t content_id, const ContentSummary& recorded, const std::string& what,
                  const ChunkSink& sink) override {
    sqlite3* db = db_.Handle();
    const char* schema = ChunkSchema(db, content_id);
    const std::string select_sql = std::string("SELECT rowid, SEQ, typeof(DATA), length(DATA) FROM ") + schema +
                                   ".DB_FILE_CHUNK WHERE CONTENT_ID = ? ORDER BY SEQ";
    const char* const kSelect = select_sql.c_str();
    rt::sqlite::StatementPtr select = rt::sqlite::Prepare(db, kSelect);
    if (sqlite3_bind_int64(select.get(), 1, content_id) != SQLITE_OK) rt::sqlite::ThrowError(db, kSelect);
    std::unique_ptr<sqlite3_blob, BlobCloser> blob;
    ChunkCheck check(recorded, what, sink);
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
      const auto length = static_cast<std::uint64_t>(sqlite3_column_int64(select.get(), 3));
      check.Begin(sqlite3_column_int64(select.get(), 1), length);
      const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 2));
      if (type == nullptr || std::string_view(type) != "blob") check.NotBytes();
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
        std::uint8_t* buffer = check.Buffer();
        const auto n = static_cast<int>(std::min<std::uint64_t>(kChunkSize, length - offset));
        if (sqlite3_blob_read(blob.get(), buffer, n, static_cast<int>(offset)) != SQLITE_OK) rt::sqlite::ThrowError(db);
        check.Take(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
      }
    }
    if (rc != SQLITE_DONE) rt::sqlite::ThrowError(db, kSelect);
    check.End();
  }

  void RemoveChunks(std::int64_t content_id) override { db_.ExecuteBound(kRemoveChunks, {content_id}); }

  const char* RemovedContentsRemainSql() const override { return "EXISTS (SELECT 1 FROM DB_FILE_REMOVED_CONTENT)"; }
  void RemoveChunksOfRemovedContents() noexcept override {
    rt::sqlite::content_file::RemoveChunksOfRemovedContents(db_);
  }

  bool OwnersHoldKeys() const override { return false; }
  const std::string& OwnerFolder() const override { return owner_folder_; }

  bool OwnerHasEnded(std::string_view token, rt::FileLock& lock) override {
    return IsToken(token) && !owner_folder_.empty() && OwnerFileHasEnded(owner_folder_, token, lock);
  }

  // SQLite keeps the pages that deleted rows leave free inside the file for
  // reuse, so a file that once held large pending contents would keep its
  // size. A database made with incremental vacuuming (the content file, and
  // every database the host makes now) gives them back on request; one made
  // before is switched to it once, by rewriting the file.
  void GiveBackFreePages(OldFile old_file) noexcept override {
    sqlite3* db = db_.Handle();
    try {
      // The content file is made with incremental vacuuming.
      if (VacuumModeOf(db, "content") == kIncremental) rt::sqlite::Exec(db, "PRAGMA content.incremental_vacuum");
      switch (VacuumModeOf(db, "main")) {
        case kIncremental: rt::sqlite::Exec(db, "PRAGMA incremental_vacuum"); break;
        case kNone:
          if (old_file != OldFile::Switch || sqlite3_get_autocommit(db) == 0) return;
          // The mode takes effect with the VACUUM, which rewrites the file
          // without its free pages.
          rt::sqlite::Exec(db, "PRAGMA auto_vacuum = INCREMENTAL");
          rt::sqlite::Exec(db, "VACUUM");
          break;
        default: break;  // full: every commit gives the pages back
      }
    } catch (...) {
      return;
    }
    // The file shrinks when the log has been copied into it; a reader that
    // still needs the log leaves that to a later checkpoint.
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  }

 protected:
  std::unique_ptr<ChunkWriter> StartChunks(std::int64_t content_id) override {
    return std::make_unique<SqliteChunkWriter>(db_, content_id);
  }

  std::optional<std::string> NoRoomMessage(const rt::EDatabaseError& error) override {
    if (rt::sqlite::FailureOf(error) != rt::sqlite::Failure::DiskFull) return std::nullopt;
    const char* file = sqlite3_db_filename(db_.Handle(), rt::sqlite::content_file::kSchema);
    std::string shown = file != nullptr ? file : "";
    try {
      shown = rt::gbk::FromUtf8(shown);
    } catch (const rt::EConvertError&) {
    }
    return "内容文件 " + shown + " 所在的磁盘已满(或已达数据库的大小上限), 内容未能存入: " + error.what();
  }

 private:
  rt::sqlite::Database& db_;
  const std::string owner_folder_;
};

}  // namespace

std::unique_ptr<ContentStorage> MakeSqliteStorage(rt::DataSession& session) {
  auto* db = dynamic_cast<rt::sqlite::Database*>(&session);
  if (db == nullptr)
    throw rt::EDatabaseError("文档库无法使用数据库 " + session.Shown() +
                             ": 它的会话自称 SQLite, 却不是 SQLite 的连接, 内容的存取无从进行");
  return std::make_unique<SqliteStorage>(*db);
}

}  // namespace labdocs::labdoc
