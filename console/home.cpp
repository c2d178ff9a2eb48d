#include "console/home.h"

#include <filesystem>
#include <system_error>

#include "console/demo_data.h"
#include "runtime/data/database.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace console {

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
  std::error_code error;
  opened.created = !std::filesystem::exists(database, error) || std::filesystem::file_size(database, error) == 0;

  for (const char* folder : {kCacheFolder, kIconFolder})
    if (!rt::ForceDirectories(home.base_dir + folder))
      throw rt::Exception("The folder " + home.base_dir + folder + " cannot be made");

  rt::OpenSession(database.string(), rt::Database::OpenMode::OpenOrCreate);
  if (!opened.created || empty_database) {
    if (opened.created) opened.notes.push_back("A new, empty database: " + home.base_dir + kDatabaseFileName);
    return opened;
  }
  try {
    FillDemoData(rt::Session(), home.base_dir, opened.notes);
  } catch (...) {
    rt::CloseSession();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(database.string() + suffix, error);
    throw;
  }
  opened.notes.insert(opened.notes.begin(), "A new home folder with demo data: " + home.base_dir);
  return opened;
}

}  // namespace console
