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

// A server's connection string as a message may show it (UTF-8): libpq
// reads it (postgres::ShownConnection), so that every form it takes hides
// its secrets alike. Without the client, none of its text.
std::string ShownServerSetting(const std::string& conninfo);

// The server library, beside the runtime's, and its entry points: one
// connects as ConnectServer does and gives the session to the caller, the
// other shows a connection string as ShownServerSetting does (it throws
// nothing).
inline constexpr const char* kServerLibrary = "hostrt_server";
inline constexpr const char* kServerEntryPoint = "rt_ConnectServer";
using ServerEntryPoint = DataSession* (*)(const std::string& conninfo, OpenMode mode);
inline constexpr const char* kShownEntryPoint = "rt_ShownConnection";
using ShownEntryPoint = void (*)(const std::string& conninfo, std::string& shown);
// What is shown of a connection string where no client can read it.
inline constexpr const char* kUnshownConnection = "(a PostgreSQL connection string)";

}  // namespace rt
