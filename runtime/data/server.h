// The connection to a database server, in the builds that have a client for
// one (postgres/server.cpp); the others refuse (no_server.cpp).
#pragma once

#include <memory>
#include <string>

#include "runtime/data/session.h"

namespace rt {

// Connects to the server that a connection string names and gives its
// database the schema when it has none, or, for OpenExisting, refuses a
// database without it. Throws EDatabaseError.
std::unique_ptr<DataSession> ConnectServer(const std::string& conninfo, OpenMode mode);

}  // namespace rt
