// How the store reaches the host's database without any set-up by the user.
// Loaded into the host's process, it shares the runtime library and so the
// host's database session, which it uses whenever one is open. A process
// that loads the store alone has no session; the store then opens its own
// connection to the host's database:
//   - the one that the environment variable LABDOCS_DATABASE names, when it
//     is set and not empty: a native path of an SQLite file, or a
//     PostgreSQL server's connection string (docs/database.md);
//   - otherwise "labdocs.db" in the host's base folder (rt::Environment()),
//     where the host console keeps its database.
// The database must exist already, with its tables: the store never makes
// a database that no host would read.
#pragma once

#include <memory>
#include <string>

#include "runtime/data/database.h"

namespace labdocs::labdoc {

inline constexpr const char* kDatabaseVariable = "LABDOCS_DATABASE";
inline constexpr const char* kDatabaseFileName = "labdocs.db";

// The setting of the database (rt::Connect) that a process without a session
// uses, by the rules above.
std::string LocateDatabase();

class DatabaseLink {
 public:
  // Opens the store's own connection when there is no session and it has
  // none yet. Throws rt::EDatabaseError.
  void Connect();
  // The session when one is open, else the store's own connection (opened
  // now if it was not), with the content file attached
  // (rt/data/content_file.h). Throws rt::EDatabaseError.
  rt::DataSession& Get();
  // Closes the store's own connection, if it has one.
  void Disconnect() { own_.reset(); }

 private:
  std::unique_ptr<rt::DataSession> own_;
};

}  // namespace labdocs::labdoc
