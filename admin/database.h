// The database the administration program works on: the one the console
// names by the same options.
#pragma once

#include "admin/options.h"
#include "runtime/data/session.h"

namespace admin {

// Opens the database as the process's session (rt::OpenSession): the home
// folder's labdocs.db, as the console opens it but never made (a folder
// without one, or an empty file, is refused), or the server's that
// --database names. Raises rt::Exception with a message (GBK) naming the
// database.
void OpenDatabase(const Options& options);

// Makes the stored contents readable on the session: an SQLite database's
// content file is attached when it is there (or when the database still
// keeps its chunks in a table of its own, which the store reads through
// it). False when the database names a content file that is missing: its
// contents' bytes are gone, and nothing is made in their place. A server
// keeps its chunks in its own table: true.
bool ContentsReachable(rt::DataSession& db);

// The content file's path (GBK) for messages; empty on a server.
std::string ContentFileShown(rt::DataSession& db);

}  // namespace admin
