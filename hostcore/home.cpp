#include "hostcore/home.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <system_error>

#include "hostcore/demo_data.h"
#include "runtime/data/sqlite/content_file.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/services/environment.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace hostcore {
namespace {

// The content file beside the home's database, as the advice names it: its
// name when the database gives it, else its pattern.

// The end of every message about a home database the console refuses. It
// leads to the data: a database that may hold documents is moved away with
// its content file and journals, never deleted.
std::string RefusedAdvice(const std::string& content_file) {
  return std::string(" The console leaves it as it is: restore it together with its content file ") + content_file +
         " from the same copy, or move it away with its content file (and any " + kDatabaseFileName + "-wal and " +
         kDatabaseFileName + "-shm beside it) to start afresh with the demo, or give another home folder with --home.";
}

// The message for a home database that the console could not open (`how`:
// "cannot be opened") or read ("cannot be read"): what the failure is and
// what to do, by its kind.
std::string DatabaseFailure(const std::string& database, const std::string& content_file, const char* how,
                            const std::exception& failure) {
  // The message names the database already: the error's reason without it.
  const std::string reason = rt::sqlite::ReasonBeside(failure, database);
  const std::string head = "The database " + database + " " + how + ": " + reason + ".";
  switch (rt::sqlite::FailureOf(failure)) {
    case rt::sqlite::Failure::ContentFile: {
      // The runtime's message names both files and says what to do.
      static constexpr std::string_view kPrefix = "Database error: the ";
      std::string message = reason;
      if (message.rfind(kPrefix, 0) == 0) message = "The " + message.substr(kPrefix.size());
      return message;
    }
    case rt::sqlite::Failure::DiskFull:
      return head + " Make room on the disk and start the console again; the database and its content file " +
             content_file + " are whole and left as they are.";
    case rt::sqlite::Failure::ReadOnly:
    case rt::sqlite::Failure::CannotOpen:
      return head + " This account may not write the database, its content file " + content_file +
             " or their folder: give it the right to, or copy the home folder (the database with its content file) "
             "to a folder it may write and give that with --home. The files are left as they are.";
    default: return head + RefusedAdvice(content_file);
  }
}

// Refuses an existing home database that is no SQLite database at all: an
// empty file (which SQLite would take for a new database) or one that does
// not begin with SQLite's header. Other files are left to SQLite to judge.
void CheckDatabaseFile(const HomeFolder& home, const std::filesystem::path& database) {
  const std::string shown = home.base_dir + kDatabaseFileName;
  std::error_code error;
  if (!std::filesystem::is_regular_file(database, error)) return;
  // An empty file holds no documents: it alone may be deleted.
  if (std::filesystem::file_size(database, error) == 0 && !error)
    throw rt::Exception("The database " + shown +
                        " is an empty file (0 bytes), not a database. The console leaves it as it is: it holds no "
                        "documents, so delete it (with any " +
                        kDatabaseFileName + "-wal and " + kDatabaseFileName +
                        "-shm beside it) to start afresh with the demo, or give another home folder with --home.");
  std::ifstream file(database, std::ios::binary);
  if (!file) return;
  static constexpr char kHeader[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
  char header[sizeof kHeader] = {};
  file.read(header, sizeof header);
  if (file.gcount() != static_cast<std::streamsize>(sizeof header) || std::memcmp(header, kHeader, sizeof header) != 0)
    throw rt::Exception("The database " + shown +
                        " is not a database: it does not begin as an SQLite database does, so it is damaged or "
                        "another kind of file." +
                        RefusedAdvice(ContentFileOf(database)));
}

// The files of a database that only this process knows: removed with its
// journals, and its content file (when it has one) with its journal. Never
// used for the home's database, which other processes may hold.
void RemoveOwnDatabase(const std::filesystem::path& path, const std::string& content_file) {
  std::error_code error;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::filesystem::path file = path;
    file += suffix;
    std::filesystem::remove(file, error);
    if (content_file.empty()) continue;
    std::filesystem::remove(rt::platform::Utf8Path(content_file + suffix), error);
  }
}

// Makes the home's database: fills a database of this process's own beside
// it, closes it (so that all its content is in its file, and the documents'
// contents in its content file, whose name it holds) and renames it
// to the home's database unless that exists by then. A console starting at
// the same time thus either puts its whole database in place or finds the
// other's whole; nobody ever sees a half-filled one. False when another
// console was faster: its database stays, this one's is removed. Raises
// rt::Exception.
bool MakeDatabase(const HomeFolder& home, bool empty_database, std::vector<std::string>& notes) {
  std::random_device random;
  const std::string own_name = std::string(kDatabaseFileName) + ".new-" + std::to_string(random()) +
                               std::to_string(random());
  const std::filesystem::path own = rt::platform::Utf8Path(home.native) / own_name;
  std::vector<std::string> fill_notes;
  std::string content_file;
  try {
    // The session, through which the document store reaches the database
    // while the demo's documents are stored.
    auto own_database = std::make_unique<rt::sqlite::Database>(rt::platform::PathUtf8(own), rt::OpenMode::OpenOrCreate);
    rt::sqlite::Database& database = *own_database;
    rt::AdoptSession(std::move(own_database));
    content_file = rt::sqlite::content_file::FilePath(database.Handle(), database.Path());
    if (!empty_database) FillDemoData(database, home.base_dir, fill_notes);
    // Everything from the write-ahead log into the file, which must be
    // whole on its own once it is renamed.
    database.QueryBound("PRAGMA wal_checkpoint(TRUNCATE)", {});
    rt::CloseSession();
    std::error_code error;
    if (std::filesystem::file_size(rt::platform::Utf8Path(rt::platform::PathUtf8(own) + "-wal"), error) > 0 && !error)
      throw rt::Exception("The new database " + home.base_dir + own_name + " kept a write-ahead log");
  } catch (...) {
    rt::CloseSession();
    RemoveOwnDatabase(own, content_file);
    throw;
  }
  // A rename that never replaces: only one console's database lands.
  if (!MoveFileExA((home.base_dir + own_name).c_str(), (home.base_dir + kDatabaseFileName).c_str(),
                   MOVEFILE_WRITE_THROUGH)) {
    const DWORD failure = GetLastError();
    RemoveOwnDatabase(own, content_file);
    if (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS) return false;
    throw rt::Exception("The new database cannot be put in place as " + home.base_dir + kDatabaseFileName + " (error " +
                        std::to_string(failure) + ")");
  }
  if (empty_database) {
    notes.push_back("A new, empty database: " + home.base_dir + kDatabaseFileName);
  } else {
    notes.push_back("A new home folder with demo data: " + home.base_dir);
    notes.insert(notes.end(), fill_notes.begin(), fill_notes.end());
  }
  return true;
}

// Opens the server's database as the session; one without any view gets the
// demo, unless it is to stay empty. The check and the filling hold the
// database's writer lock: consoles starting together on a new database all
// find the one demo that the first put there.
void OpenServer(const HomeFolder& home, const std::string& server, bool empty_database, HomeOpened& opened) {
  try {
    rt::OpenSession(server);
  } catch (const rt::EDatabaseError& failure) {
    throw rt::Exception("The database server " + rt::ShownSetting(server) + " cannot be used: " + failure.what());
  }
  rt::DataSession& session = rt::CurrentDataSession();
  rt::Transaction transaction(session, rt::Transaction::Kind::Immediate);
  if (!session.QueryBound("SELECT 1 FROM Pacs_MMCTreeViewConfig", {}).rows.empty()) return;
  opened.created = true;
  if (empty_database) {
    opened.notes.push_back("A new, empty database: " + session.Shown());
  } else {
    opened.notes.push_back("The demo data went into the new database " + session.Shown());
    FillDemoData(session, home.base_dir, opened.notes);
  }
  transaction.Commit();
}

}  // namespace

