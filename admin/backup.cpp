#include "admin/backup.h"

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "admin/transfer.h"
#include "labdoc/content_storage.h"
#include "labdoc/pending_content.h"
#include "runtime/data/sqlite/content_file.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/platform/platform.h"

namespace admin {
namespace {

namespace fs = std::filesystem;

// The folder inside the copy's home that the copy is made and checked in.
constexpr const char* kPartialFolder = "labdocs-copy.partial";

// Copies one schema of the source connection, in the read transaction it
// has open, into a new file.
void CopySchema(sqlite3* source, const char* schema, const fs::path& file) {
  sqlite3* target = nullptr;
  const std::string path = rt::platform::PathUtf8(file);
  if (sqlite3_open_v2(path.c_str(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    const std::string message = rt::sqlite::ErrorMessage(target);
    sqlite3_close_v2(target);
    throw rt::EDatabaseError(message);
  }
  sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, schema);
  int rc = backup == nullptr ? sqlite3_errcode(target) : sqlite3_backup_step(backup, -1);
  if (backup != nullptr && sqlite3_backup_finish(backup) != SQLITE_OK && rc == SQLITE_DONE) rc = SQLITE_ERROR;
  // The last connection's close folds a write-ahead log into the file.
  const std::string message = rc == SQLITE_DONE ? std::string() : rt::sqlite::ErrorMessage(target);
  if (sqlite3_close(target) != SQLITE_OK && rc == SQLITE_DONE) throw rt::EDatabaseError("Database error: " + path);
  if (rc != SQLITE_DONE) throw rt::EDatabaseError(message);
}

// Both files in one read transaction: the content file's first, so that
// no content the database names can have lost its chunks since.
void CopyPair(rt::sqlite::Database& source, const fs::path& folder, const fs::path& content_name) {
  sqlite3* db = source.Handle();
  rt::sqlite::Exec(db, "BEGIN");
  try {
    rt::sqlite::Exec(db, "SELECT count(*) FROM content.sqlite_master");
    rt::sqlite::Exec(db, "SELECT count(*) FROM main.sqlite_master");
    CopySchema(db, rt::sqlite::content_file::kSchema, folder / content_name);
    CopySchema(db, "main", folder / kDatabaseFileName);
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  rt::sqlite::Exec(db, "COMMIT");
}

// Checks the copy in its folder, after removing the contents that were
// being stored when it was taken: their stores went on in the source, and
// no store finishes them in the copy (their owners' locks lie beside the
// source). Closed again before it returns, so that its log is folded into
// its file. Gives the content file's name too.
CheckResult CheckCopy(const fs::path& folder, Progress& progress, fs::path& content_name) {
  CheckResult result;
  {
    const std::string path = rt::platform::PathUtf8(folder / kDatabaseFileName);
    rt::sqlite::Database copy(path, rt::OpenMode::OpenExisting);
    copy.AttachContentFile();
    content_name = rt::platform::Utf8Path(rt::sqlite::content_file::FilePath(copy.Handle(), path)).filename();
    labdocs::labdoc::SweepAbandonedContents(*labdocs::labdoc::MakeContentStorage(copy));
    result = Check(copy, progress);
  }
  std::error_code error;
  if (fs::exists(folder / (std::string(kDatabaseFileName) + "-wal"), error))
    throw ECopyRefused("The copy " + rt::platform::AnsiPath(folder / kDatabaseFileName) +
                       " keeps a write-ahead log beside it after it was closed: it is not whole in its file.");
  return result;
}

void RequireNoFile(const fs::path& home, const fs::path& name) {
  std::error_code error;
  if (fs::exists(home / name, error) || error)
    throw ECopyRefused("The folder " + rt::platform::AnsiPath(home) + " holds a database's file already (" +
                       rt::platform::AnsiPath(name) + "): a copy never takes the place of a database.");
}

// A home's two files made by `make` in a folder of their own inside `home`,
// checked there, and only then renamed into place, the content file first.
CheckResult MakeHome(const fs::path& home, Progress& progress, const std::function<void(const fs::path&)>& make) {
  RequireNoFile(home, kDatabaseFileName);
  const fs::path partial = home / kPartialFolder;
  std::error_code error;
  fs::remove_all(partial, error);
  fs::create_directories(partial, error);
  if (error)
    throw ECopyRefused("The folder " + rt::platform::AnsiPath(partial) + " cannot be made: " + error.message());
  fs::path content_name;
  try {
    make(partial);
    CheckResult result = CheckCopy(partial, progress, content_name);
    if (RefusingFaults(result) > 0)
      throw ECopyRefused("The copy does not pass the check; nothing was copied." + FaultLines(result));
    RequireNoFile(home, content_name);
    fs::rename(partial / content_name, home / content_name);
    fs::rename(partial / kDatabaseFileName, home / kDatabaseFileName);
    fs::remove_all(partial);
    return result;
  } catch (const fs::filesystem_error& failure) {
    if (!content_name.empty() && !fs::exists(home / kDatabaseFileName, error)) fs::remove(home / content_name, error);
    fs::remove_all(partial, error);
    throw ECopyRefused("The copy cannot be put in place in " + rt::platform::AnsiPath(home) + ": " + failure.what());
  } catch (...) {
    fs::remove_all(partial, error);
    throw;
  }
}

}  // namespace

bool AddUnderway(const Fault& fault) { return fault.kind == "document without record"; }

std::size_t RefusingFaults(const CheckResult& result) {
  std::size_t faults = 0;
  for (const Fault& fault : result.faults) faults += !AddUnderway(fault);
  return faults;
}

std::string FaultLines(const CheckResult& result) {
  std::string lines;
  for (const Fault& fault : result.faults)
    lines += "\n" + fault.kind + ": " + fault.directory + " / " + fault.file_name + " (" + fault.detail + ")";
  return lines;
}

CheckResult CopyHome(rt::sqlite::Database& source, const fs::path& home, Progress& progress) {
  source.AttachContentFile();
  const fs::path content_name =
      rt::platform::Utf8Path(rt::sqlite::content_file::FilePath(source.Handle(), source.Path())).filename();
  RequireNoFile(home, content_name);
  return MakeHome(home, progress, [&](const fs::path& partial) { CopyPair(source, partial, content_name); });
}

CheckResult CopyIntoNewHome(rt::DataSession& source, const fs::path& home, Progress& progress) {
  return MakeHome(home, progress, [&](const fs::path& partial) {
    rt::sqlite::Database copy(rt::platform::PathUtf8(partial / kDatabaseFileName), rt::OpenMode::OpenOrCreate);
    copy.AttachContentFile();
    CopyDatabase(source, copy, progress);
  });
}

CheckResult CopyIntoServer(rt::DataSession& source, const std::string& setting, Progress& progress) {
  const std::unique_ptr<rt::DataSession> target = rt::Connect(setting, rt::OpenMode::OpenOrCreate);
  CopyDatabase(source, *target, progress);
  CheckResult result = Check(*target, progress);
  if (RefusingFaults(result) > 0) {
    EmptyCopy(*target);
    throw ECopyRefused("The copy in " + target->Shown() + " does not pass the check; it was removed again." +
                       FaultLines(result));
  }
  return result;
}

}  // namespace admin
