// Database::QueryReadOnly: reading enforced on the connection. An authorizer
// refuses, as each statement is prepared, everything but reading (no data
// or schema change, no attached database, no pragma that sets a value, so
// that nobody lifts query_only either), and PRAGMA query_only refuses any
// write that gets past it. Both go when the call ends.
#include <sqlite3.h>

#include "runtime/data/sqlite/database.h"

namespace rt::sqlite {
namespace {

// Pragmas that take an argument only to say what to read.
bool IsReadingPragma(const char* name) {
  for (const char* reading : {"table_info", "table_xinfo", "table_list", "index_info", "index_xinfo", "index_list",
                              "foreign_key_list", "foreign_key_check", "integrity_check", "quick_check"})
    if (sqlite3_stricmp(name, reading) == 0) return true;
  return false;
}

class ReadOnlyGuard {
 public:
  explicit ReadOnlyGuard(Database& database) : database_(database) {
    database_.ExecuteBound("PRAGMA query_only = ON", {});
    sqlite3_set_authorizer(database_.Handle(), &Authorize, this);
  }
  ~ReadOnlyGuard() {
    sqlite3_set_authorizer(database_.Handle(), nullptr, nullptr);
    try {
      database_.ExecuteBound("PRAGMA query_only = OFF", {});
    } catch (const std::exception&) {
      // The connection is closing or broken; the next statement reports it.
    }
  }
  ReadOnlyGuard(const ReadOnlyGuard&) = delete;
  ReadOnlyGuard& operator=(const ReadOnlyGuard&) = delete;

  bool Refused() const { return refused_; }

 private:
  static int Authorize(void* self, int action, const char* first, const char* second, const char*, const char*) {
    switch (action) {
      case SQLITE_SELECT:
      case SQLITE_READ:
      case SQLITE_FUNCTION:
      case SQLITE_RECURSIVE:
      case SQLITE_TRANSACTION:
      case SQLITE_SAVEPOINT: return SQLITE_OK;
      case SQLITE_PRAGMA:
        if (second == nullptr || (first != nullptr && IsReadingPragma(first))) return SQLITE_OK;
        break;
      default: break;
    }
    static_cast<ReadOnlyGuard*>(self)->refused_ = true;
    return SQLITE_DENY;
  }

  Database& database_;
  bool refused_ = false;
};

}  // namespace

RowSet Database::QueryReadOnly(std::string_view tsql) {
  ReadOnlyGuard guard(*this);
  // Every statement is prepared under the authorizer: a kept one was
  // prepared without it.
  struct FreshStatements {
    Database& database;
    explicit FreshStatements(Database& d) : database(d) { database.ReuseStatements(false); }
    ~FreshStatements() { database.ReuseStatements(true); }
  } fresh(*this);
  try {
    return Query(tsql);
  } catch (const EDatabaseError& error) {
    // query_only's own refusal of a write says "attempt to write a readonly database".
    if (guard.Refused() || sqlite3_errcode(db_) == SQLITE_READONLY) throw EWriteRefused(error.what());
    throw;
  }
}

}  // namespace rt::sqlite
