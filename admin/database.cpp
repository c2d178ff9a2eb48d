#include "admin/database.h"

#include <filesystem>
#include <system_error>

#include "runtime/data/content_file.h"
#include "runtime/data/database.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/text/gbk.h"

namespace admin {
namespace {

// The console's name of its home's database (console/home.h).
constexpr const char* kDatabaseFileName = "labdocs.db";

}  // namespace

void OpenDatabase(const Options& options) {
  if (!options.database.empty()) {
    try {
      rt::OpenSession(options.database, rt::OpenMode::OpenExisting);
    } catch (const rt::EDatabaseError& failure) {
      throw rt::Exception("The database server " + rt::ShownSetting(options.database) +
                          " cannot be used: " + failure.what());
    }
    return;
  }
  std::error_code error;
  std::filesystem::path home = options.home.empty() ? std::filesystem::current_path(error)
                                                    : rt::platform::Utf8Path(options.home);
  const std::filesystem::path file = std::filesystem::absolute(home, error).lexically_normal() / kDatabaseFileName;
  const std::string shown = rt::platform::AnsiPath(file);
  // SQLite would take a missing or empty file for a new database and give
  // it the schema: an administration program makes nothing.
  if (!std::filesystem::is_regular_file(file, error))
    throw rt::Exception("There is no database " + shown +
                        ": give the console's home folder with --home, or a server with --database.");
  if (std::filesystem::file_size(file, error) == 0 && !error)
    throw rt::Exception("The database " + shown + " is an empty file (0 bytes), not a database.");
  try {
    rt::OpenSession(rt::platform::PathUtf8(file), rt::OpenMode::OpenExisting);
  } catch (const rt::EDatabaseError& failure) {
    throw rt::Exception("The database " + shown + " cannot be opened: " + failure.what());
  }
}

std::string ContentFileShown(rt::DataSession& db) {
  rt::Database* sqlite = rt::AsSqlite(db);
  if (sqlite == nullptr) return {};
  return rt::platform::AnsiPath(
      rt::platform::Utf8Path(rt::content_file::FilePath(sqlite->Handle(), sqlite->Path())));
}

bool ContentsReachable(rt::DataSession& db) {
  rt::Database* sqlite = rt::AsSqlite(db);
  if (sqlite == nullptr) return true;
  std::error_code error;
  const bool there = std::filesystem::is_regular_file(
      rt::platform::Utf8Path(rt::content_file::FilePath(sqlite->Handle(), sqlite->Path())), error);
  // A database upgraded from schema version 5 keeps its older chunks in its
  // own DB_FILE_CHUNK and gets its content file at the store's first start.
  const bool own_chunks = !db.TableColumns("DB_FILE_CHUNK").empty();
  if (!there && !own_chunks) return false;
  sqlite->AttachContentFile();
  return true;
}

}  // namespace admin
