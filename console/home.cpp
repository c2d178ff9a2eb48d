#include "console/home.h"

#include <filesystem>
#include <random>
#include <system_error>

#include "console/demo_data.h"
#include "runtime/data/database.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace console {
namespace {

// The files of a database that only this process knows: removed with its
// journals. Never used for the home's database, which other processes may
// hold.
void RemoveOwnDatabase(const std::filesystem::path& path) {
  std::error_code error;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(path.string() + suffix, error);
}

// Makes the home's database: fills a database of this process's own beside
// it, closes it (so that all its content is in the one file) and renames it
// to the home's database unless that exists by then. A console starting at
// the same time thus either puts its whole database in place or finds the
// other's whole; nobody ever sees a half-filled one. False when another
// console was faster: its database stays, this one's is removed. Raises
// rt::Exception.
bool MakeDatabase(const HomeFolder& home, bool empty_database, std::vector<std::string>& notes) {
  std::random_device random;
  const std::string own_name = std::string(kDatabaseFileName) + ".new-" + std::to_string(random()) +
                               std::to_string(random());
  const std::filesystem::path own = std::filesystem::path(home.native) / own_name;
  std::vector<std::string> fill_notes;
  try {
    // The session, through which the document store reaches the database
    // while the demo's documents are stored.
    rt::OpenSession(own.string(), rt::Database::OpenMode::OpenOrCreate);
    if (!empty_database) FillDemoData(rt::Session(), home.base_dir, fill_notes);
    // Everything from the write-ahead log into the file, which must be
    // whole on its own once it is renamed.
    rt::Session().QueryBound("PRAGMA wal_checkpoint(TRUNCATE)", {});
    rt::CloseSession();
    std::error_code error;
    if (std::filesystem::file_size(own.string() + "-wal", error) > 0 && !error)
      throw rt::Exception("The new database " + home.base_dir + own_name + " kept a write-ahead log");
  } catch (...) {
    rt::CloseSession();
    RemoveOwnDatabase(own);
    throw;
  }
  // A rename that never replaces: only one console's database lands.
  if (!MoveFileExA((home.base_dir + own_name).c_str(), (home.base_dir + kDatabaseFileName).c_str(),
                   MOVEFILE_WRITE_THROUGH)) {
    const DWORD failure = GetLastError();
    RemoveOwnDatabase(own);
    if (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS) return false;
    throw rt::Exception("The new database cannot be put in place as " + home.base_dir + kDatabaseFileName +
                        " (error " + std::to_string(failure) + ")");
  }
  if (empty_database) {
    notes.push_back("A new, empty database: " + home.base_dir + kDatabaseFileName);
  } else {
    notes.push_back("A new home folder with demo data: " + home.base_dir);
    notes.insert(notes.end(), fill_notes.begin(), fill_notes.end());
  }
  return true;
}

}  // namespace

HomeFolder MakeHomeFolder(std::string_view path) {
  std::error_code error;
  std::filesystem::path native = path.empty() ? std::filesystem::current_path(error) : std::filesystem::path(path);
  native = std::filesystem::absolute(native, error).lexically_normal();
  if (error) throw rt::Exception("The home folder " + rt::gbk::FromUtf8(path) + " cannot be found: " + error.message());
  std::filesystem::create_directories(native, error);
  if (error || !std::filesystem::is_directory(native))
    throw rt::Exception("The home folder " + rt::platform::FromNativePath(native.string()) +
                        " cannot be made: " + error.message());
  std::string text = native.string();
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  HomeFolder home;
  home.native = text;
  home.base_dir = rt::IncludeTrailingPathDelimiter(rt::platform::FromNativePath(text));
  return home;
}

HomeOpened OpenHome(const HomeFolder& home, bool empty_database) {
  HomeOpened opened;
  const std::filesystem::path database = std::filesystem::path(home.native) / kDatabaseFileName;

  for (const char* folder : {kCacheFolder, kIconFolder})
    if (!rt::ForceDirectories(home.base_dir + folder))
      throw rt::Exception("The folder " + home.base_dir + folder + " cannot be made");

  std::error_code error;
  if (!std::filesystem::exists(database, error)) {
    opened.created = MakeDatabase(home, empty_database, opened.notes);
    if (!opened.created)
      opened.notes.push_back("Another console made the database meanwhile; this one uses it: " + home.base_dir +
                             kDatabaseFileName);
  }
  rt::OpenSession(database.string(), rt::Database::OpenMode::OpenExisting);
  return opened;
}

}  // namespace console
