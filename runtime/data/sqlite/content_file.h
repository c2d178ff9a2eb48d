// The contents' own database file. The bytes of stored contents (the rows of
// DB_FILE_CHUNK) lie in a file of their own in the host database's folder,
// under the name its DB_CONTENT_FILE row gives (made at random with the
// schema, so that renaming the database keeps it, and two databases in one
// folder never share it). The document store attaches it to its connection
// as the schema "content"; it has 64 KiB pages and a rollback journal: a
// content's new pages are
// written once, straight into the file, rather than twice through the
// write-ahead log in 4 KiB pages. Readers of the host's tables are never
// held up by a content being stored; a fetch waits at most for one batch of
// a store's chunks to commit.
//
// The host database's DB_FILE_CONTENT rows say which contents exist; the
// two files are kept consistent by order rather than by a common
// transaction. A content's chunks are committed while its row is pending,
// before the row makes it current; a content's chunks are removed only
// after its row's removal is committed: a trigger lists every removed
// content in DB_FILE_REMOVED_CONTENT, in the removal's own transaction, and
// the list is worked off afterwards (by the connection that removed it, or
// by the next document store that starts). Database files of schema
// version 5 and before keep their chunks in the host database's own
// DB_FILE_CHUNK, where they are read, and removed, as before.
//
// The two files are one: each knows the other, and a file that was lost,
// swapped or restored from another time is refused rather than taken for
// an empty or current one. The database's identity (DB_CONTENT_FILE's
// DATABASE_ID, made at random with its schema) lies in the content file
// too (DB_CONTENT_DATABASE, since the file's version 2; a file of version 1
// is given it once, when it is next attached and found to fit). The
// content numbers serve as the pair's generation: CONTENT_ID is
// AUTOINCREMENT and a content's pending row is committed before any of its
// chunks, and its chunks before it is finished, so in files of one time no
// chunk lies under a number above the highest the database has handed out
// (sqlite_sequence), and the newest finished content with bytes has its
// chunks. A content file is made only while the database records no
// content whose chunks would lie in it (DB_CONTENT_FILE's FIRST_CONTENT_ID:
// the contents before it keep their chunks in the database's own
// DB_FILE_CHUNK, or have none). Each check is an indexed lookup, paid once
// per connection.
#pragma once

#include <string>

struct sqlite3;

namespace rt::sqlite {
class Database;
}

namespace rt::sqlite::content_file {

inline constexpr const char* kSchema = "content";

// The content file's native path (UTF-8) for the database at native_path,
// open as db. Throws EDatabaseError.
std::string FilePath(sqlite3* db, const std::string& native_path);

// The content file's name (GBK) that the database at native_path (UTF-8)
// gives, read without changing anything; "" when it cannot be read (no
// database, a damaged one, one of a version before the content file).
std::string NameBeside(const std::string& native_path) noexcept;

// Attaches the content file of the database at native_path (UTF-8), open
// as db, and arranges that *removed is set whenever this connection
// removes a content. A missing or empty file is made, with its tables, only
// for a database that records no contents in it. Refuses, with an
// rt::sqlite::Error of the kind Failure::ContentFile that names both files
// by their full paths and says what to do, and leaves both files as they
// are: a missing or empty content file of a database that records
// contents in it; another database's content file; a database older than
// its content file (chunks under a content number the database never
// handed out); a content file older than its database (the newest finished
// content with bytes has no chunks in it); a damaged one; one of a newer
// version. Outside any transaction. Throws EDatabaseError.
void Attach(sqlite3* db, const std::string& native_path, bool* removed);

// Removes the chunks of the contents listed as removed, then their entries,
// on a connection that has the file attached. Housekeeping: a failure (a
// busy file) leaves the rest listed for later.
void RemoveChunksOfRemovedContents(Database& db) noexcept;

}  // namespace rt::sqlite::content_file
