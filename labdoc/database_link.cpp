#include "labdoc/database_link.h"

#include <cstdlib>

#include "runtime/data/sqlite_util.h"
#include "runtime/errors.h"
#include "runtime/host/environment.h"
#include "runtime/platform/platform.h"

namespace labdocs::labdoc {
namespace {

// SQLite's file name (UTF-8) as GBK for a message; one that is not UTF-8 as it is.
std::string Shown(const std::string& native_path) {
  try {
    return rt::platform::AnsiPath(rt::platform::Utf8Path(native_path));
  } catch (const rt::EConvertError&) {
    return native_path;
  }
}

}  // namespace

std::string LocateDatabase() {
  const char* named = std::getenv(kDatabaseVariable);
  if (named != nullptr && *named != '\0') return named;
  return rt::platform::SqliteFileName(rt::Environment().base_dir + kDatabaseFileName);
}

void DatabaseLink::Connect() {
  if (rt::HasSession() || own_) return;
  const std::string path = LocateDatabase();
  try {
    own_ = std::make_unique<rt::Database>(path, rt::Database::OpenMode::OpenExisting);
  } catch (const rt::EDatabaseError& error) {
    throw rt::EDatabaseError("文档库无法打开数据库 " + Shown(path) + ": " + error.what());
  }
  // A large content passes through the write-ahead log; the log is cut back
  // to this size afterwards rather than keeping its largest size on disk.
  rt::sqlite::Exec(own_->Handle(), "PRAGMA journal_size_limit = 67108864");
}

rt::Database& DatabaseLink::Get() {
  rt::Database* db = rt::HasSession() ? rt::AsSqlite(rt::Session()) : (Connect(), own_.get());
  if (db == nullptr) throw rt::EDatabaseError("The document store keeps contents in SQLite databases only");
  db->AttachContentFile();
  return *db;
}

}  // namespace labdocs::labdoc
