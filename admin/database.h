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

}  // namespace admin
