#include "admin/database.h"

#include <filesystem>
#include <system_error>

#include "admin/backup.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"

namespace admin {

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
  std::filesystem::path home = options.home.empty() ? rt::platform::DefaultHomeFolder()
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

}  // namespace admin
