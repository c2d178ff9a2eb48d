// The database a test works on, on either engine. The tests' engine is
// SQLite unless LABDOCS_TEST_ENGINE says "postgres" (CTest runs the module,
// store and console suites a second time so, against the throw-away server
// that LABDOCS_TEST_POSTGRES names: runtime/data/postgres/testing).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/data/session.h"

namespace rt::testing {

// The engine of this test run.
Engine EngineUnderTest();

// The engines a test of both runs on: SQLite, and the server where the
// build has its client.
std::vector<Engine> BothEngines();

// "Sqlite" or "Postgres", for parameterised tests' names.
std::string EngineName(Engine engine);

// The people's logins of the tests' server (tools/pg-server.sh), none a
// superuser: members of the group roles that the schema grants to
// (docs/database.md), staff1 ... staff8 of labdocs_staff, reader1 of
// labdocs_reader. The tests' schemas are the login labdocs_owner's.
inline constexpr int kStaffLogins = 8;
inline std::string StaffLogin(int n) { return "staff" + std::to_string(n); }
inline constexpr const char* kReaderLogin = "reader1";
inline constexpr const char* kOwnerLogin = "labdocs_owner";
// The cluster's superuser, for the tests of what even it may not do.
inline constexpr const char* kSuperuserLogin = "labdocs";

// A database of the test's own: an SQLite file at the path given, or a
// schema of its own on the tests' server, dropped with everything in it when
// this goes. On the server the schema's owner makes it with the system's
// tables, granted to the laboratory's staff and readers, and the test works
// as a member of its staff (runtime/data/postgres/testing/test_server.h).
// Fails the test (and names no database) when the server is asked for but
// missing.
class TestDatabase {
 public:
  // Without tables: a schema as the administrator makes it before the
  // laboratory's set-up (the owner's login makes the tables).
  enum class Tables { Made, None };
  TestDatabase(Engine engine, const std::string& sqlite_path, Tables tables = Tables::Made);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  Engine Kind() const { return engine_; }
  // The database as rt::OpenSession and the console's --database take it,
  // for the login staff1 on the server.
  const std::string& Setting() const { return setting_; }
  // The same for another login of the server (StaffLogin(n), kReaderLogin,
  // kOwnerLogin);
  // SQLite's file, which has no logins, as it is.
  std::string SettingAs(const std::string& login) const;

  // A session that may change the schema (tables, indexes, triggers), for
  // tests that do: on the server the owner's, whose tables the staff may
  // read and write and the readers read; on SQLite, whose connections all
  // may, the process's session.
  DataSession& Owner();

 private:
  struct Server;
  Engine engine_;
  std::string setting_;
  std::unique_ptr<Server> server_;
  std::unique_ptr<DataSession> owner_;  // goes before the schema
};

// The integer in the first row and column of a query's answer (a count,
// say). Throws when the answer has no row or the value is no integer.
std::int64_t QueryInteger(DataSession& db, const std::string& sql);

// A trigger that refuses rows, for tests of what a failing statement
// leaves behind, made with either engine's means: before each `event`
// ("INSERT", "DELETE") on `table` for which `condition` holds (written with
// old./new. as both engines read it; "1 = 1" for every row), the statement
// fails with `message`, or, when `message` is empty, the row is skipped
// without an error.
void AddRefusal(DataSession& db, const std::string& name, const std::string& event, const std::string& table,
                const std::string& condition, const std::string& message);
void DropRefusal(DataSession& db, const std::string& name, const std::string& table);

}  // namespace rt::testing
