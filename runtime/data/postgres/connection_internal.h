// What the files of rt::postgres::Connection share (connection.cpp:
// connecting, connection_transaction.cpp: transactions and a lost
// connection, connection_statement.cpp: statements and their results).
// Private to them.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>

#include "runtime/data/postgres/connection.h"

namespace rt::postgres {

struct Connection::Result {
  std::unique_ptr<PGresult, decltype(&PQclear)> result{nullptr, &PQclear};
  std::string error;  // the server's or libpq's complaint when the statement failed
};

// The server's messages are UTF-8; what GBK lacks becomes '?'.
std::string Message(const char* utf8);

}  // namespace rt::postgres
