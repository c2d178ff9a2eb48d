#include "labdoc/free_pages.h"

#include <sqlite3.h>

#include <string>

#include "runtime/data/sqlite_util.h"

namespace labdocs::labdoc {
namespace {

// PRAGMA auto_vacuum's values.
enum VacuumMode { kNone = 0, kFull = 1, kIncremental = 2 };

int VacuumModeOf(sqlite3* db, const std::string& schema) {
  rt::sqlite::StatementPtr statement = rt::sqlite::Prepare(db, "PRAGMA " + schema + ".auto_vacuum");
  if (sqlite3_step(statement.get()) != SQLITE_ROW) rt::sqlite::ThrowError(db);
  return sqlite3_column_int(statement.get(), 0);
}

}  // namespace

void GiveBackFreePages(rt::DataSession& session, OldFile old_file) noexcept {
  rt::Database* sqlite = rt::AsSqlite(session);
  if (sqlite == nullptr) return;  // a server gives back space by itself
  rt::Database& database = *sqlite;
  sqlite3* db = database.Handle();
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

}  // namespace labdocs::labdoc
