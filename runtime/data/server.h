// The connection to a database server. The client is a library of its own
// (hostrt_server, postgres/server.cpp) that the runtime loads on the first
// connection (server_library.cpp): a process that works on SQLite files
// never loads it nor the client libraries it links. Builds without a client
// refuse (no_server.cpp).
#pragma once

#include <memory>
#include <string>

#include "runtime/data/session.h"

namespace rt {

// Connects to the server that a connection string names and gives its
// database the schema when it has none, or, for OpenExisting, refuses a
// database without it. Throws EDatabaseError.
std::unique_ptr<DataSession> ConnectServer(const std::string& conninfo, OpenMode mode);

// The server library, beside the runtime's, and its one entry point: it
// connects as ConnectServer does and gives the session to the caller.
inline constexpr const char* kServerLibrary = "hostrt_server";
inline constexpr const char* kServerEntryPoint = "rt_ConnectServer";
using ServerEntryPoint = DataSession* (*)(const std::string& conninfo, OpenMode mode);

}  // namespace rt
