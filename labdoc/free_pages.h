// The space of removed contents. SQLite keeps the pages that deleted rows
// leave free inside the database file for reuse, so a file that once held
// large pending contents would keep its size. A database made with
// incremental vacuuming (every database the host makes now) gives them back
// on request; one made before is switched to it once, by rewriting the file.
#pragma once

#include "runtime/data/database.h"

namespace labdocs::labdoc {

enum class OldFile { Keep, Switch };

// Gives the database's free pages back to the file system and checkpoints
// the write-ahead log, so that the file shrinks now. A database without
// incremental vacuuming is switched to it (PRAGMA auto_vacuum, VACUUM) when
// `old_file` says so and the connection is outside any transaction.
// Housekeeping: nothing is reported; what fails (a busy database, another
// connection's transaction) is left for another time.
void GiveBackFreePages(rt::DataSession& db, OldFile old_file) noexcept;

}  // namespace labdocs::labdoc
