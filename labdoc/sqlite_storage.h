// The store's storage on SQLite (content_storage.h): chunks in the content
// file (rt/data/content_file.h), or for contents stored before it existed
// in the host database's own DB_FILE_CHUNK (schema version 5 and before);
// owners' lock files beside the database file (owner_lock.h); free pages
// given back to the file system.
#pragma once

#include <memory>

#include "labdoc/content_storage.h"

namespace labdocs::labdoc {

// The storage of an SQLite session, which must be SQLite's own connection
// (rt::sqlite::Database): another session that says it is SQLite (one that wraps
// it) is refused with rt::EDatabaseError rather than taken for a server's.
std::unique_ptr<ContentStorage> MakeSqliteStorage(rt::DataSession& session);

}  // namespace labdocs::labdoc
