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
#pragma once

#include <string>

struct sqlite3;

namespace rt {
class Database;
}

namespace rt::content_file {

inline constexpr const char* kSchema = "content";

// The content file's native path (UTF-8) for the database at native_path,
// open as db. Throws EDatabaseError.
std::string FilePath(sqlite3* db, const std::string& native_path);

// Attaches the content file of the database at native_path (UTF-8),
// creating it with its table when it is missing, and arranges that
// *removed is set whenever this connection removes a content. Outside any
// transaction. Throws EDatabaseError.
void Attach(sqlite3* db, const std::string& native_path, bool* removed);

// Removes the chunks of the contents listed as removed, then their entries,
// on a connection that has the file attached. Housekeeping: a failure (a
// busy file) leaves the rest listed for later.
void RemoveChunksOfRemovedContents(Database& db) noexcept;

}  // namespace rt::content_file
