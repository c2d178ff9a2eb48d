#include "runtime/data/server.h"

#include "runtime/data/postgres/database.h"
#include "runtime/data/postgres/schema.h"

namespace rt {

std::unique_ptr<DataSession> ConnectServer(const std::string& conninfo, OpenMode mode) {
  auto database = std::make_unique<postgres::Database>(conninfo);
  if (mode == OpenMode::OpenExisting && postgres::schema::Version(database->Link()) == 0)
    throw EDatabaseError("Database error: the server's database holds no tables of this system (" + database->Shown() +
                         ")");
  postgres::schema::Prepare(database->Link());
  return database;
}

}  // namespace rt
