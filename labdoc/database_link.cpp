#include "labdoc/database_link.h"

#include <cstdlib>

#include "runtime/data/sqlite_util.h"
#include "runtime/errors.h"
#include "runtime/host/environment.h"
#include "runtime/platform/platform.h"

namespace labdocs::labdoc {

std::string LocateDatabase() {
  const char* named = std::getenv(kDatabaseVariable);
  if (named != nullptr && *named != '\0') return named;
  return rt::platform::SqliteFileName(rt::Environment().base_dir + kDatabaseFileName);
}

void DatabaseLink::Connect() {
  if (rt::HasSession() || own_) return;
  const std::string path = LocateDatabase();
  try {
    own_ = rt::Connect(path, rt::OpenMode::OpenExisting);
  } catch (const rt::EDatabaseError& error) {
    // The variable may name a server with a password: the message shows
    // the setting as a session would, without it.
    throw rt::EDatabaseError("文档库无法打开数据库 " + rt::ShownSetting(path) + ": " + error.what());
  }
  // A large content passes through the write-ahead log; the log is cut back
  // to this size afterwards rather than keeping its largest size on disk.
  if (rt::Database* sqlite = rt::AsSqlite(*own_)) rt::sqlite::Exec(sqlite->Handle(), "PRAGMA journal_size_limit = 67108864");
}

rt::DataSession& DatabaseLink::Get() {
  rt::DataSession& db = rt::HasSession() ? rt::Session() : (Connect(), *own_);
  if (rt::Database* sqlite = rt::AsSqlite(db)) sqlite->AttachContentFile();
  return db;
}

}  // namespace labdocs::labdoc
