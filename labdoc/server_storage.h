// The store's storage on a PostgreSQL server (content_storage.h): chunks
// as bytea rows of the database's own DB_FILE_CHUNK, written a batch per
// transaction and read one chunk per statement; a fetch reads one
// REPEATABLE READ snapshot; owners hold liveness keys on their connections
// (owner_lock.h); the server gives back space by itself.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "labdoc/content_storage.h"

namespace labdocs::labdoc {

std::unique_ptr<ContentStorage> MakeServerStorage(rt::DataSession& session);

// The older form of a server's owner token, of a connection, as an SQL
// expression over a row of the server's list of connections
// (pg_stat_activity). A process id alone may be given to a new connection
// later; with its start time it is not. `row` names the row's table with
// its dot ("a."), or is empty.
inline std::string ConnectionTokenOf(std::string_view row) {
  const std::string r(row);
  return "'pg:' || " + r + "pid || ':' || (extract(epoch FROM " + r + "backend_start) * 1000000)::bigint";
}

}  // namespace labdocs::labdoc
