// The server library's entry points (runtime/data/server.h).
#include "runtime/data/server.h"

#include <type_traits>

#include "runtime/data/postgres/connection.h"
#include "runtime/data/postgres/database.h"
#include "runtime/data/postgres/schema.h"
#include "runtime/errors.h"

extern "C" rt::DataSession* rt_ConnectServer(const std::string& conninfo, rt::OpenMode mode) {
  static_assert(std::is_same_v<decltype(&rt_ConnectServer), rt::ServerEntryPoint>);
  auto database = std::make_unique<rt::postgres::Database>(conninfo);
  rt::postgres::schema::FindCitext(database->Link());
  if (mode == rt::OpenMode::OpenExisting && rt::postgres::schema::Version(database->Link()) == 0)
    throw rt::EDatabaseError("Database error: the server's database holds no tables of this system (" +
                             database->Shown() + ")");
  rt::postgres::schema::Prepare(database->Link());
  return database.release();
}

extern "C" void rt_ShownConnection(const std::string& conninfo, std::string& shown) {
  static_assert(std::is_same_v<decltype(&rt_ShownConnection), rt::ShownEntryPoint>);
  try {
    shown = rt::postgres::ShownConnection(conninfo);
  } catch (const std::exception&) {
    shown = rt::postgres::kUnreadableConnection;
  }
}
