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
// Here the store's storage of the session is chosen (content_storage.h),
// once for each session it links.
#pragma once

#include <memory>
#include <string>
#include <typeinfo>

#include "labdoc/content_storage.h"
#include "runtime/data/session.h"

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
  // The storage of the session when one is open, else of the store's own
  // connection (opened now if it was not), readied for use
  // (ContentStorage::Ready); its Session() is that session. Made once for
  // each session: a host may close its session and open another between
  // calls, which then gets its own. Throws rt::EDatabaseError.
  ContentStorage& Get();
  // Closes the store's own connection, if it has one.
  void Disconnect();

 private:
  // What tells a session from one opened after it, perhaps at the same
  // address: its type and the database it reaches.
  struct SessionKey {
    const rt::DataSession* address = nullptr;
    const std::type_info* type = nullptr;
    std::string identity;
    bool Is(const rt::DataSession& session) const;
  };

  std::unique_ptr<rt::DataSession> own_;
  // The storage of the session it was made for (destroyed before own_).
  std::unique_ptr<ContentStorage> storage_;
  SessionKey storage_key_;
};

}  // namespace labdocs::labdoc
