#include "runtime/data/testing/test_database.h"

#include <gtest/gtest.h>

#include "runtime/platform/testing/test_support.h"
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
#include "runtime/data/postgres/schema.h"
#include "runtime/data/postgres/testing/test_server.h"
#endif

namespace rt::testing {

#ifdef LABDOCS_TESTS_HAVE_POSTGRES
// The schema, made by its owner as the administrator sets up a laboratory.
// Tables that a test makes there later are its staff's and readers' too.
struct TestDatabase::Server {
  Server(const std::string& owner_conninfo, TestDatabase::Tables tables)
      : conninfo(owner_conninfo), connection(conninfo), schema(connection) {
    if (tables == TestDatabase::Tables::Made) postgres::schema::Prepare(connection);
    // clang-format off
    connection.ExecuteText("ALTER DEFAULT PRIVILEGES IN SCHEMA " + schema.Name() +
                           " GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO labdocs_staff;"
                           "ALTER DEFAULT PRIVILEGES IN SCHEMA " + schema.Name() +
                           " GRANT USAGE, SELECT, UPDATE ON SEQUENCES TO labdocs_staff;"
                           "ALTER DEFAULT PRIVILEGES IN SCHEMA " + schema.Name() +
                           " GRANT SELECT ON TABLES TO labdocs_reader");
    // clang-format on
  }
  // The database as a login sees it: the test's schema first.
  std::string Setting(const std::string& login) const {
    return postgres::testing::AsLogin(conninfo, login) + SearchPath();
  }
  std::string SearchPath() const { return " options='-csearch_path=" + schema.Name() + ",public'"; }

  std::string conninfo;  // the owner's
  postgres::Connection connection;
  postgres::testing::TestSchema schema;
};
#else
struct TestDatabase::Server {};
#endif

Engine EngineUnderTest() {
  const std::optional<std::string> engine = GetEnv("LABDOCS_TEST_ENGINE");
  return engine && *engine == "postgres" ? Engine::Postgres : Engine::Sqlite;
}

std::vector<Engine> BothEngines() {
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
  return {Engine::Sqlite, Engine::Postgres};
#else
  return {Engine::Sqlite};
#endif
}

std::string EngineName(Engine engine) { return engine == Engine::Sqlite ? "Sqlite" : "Postgres"; }

TestDatabase::TestDatabase(Engine engine, const std::string& sqlite_path, [[maybe_unused]] Tables tables)
    : engine_(engine) {
  if (engine == Engine::Sqlite) {
    setting_ = sqlite_path;
    return;
  }
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
  const std::string conninfo = postgres::testing::ServerConnectionString();
  if (conninfo.empty()) {
    ADD_FAILURE() << "no server: LABDOCS_TEST_POSTGRES names no connection string";
    return;
  }
  server_ = std::make_unique<Server>(conninfo, tables);
  setting_ = server_->Setting(StaffLogin(1));
#else
  ADD_FAILURE() << "this build has no PostgreSQL client";
#endif
}

TestDatabase::~TestDatabase() = default;

std::string TestDatabase::SettingAs([[maybe_unused]] const std::string& login) const {
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
  if (server_) return server_->Setting(login);
#endif
  return setting_;
}

DataSession& TestDatabase::Owner() {
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
  if (server_ && !owner_) owner_ = Connect(server_->conninfo + server_->SearchPath(), OpenMode::OpenExisting);
  if (owner_) return *owner_;
#endif
  return CurrentDataSession();
}

std::int64_t QueryInteger(DataSession& db, const std::string& sql) {
  return std::get<std::int64_t>(db.QueryBound(sql, {}).rows.at(0).at(0));
}

void AddRefusal(DataSession& db, const std::string& name, const std::string& event, const std::string& table,
                const std::string& condition, const std::string& message) {
  if (db.Kind() == Engine::Sqlite) {
    const std::string action = message.empty() ? "RAISE(IGNORE)" : "RAISE(ABORT, '" + message + "')";
    db.ExecuteBound("CREATE TRIGGER " + name + " BEFORE " + event + " ON " + table + " WHEN " + condition +
                        " BEGIN SELECT " + action + "; END",
                    {});
    return;
  }
  const std::string row = event == "DELETE" ? "OLD" : "NEW";
  const std::string action = message.empty() ? "RETURN NULL;" : "RAISE EXCEPTION '" + message + "';";
  db.ExecuteBound("CREATE FUNCTION " + name + "_refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF " + condition +
                      " THEN " + action + " END IF; RETURN " + row + "; END $$",
                  {});
  db.ExecuteBound("CREATE TRIGGER " + name + " BEFORE " + event + " ON " + table + " FOR EACH ROW EXECUTE FUNCTION " +
                      name + "_refuse()",
                  {});
}

void DropRefusal(DataSession& db, const std::string& name, const std::string& table) {
  if (db.Kind() == Engine::Sqlite) {
    db.ExecuteBound("DROP TRIGGER IF EXISTS " + name, {});
    return;
  }
  db.ExecuteBound("DROP TRIGGER IF EXISTS " + name + " ON " + table, {});
  db.ExecuteBound("DROP FUNCTION IF EXISTS " + name + "_refuse()", {});
}

}  // namespace rt::testing
