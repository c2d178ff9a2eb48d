// A host's home folder: its base directory. It holds the host's
// database "labdocs.db" (the document store looks for exactly this name),
// the document cache "DocCache/" and the form icons in
// "Configs/MMCImages/32×32/".
#pragma once

#include <filesystem>

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "hostcore/start_options.h"

namespace hostcore {

inline constexpr const char* kDatabaseFileName = "labdocs.db";
inline constexpr const char* kCacheFolder = "DocCache/";
inline constexpr const char* kIconFolder = "Configs/MMCImages/32×32/";  // GBK, as every text inside

struct HomeFolder {
  std::string native;    // the folder as the file system names it (UTF-8), without a separator at its end
  std::string base_dir;  // GBK, ending with '/': what the host's environment reports
};

// The home folder at a path (UTF-8; empty: rt::platform::DefaultHomeFolder,
// the current folder, on Windows the user's %LOCALAPPDATA%\labdocs), made
// with its missing parents. Raises rt::Exception when it cannot be made.
HomeFolder MakeHomeFolder(std::string_view path);

// What opening the home folder did.
struct HomeOpened {
  bool created = false;            // this host made the database
  std::vector<std::string> notes;  // what a person should know (GBK)
  std::string content_file;        // the home database's content file, as messages name it; empty on a server
};

// Opens the home folder's database as the process's database session
// (rt::OpenSession) and makes the cache and icon folders. A folder without
// a database gets one with the demo data (demo_data.h), or an empty one
// when empty_database is set: it is filled under a name of this process's
// own and renamed to "labdocs.db" only while no database is there, so that
// hosts starting together on a new folder all end up on the one
// database that landed first. An existing database is never changed,
// replaced or removed. The environment's base directory must be the home
// folder already, as the document store reads it. The database's content
// file is attached with it (rt::sqlite::Database::AttachContentFile), so that a
// content file that is missing, another database's, of another time or
// damaged stops the host as it starts. A database that cannot be opened
// (an empty file, no SQLite database, one SQLite refuses, a full disk, a
// file that may not be written, such a content file) raises rt::Exception
// with a message that names the files, says what is wrong and what to do,
// as UnreadableDatabase does; so does a write-ahead log without its
// database. Raises rt::Exception.
//
// With a server's connection string, the session is that server's database
// instead (docs/database.md), and the home folder keeps only the cache and
// the icons. A database without any view gets the demo data, or stays empty
// when empty_database is set. Raises rt::Exception naming the server when it
// cannot be used.
HomeOpened OpenHome(const HomeFolder& home, bool empty_database, const std::string& server = {});

// What a host does first with its options: makes the home folder they name
// (MakeHomeFolder), gives the plug-in its environment (the options' values
// over the defaults, the home folder as the base directory: the document
// store finds the database through it) and opens the database (OpenHome:
// the home folder's, or the server's that --database names). The console
// and the desktop start alike through it. Raises rt::Exception.
HomeOpened StartHome(const StartOptions& options);

// The message (GBK) for the database that the host could open but not
// read as it started: it names the database (as DataSession::Shown does)
// and the database's complaint, and says what to do by the failure's kind
// (rt::sqlite::FailureOf): a full disk, a file or folder that may not be
// written, a content file that does not belong with the database, a damaged
// database. It leads to the data: a database that may hold documents is to
// be restored or moved away with its content file, never deleted.
// `content_file` names the database's content file (HomeOpened), or is
// empty for a server's database.
std::string UnreadableDatabase(const std::string& database, const std::string& content_file,
                               const std::exception& error);

// The content file of the home database at a native path (UTF-8), as
// messages name it: by its name when the database can be read, else by the
// pattern of its names.
std::string ContentFileOf(const std::filesystem::path& database);

}  // namespace hostcore
