// Connecting to a server through the client library, loaded on the first
// connection (server.h).
#include "runtime/data/server.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"

namespace rt {
namespace {

// The server library's entry points, loaded once and kept for the
// process's lifetime (its sessions' code lives there); null where the
// library or an entry point is missing.
struct EntryPoints {
  ServerEntryPoint connect = nullptr;
  ShownEntryPoint shown = nullptr;
};

const EntryPoints& Loaded() {
  static const EntryPoints loaded = [] {
    EntryPoints entries;
    HMODULE library = LoadLibraryA((platform::RuntimeFolder() + kServerLibrary).c_str());
    if (library == nullptr) return entries;
    entries.connect = platform::ProcAs<ServerEntryPoint>(GetProcAddress(library, kServerEntryPoint));
    entries.shown = platform::ProcAs<ShownEntryPoint>(GetProcAddress(library, kShownEntryPoint));
    return entries;
  }();
  return loaded;
}

}  // namespace

std::unique_ptr<DataSession> ConnectServer(const std::string& conninfo, OpenMode mode) {
  const ServerEntryPoint connect = Loaded().connect;
  if (connect == nullptr)
    throw EDatabaseError("Database error: the PostgreSQL client (" + std::string(kServerLibrary) +
                         ") is missing beside the runtime library");
  return std::unique_ptr<DataSession>(connect(conninfo, mode));
}

std::string ShownServerSetting(const std::string& conninfo) {
  const ShownEntryPoint shown = Loaded().shown;
  if (shown == nullptr) return kUnshownConnection;
  std::string text;
  shown(conninfo, text);
  return text;
}

}  // namespace rt
