#include "runtime/data/content_file.h"

#include <sqlite3.h>

#include <vector>

#include "runtime/data/database.h"
#include "runtime/data/sqlite_util.h"
#include "runtime/errors.h"

namespace rt::content_file {
namespace {

// The content file's schema, version 1, in the schema named. The page size
// and the vacuum mode are set before its first table, when they can still
// take effect.
std::string CreationSql(const std::string& schema) {
  return "PRAGMA " + schema + ".page_size = 65536;"
         "PRAGMA " + schema + ".auto_vacuum = INCREMENTAL;"
         "BEGIN IMMEDIATE;"
         "CREATE TABLE IF NOT EXISTS " + schema + ".DB_FILE_CHUNK ("
         "  CONTENT_ID INTEGER NOT NULL,"
         "  SEQ        INTEGER NOT NULL,"
         "  DATA       BLOB NOT NULL,"
         "  PRIMARY KEY (CONTENT_ID, SEQ));"
         "PRAGMA " + schema + ".user_version = 1;"
         "COMMIT;";
}

void CreateIn(sqlite3* db, const std::string& schema) {
  try {
    sqlite::Exec(db, CreationSql(schema));
  } catch (...) {
    if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

// Makes the file with its table through a connection of its own: a
// connection that opens only existing files cannot attach a new one.
void CreateFile(const std::string& path) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  struct Closer {
    sqlite3* db;
    ~Closer() { sqlite3_close_v2(db); }
  } closer{raw};
  if (rc != SQLITE_OK) sqlite::ThrowError(raw, "content file");
  sqlite3_busy_timeout(raw, 10'000);
  CreateIn(raw, "main");
}

// SQLite's result of attaching the file: SQLITE_DONE when it is attached,
// SQLITE_CANTOPEN when it is missing and the connection opens only
// existing files.
int TryAttach(sqlite3* db, const std::string& path) {
  sqlite::StatementPtr attach = sqlite::Prepare(db, "ATTACH DATABASE ? AS content");
  if (sqlite3_bind_text(attach.get(), 1, path.c_str(), -1, SQLITE_TRANSIENT) != SQLITE_OK) sqlite::ThrowError(db);
  return sqlite3_step(attach.get()) & 0xFF;
}

int ContentVersion(sqlite3* db) {
  sqlite::StatementPtr statement = sqlite::Prepare(db, "PRAGMA content.user_version");
  if (sqlite3_step(statement.get()) != SQLITE_ROW) sqlite::ThrowError(db);
  return sqlite3_column_int(statement.get(), 0);
}

void NoteRemoval(sqlite3_context* context, int, sqlite3_value**) {
  *static_cast<bool*>(sqlite3_user_data(context)) = true;
  sqlite3_result_null(context);
}

}  // namespace

std::string FilePath(sqlite3* db, const std::string& native_path) {
  if (native_path.empty() || native_path == ":memory:") return native_path;
  sqlite::StatementPtr name = sqlite::Prepare(db, "SELECT NAME FROM main.DB_CONTENT_FILE");
  if (sqlite3_step(name.get()) != SQLITE_ROW) sqlite::ThrowError(db, "the content file's name");
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(name.get(), 0));
  const std::string file(text != nullptr ? text : "");
  if (file.empty() || file.find_first_of("/\\:") != std::string::npos)
    throw EDatabaseError("Database error: the content file's name is not a file name: " + file);
  const std::size_t slash = native_path.find_last_of("/\\");
  return (slash == std::string::npos ? std::string() : native_path.substr(0, slash + 1)) + file;
}

void Attach(sqlite3* db, const std::string& native_path, bool* removed) {
  const std::string path = FilePath(db, native_path);
  int rc = TryAttach(db, path);
  if (rc == SQLITE_CANTOPEN) {
    CreateFile(path);
    rc = TryAttach(db, path);
  }
  if (rc != SQLITE_DONE) sqlite::ThrowError(db, "ATTACH DATABASE");
  try {
    const int version = ContentVersion(db);
    if (version > 1)
      throw EDatabaseError("Database error: the content file has version " + std::to_string(version) +
                           ", newer than this program's 1");
    if (version == 0) CreateIn(db, kSchema);
    // Room for a chunk's pages and some: the content file's readers wait
    // only once a batch's pages no longer fit and go into the file.
    sqlite::Exec(db, "PRAGMA content.cache_size = -2048");
    if (sqlite3_create_function(db, "rt_content_removed", 0, SQLITE_UTF8, removed, NoteRemoval, nullptr,
                                nullptr) != SQLITE_OK)
      sqlite::ThrowError(db);
    sqlite::Exec(db,
                 "CREATE TEMP TRIGGER IF NOT EXISTS rt_content_removed AFTER DELETE ON main.DB_FILE_CONTENT "
                 "BEGIN SELECT rt_content_removed(); END");
  } catch (...) {
    sqlite3_exec(db, "DETACH DATABASE content", nullptr, nullptr, nullptr);
    throw;
  }
}

void RemoveChunksOfRemovedContents(Database& db) noexcept {
  try {
    // Only the entries read here are worked off: a content another
    // connection removes meanwhile stays listed until its chunks go.
    const RowSet removed = db.QueryBound("SELECT CONTENT_ID FROM main.DB_FILE_REMOVED_CONTENT", {});
    for (const std::vector<Value>& row : removed.rows) {
      // Two transactions, in this order: an entry goes only once its
      // chunks are gone for good.
      db.ExecuteBound("DELETE FROM content.DB_FILE_CHUNK WHERE CONTENT_ID = ?", {row[0]});
      db.ExecuteBound("DELETE FROM main.DB_FILE_REMOVED_CONTENT WHERE CONTENT_ID = ?", {row[0]});
    }
  } catch (...) {
  }
}

}  // namespace rt::content_file
