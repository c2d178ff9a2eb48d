// Connecting to a server through the client library, loaded on the first
// connection (server.h).
#include <mutex>

#include "runtime/data/server.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"

namespace rt {
namespace {

// The server library's entry point, loaded once and kept for the process's
// lifetime (its sessions' code lives there).
ServerEntryPoint EntryPoint() {
  static std::once_flag once;
  static ServerEntryPoint entry = nullptr;
  std::call_once(once, [] {
    HMODULE library = LoadLibraryA((platform::RuntimeFolder() + kServerLibrary).c_str());
    if (library != nullptr) entry = platform::ProcAs<ServerEntryPoint>(GetProcAddress(library, kServerEntryPoint));
  });
  if (entry == nullptr)
    throw EDatabaseError("Database error: the PostgreSQL client (" + std::string(kServerLibrary) +
                         ") is missing beside the runtime library");
  return entry;
}

}  // namespace

std::unique_ptr<DataSession> ConnectServer(const std::string& conninfo, OpenMode mode) {
  return std::unique_ptr<DataSession>(EntryPoint()(conninfo, mode));
}

}  // namespace rt
