// The connection to a database server, in the builds that have a client for
// one (postgres/server.cpp); the others refuse (no_server.cpp).
#pragma once

#include <memory>
#include <string>

#include "runtime/data/session.h"

namespace rt {

// Connects to the server that a connection string names. Throws
// EDatabaseError.
std::unique_ptr<DataSession> ConnectServer(const std::string& conninfo);

}  // namespace rt
