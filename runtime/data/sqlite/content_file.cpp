#include "runtime/data/sqlite/content_file.h"

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "runtime/data/sqlite/database.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"

namespace rt::sqlite::content_file {
namespace {

// The content file's schema version: 1 held the chunks; 2 carries the
// identity of its database too.
constexpr int kVersion = 2;

// The content file's tables of kVersion in the schema named, for the
// database whose identity is given, in one transaction: made in a new
// file, added to a file of version 1 (whose table is kept).
std::string TablesSql(const std::string& schema, const std::string& database_id) {
  // clang-format off
  return "BEGIN IMMEDIATE;"
         "CREATE TABLE IF NOT EXISTS " + schema + ".DB_FILE_CHUNK ("
         "  CONTENT_ID INTEGER NOT NULL,"
         "  SEQ        INTEGER NOT NULL,"
         "  DATA       BLOB NOT NULL,"
         "  PRIMARY KEY (CONTENT_ID, SEQ));"
         "CREATE TABLE IF NOT EXISTS " + schema + ".DB_CONTENT_DATABASE (DATABASE_ID TEXT NOT NULL);"
         "INSERT INTO " + schema + ".DB_CONTENT_DATABASE(DATABASE_ID) SELECT '" + database_id +
         "' WHERE NOT EXISTS (SELECT 1 FROM " + schema + ".DB_CONTENT_DATABASE);"
         "PRAGMA " + schema + ".user_version = " + std::to_string(kVersion) + ";"
         "COMMIT;";
  // clang-format on
}

// The file's lasting properties, which take effect only before its first
// table: 64 KiB pages, pages given back on request.
std::string PropertiesSql(const std::string& schema) {
  return "PRAGMA " + schema + ".page_size = 65536; PRAGMA " + schema + ".auto_vacuum = INCREMENTAL;";
}

void ExecTables(sqlite3* db, const std::string& sql) {
  try {
    sqlite::Exec(db, sql);
  } catch (...) {
    if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

// Makes the file with its tables through a connection of its own: a
// connection that opens only existing files cannot attach a new one.
void CreateFile(const std::string& path, const std::string& database_id) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  struct Closer {
    sqlite3* db;
    ~Closer() { sqlite3_close_v2(db); }
  } closer{raw};
  if (rc != SQLITE_OK) sqlite::ThrowError(raw, "content file");
  sqlite3_busy_timeout(raw, 10'000);
  sqlite::Exec(raw, PropertiesSql("main"));
  ExecTables(raw, TablesSql("main", database_id));
}

// SQLite's result of attaching the file: SQLITE_DONE when it is attached.
int TryAttach(sqlite3* db, const std::string& path) {
  sqlite::StatementPtr attach = sqlite::Prepare(db, "ATTACH DATABASE ? AS content");
  if (sqlite3_bind_text(attach.get(), 1, path.c_str(), -1, SQLITE_TRANSIENT) != SQLITE_OK) sqlite::ThrowError(db);
  return sqlite3_step(attach.get());
}

// One row of one query (UTF-8) through `read`, which receives the statement
// positioned on it; a query without a row passes a null statement.
template <class Read>
void QueryRow(sqlite3* db, const std::string& sql, Read&& read) {
  sqlite::StatementPtr statement = sqlite::Prepare(db, sql);
  const int rc = sqlite3_step(statement.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) sqlite::ThrowError(db, sql);
  read(rc == SQLITE_ROW ? statement.get() : nullptr);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text != nullptr ? text : "";
}

// What the database records of its contents, read with a few indexed
// lookups.
struct DatabaseRecord {
  std::string database_id;
  std::int64_t first_content_id = 1;    // the first whose chunks lie in the content file
  std::int64_t highest_content_id = 0;  // the highest number handed out
  std::int64_t newest_with_bytes = 0;   // the newest finished content with bytes; 0: none
  // Whether the content file holds, or held, any content's chunks.
  bool RecordsContents() const { return highest_content_id >= first_content_id; }
};

DatabaseRecord ReadDatabaseRecord(sqlite3* db) {
  DatabaseRecord record;
  QueryRow(db,
           "SELECT f.DATABASE_ID, f.FIRST_CONTENT_ID,"
           " max(ifnull((SELECT seq FROM main.sqlite_sequence WHERE name = 'DB_FILE_CONTENT'), 0),"
           "     ifnull((SELECT max(CONTENT_ID) FROM main.DB_FILE_CONTENT), 0)),"
           " ifnull((SELECT CONTENT_ID FROM main.DB_FILE_CONTENT INDEXED BY IX_DB_FILE_CONTENT_WithBytes"
           "         WHERE PENDING = 0 AND FILE_SIZE > 0 ORDER BY CONTENT_ID DESC LIMIT 1), 0)"
           " FROM main.DB_CONTENT_FILE f",
           [&](sqlite3_stmt* row) {
             if (row == nullptr) throw EDatabaseError("Database error: the database names no content file");
             record.database_id = ColumnText(row, 0);
             record.first_content_id = sqlite3_column_int64(row, 1);
             record.highest_content_id = sqlite3_column_int64(row, 2);
             record.newest_with_bytes = sqlite3_column_int64(row, 3);
           });
  // The identity goes into the content file's SQL as a literal.
  if (record.database_id.empty() || record.database_id.find_first_not_of("0123456789abcdef") != std::string::npos)
    throw EDatabaseError("Database error: the database's identity is not one this system makes: " + record.database_id);
  return record;
}

// The two files by their full paths (GBK), for the messages that refuse
// them.
struct Pair {
  std::string database;
  std::string content;
};

Pair ShownPair(sqlite3* db, const std::string& content_path) {
  const char* main = sqlite3_db_filename(db, "main");
  std::string database = main != nullptr && *main != '\0' ? main : "";
  const std::size_t slash = database.find_last_of("/\\");
  const std::size_t name = content_path.find_last_of("/\\");
  const std::string content = slash == std::string::npos
                                  ? content_path
                                  : database.substr(0, slash + 1) +
                                        (name == std::string::npos ? content_path : content_path.substr(name + 1));
  return {sqlite::ShownPath(database), sqlite::ShownPath(content)};
}

[[noreturn]] void Refuse(const std::string& message) {
  throw sqlite::Error("Database error: " + message + " The database and the content file are left as they are.",
                      sqlite::Failure::ContentFile);
}

[[noreturn]] void RefuseMissing(const Pair& pair, bool empty) {
  Refuse("the content file " + pair.content + " of the database " + pair.database + " is " +
         (empty ? "an empty file" : "missing") +
         ", but the database records stored contents, whose bytes lie in that file: it may not have been copied or "
         "restored with the database. Put the content file back beside the database, from the same copy or backup "
         "as the database; a new, empty one would leave every document without its content, so none is made.");
}

[[noreturn]] void RefuseDamaged(const Pair& pair, const std::string& complaint) {
  throw sqlite::Error(
      "Database error: the content file " + pair.content + " of the database " + pair.database + " is damaged (" +
          sqlite::ShownPath(complaint) +
          "). Restore the database and its content file together from the same copy or backup; both are left as "
          "they are.",
      sqlite::Failure::ContentFile);
}

enum class FileState { Missing, Empty, Present };

FileState StateOf(const std::string& path) {
  std::error_code error;
  const std::filesystem::path file = platform::Utf8Path(path);
  if (!std::filesystem::exists(file, error)) return error ? FileState::Present : FileState::Missing;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  return !error && size == 0 ? FileState::Empty : FileState::Present;
}

// What the attached content file holds of its database's identity and
// contents. Read before the database's record, in the same read
// transaction: the content file is then locked against writers (its
// rollback journal lets none commit while it is read), so every chunk it
// holds had its content's row committed before the database's snapshot, and
// every content that snapshot finds finished had its chunks committed before
// the lock.
struct ContentRecord {
  int version = 0;
  bool has_tables = false;
  std::string database_id;           // "" for a file of version 1
  std::int64_t highest_chunked = 0;  // the highest content number with chunks
};

ContentRecord ReadContentRecord(sqlite3* db) {
  ContentRecord record;
  QueryRow(db, "PRAGMA content.user_version", [&](sqlite3_stmt* row) { record.version = sqlite3_column_int(row, 0); });
  QueryRow(db, "SELECT EXISTS (SELECT 1 FROM content.sqlite_master)",
           [&](sqlite3_stmt* row) { record.has_tables = sqlite3_column_int(row, 0) != 0; });
  if (record.version == 0 || record.version > kVersion) return record;
  QueryRow(db, "SELECT ifnull((SELECT max(CONTENT_ID) FROM content.DB_FILE_CHUNK), 0)",
           [&](sqlite3_stmt* row) { record.highest_chunked = sqlite3_column_int64(row, 0); });
  if (record.version >= 2)
    QueryRow(db, "SELECT DATABASE_ID FROM content.DB_CONTENT_DATABASE", [&](sqlite3_stmt* row) {
      if (row != nullptr) record.database_id = ColumnText(row, 0);
    });
  return record;
}

bool HasChunks(sqlite3* db, std::int64_t content_id) {
  sqlite::StatementPtr statement = sqlite::Prepare(db,
                                                   "SELECT 1 FROM content.DB_FILE_CHUNK WHERE CONTENT_ID = ? LIMIT 1");
  sqlite3_bind_int64(statement.get(), 1, content_id);
  const int rc = sqlite3_step(statement.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) sqlite::ThrowError(db);
  return rc == SQLITE_ROW;
}

// A read of the content file, whose "damaged" (not a database, malformed)
// is the content file's.
template <class Read>
auto ReadingContent(sqlite3* db, const Pair& pair, Read&& read) {
  try {
    return read();
  } catch (const sqlite::Error& error) {
    if (error.Kind() == sqlite::Failure::Damaged) RefuseDamaged(pair, sqlite3_errmsg(db));
    throw;
  }
}

// Refuses an attached content file that is not this database's, or not of
// the same time as it; gives it the database's identity when it has none
// yet (a file of version 1), or its tables when it is empty and the
// database records no contents.
void CheckAttached(sqlite3* db, const Pair& pair) {
  ContentRecord content;
  DatabaseRecord database;
  bool newest_has_chunks = true;
  {
    sqlite::Exec(db, "BEGIN");
    struct Ender {
      sqlite3* db;
      ~Ender() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } ender{db};
    content = ReadingContent(db, pair, [&] { return ReadContentRecord(db); });
    database = ReadDatabaseRecord(db);
    if (content.version >= 1 && content.version <= kVersion && database.newest_with_bytes >= database.first_content_id)
      newest_has_chunks = ReadingContent(db, pair, [&] { return HasChunks(db, database.newest_with_bytes); });
  }
  if (content.version > kVersion)
    Refuse("the content file " + pair.content + " has version " + std::to_string(content.version) +
           ", newer than this program's " + std::to_string(kVersion) + ": it was written by a newer program.");
  if (content.version == 0) {
    if (content.has_tables) RefuseDamaged(pair, "it holds tables but no version: it is no content file of this system");
    if (database.RecordsContents()) RefuseMissing(pair, true);
    sqlite::Exec(db, PropertiesSql(kSchema));
    ExecTables(db, TablesSql(kSchema, database.database_id));
    return;
  }
  if (!content.database_id.empty() && content.database_id != database.database_id)
    Refuse("the content file " + pair.content + " belongs to another database, not to " + pair.database +
           ": it was put in place of this database's own. Put the content file that was copied or restored with "
           "this database back beside it (from the same copy or backup), and move this one back to its own "
           "database.");
  if (content.highest_chunked > database.highest_content_id)
    Refuse("the database " + pair.database + " is older than its content file " + pair.content +
           ": the content file holds contents stored after this database was copied (content number " +
           std::to_string(content.highest_chunked) + ", the database's last is " +
           std::to_string(database.highest_content_id) +
           "). Put back the newer database that belongs with this content file, or restore both files from the "
           "same copy or backup.");
  if (!newest_has_chunks)
    Refuse("the content file " + pair.content + " is older than its database " + pair.database +
           ": it lacks the bytes of contents stored since it was copied (content number " +
           std::to_string(database.newest_with_bytes) +
           "). Put back the newer content file that belongs with this database, or restore both files from the "
           "same copy or backup.");
  if (content.database_id.empty()) ExecTables(db, TablesSql(kSchema, database.database_id));
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
  const std::string file = ColumnText(name.get(), 0);
  if (file.empty() || file.find_first_of("/\\:") != std::string::npos)
    throw EDatabaseError("Database error: the content file's name is not a file name: " + file);
  const std::size_t slash = native_path.find_last_of("/\\");
  return (slash == std::string::npos ? std::string() : native_path.substr(0, slash + 1)) + file;
}

std::string NameBeside(const std::string& native_path) noexcept {
  sqlite3* raw = nullptr;
  std::string name;
  // Without a write-ahead log beside it, as an immutable file: read without
  // locks, and without making a log and its index beside a damaged file.
  // With one, through it, as any reader.
  std::error_code error;
  const bool logged = std::filesystem::exists(platform::Utf8Path(native_path + "-wal"), error);
  std::string uri = "file:";
  if (native_path.size() > 1 && native_path[1] == ':') uri += '/';  // a drive letter: "file:/C:/..."
  for (const char c : native_path) {
    if (c == '%' || c == '?' || c == '#') {
      static constexpr char kHex[] = "0123456789abcdef";
      uri += {'%', kHex[static_cast<unsigned char>(c) >> 4], kHex[c & 0xF]};
    } else {
      uri += c == '\\' ? '/' : c;
    }
  }
  if (!logged) uri += "?immutable=1";
  if (sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(raw, "SELECT NAME FROM main.DB_CONTENT_FILE", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      try {
        name = sqlite::ShownPath(ColumnText(statement, 0));
      } catch (...) {
      }
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close_v2(raw);
  return name.find_first_of("/\\:") == std::string::npos ? name : "";
}

void Attach(sqlite3* db, const std::string& native_path, bool* removed) {
  const std::string path = FilePath(db, native_path);
  const Pair pair = ShownPair(db, path);
  // A content file is made only for a database that has no contents in
  // one: never in place of a file that was lost or left behind.
  if (const FileState state = StateOf(path); state != FileState::Present) {
    const DatabaseRecord database = ReadDatabaseRecord(db);
    if (database.RecordsContents()) RefuseMissing(pair, state == FileState::Empty);
    CreateFile(path, database.database_id);
  }
  const int rc = TryAttach(db, path);
  if (rc != SQLITE_DONE) {
    if (sqlite::FailureOf(rc) == sqlite::Failure::Damaged) RefuseDamaged(pair, sqlite3_errmsg(db));
    sqlite::ThrowError(db, "ATTACH DATABASE " + path);
  }
  try {
    CheckAttached(db, pair);
    // Room for a chunk's pages and some: the content file's readers wait
    // only once a batch's pages no longer fit and go into the file.
    sqlite::Exec(db, "PRAGMA content.cache_size = -2048");
    if (sqlite3_create_function(db, "rt_content_removed", 0, SQLITE_UTF8, removed, NoteRemoval, nullptr, nullptr) !=
        SQLITE_OK)
      sqlite::ThrowError(db);
    sqlite::Exec(db, "CREATE TEMP TRIGGER IF NOT EXISTS rt_content_removed AFTER DELETE ON main.DB_FILE_CONTENT "
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

}  // namespace rt::sqlite::content_file