HomeFolder MakeHomeFolder(std::string_view path) {
  std::error_code error;
  std::filesystem::path native = path.empty() ? rt::platform::DefaultHomeFolder() : rt::platform::Utf8Path(path);
  native = std::filesystem::absolute(native, error).lexically_normal();
  if (error) throw rt::Exception("The home folder " + rt::gbk::FromUtf8(path) + " cannot be found: " + error.message());
  std::filesystem::create_directories(native, error);
  if (error || !std::filesystem::is_directory(native))
    throw rt::Exception("The home folder " + rt::platform::AnsiPath(native) + " cannot be made: " + error.message());
  std::string text = rt::platform::PathUtf8(native);
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  HomeFolder home;
  home.native = text;
  home.base_dir = rt::IncludeTrailingPathDelimiter(rt::platform::AnsiPath(rt::platform::Utf8Path(text)));
  return home;
}

HomeOpened OpenHome(const HomeFolder& home, bool empty_database, const std::string& server) {
  HomeOpened opened;
  const std::filesystem::path database = rt::platform::Utf8Path(home.native) / kDatabaseFileName;

  for (const char* folder : {kCacheFolder, kIconFolder})
    if (!rt::ForceDirectories(home.base_dir + folder))
      throw rt::Exception("The folder " + home.base_dir + folder + " cannot be made");
  if (!server.empty()) {
    OpenServer(home, server, empty_database, opened);
    return opened;
  }

  std::error_code error;
  if (!std::filesystem::exists(database, error)) {
    // A log without its database: a new database would take the log's
    // pages for its own.
    const std::filesystem::path log = rt::platform::Utf8Path(rt::platform::PathUtf8(database) + "-wal");
    if (std::filesystem::file_size(log, error) > 0 && !error)
      throw rt::Exception("The database " + home.base_dir + kDatabaseFileName +
                          " is missing, but its write-ahead log " + kDatabaseFileName +
                          "-wal is there: it belongs to a database that was moved or removed. Put the database back, "
                          "or move the log away (with " +
                          kDatabaseFileName + "-shm, if any) to start afresh.");
    opened.created = MakeDatabase(home, empty_database, opened.notes);
    if (!opened.created)
      opened.notes.push_back("Another console made the database meanwhile; this one uses it: " + home.base_dir +
                             kDatabaseFileName);
  }
  if (!opened.created) CheckDatabaseFile(home, database);
  // The database with its content file: a home whose content file is
  // missing, another's or of another time stops here, rather than when a
  // document is first opened.
  opened.content_file = ContentFileOf(database);
  try {
    auto home_database = std::make_unique<rt::sqlite::Database>(rt::platform::PathUtf8(database),
                                                                rt::OpenMode::OpenExisting);
    home_database->AttachContentFile();
    rt::AdoptSession(std::move(home_database));
  } catch (const rt::EDatabaseError& failure) {
    rt::CloseSession();
    throw rt::Exception(
        DatabaseFailure(home.base_dir + kDatabaseFileName, opened.content_file, "cannot be opened", failure));
  }
  return opened;
}

HomeOpened StartHome(const StartOptions& options) {
  const HomeFolder home = MakeHomeFolder(options.home);
  rt::HostEnvironment environment = rt::DefaultEnvironment();
  environment.base_dir = home.base_dir;
  options.workstation.ApplyTo(environment);
  if (options.sys_code) environment.sys_code = *options.sys_code;
  if (options.display_style) environment.display_style = *options.display_style;
  rt::SetEnvironment(environment);
  return OpenHome(home, options.empty, options.database);
}

std::string UnreadableDatabase(const std::string& database, const std::string& content_file,
                               const std::exception& error) {
  return DatabaseFailure(database, content_file.empty() ? ContentFileOf({}) : content_file, "cannot be read", error);
}

std::string ContentFileOf(const std::filesystem::path& database) {
  const std::string name = database.empty() ? ""
                                            : rt::sqlite::content_file::NameBeside(rt::platform::PathUtf8(database));
  return name.empty() ? std::string("(labdoc-content-....db)") : name;
}

}  // namespace hostcore
