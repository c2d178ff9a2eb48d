#include "runtime/data/server.h"

#include "runtime/data/postgres/database.h"
#include "runtime/data/postgres/schema.h"

namespace rt {

std::unique_ptr<DataSession> ConnectServer(const std::string& conninfo) {
  auto database = std::make_unique<postgres::Database>(conninfo);
  postgres::schema::Prepare(database->Link());
  return database;
}

}  // namespace rt
