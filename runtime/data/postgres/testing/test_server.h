// The throw-away PostgreSQL server the tests run against: CTest starts it in
// the build tree before them (tools/pg-server.sh), and LABDOCS_TEST_POSTGRES
// names the file that holds its connection string.
#pragma once

#include <fstream>
#include <optional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "runtime/data/postgres/connection.h"
#include "runtime/data/postgres/database.h"
#include "runtime/platform/testing/test_support.h"

namespace rt::postgres::testing {

// The server's connection string, of the login that owns the database and
// makes the tests' schemas; empty when no server was started. The tests'
// own (LABDOCS_TEST_POSTGRES), or, with LABDOCS_TEST_POSTGRES_TCP, the one
// through the loopback address.
inline std::string ServerConnectionString(const char* variable = "LABDOCS_TEST_POSTGRES") {
  const std::optional<std::string> file = rt::testing::GetEnv(variable);
  if (!file) return {};
  std::ifstream in(*file);
  std::string conninfo;
  std::getline(in, conninfo);
  return conninfo;
}

// A connection string (libpq's key=value form) with another login
// (rt::testing::StaffLogin ...): a key given again takes the place of the
// first.
inline std::string AsLogin(const std::string& conninfo, const std::string& login) {
  return conninfo + " user=" + login;
}

// A setting's sslrootcert (its leading blank, the path quoted for libpq)
// naming a certificate authority of the tests' server (tools/pg-tls.sh),
// which lies beside its connection strings: "root.crt", the authority that
// signed the server's certificate, or "other-root.crt", one that did not.
// Empty when no server was started. The folder is named as
// LABDOCS_TEST_POSTGRES names it: a Windows program under Wine reads the
// certificate as it reads the connection string's file.
inline std::string AuthorityOption(const std::string& file = "root.crt") {
  const std::optional<std::string> conninfo = rt::testing::GetEnv("LABDOCS_TEST_POSTGRES");
  if (!conninfo) return {};
  const std::string path = conninfo->substr(0, conninfo->find_last_of("/\\") + 1) + file;
  std::string quoted;
  for (const char c : path) {
    if (c == '\'' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return " sslrootcert='" + quoted + "'";
}

// A schema of the test's own, made on a connection and made its search
// path; dropped with everything in it at the end. Tests run at once on one
// server, each in its own schema. A schema of a given name (one that the
// tests' server has roles for) is made afresh.
class TestSchema {
 public:
  explicit TestSchema(Connection& connection, const std::string& name = {})
      : connection_(connection), name_(name.empty() ? "test_" + std::to_string(std::random_device()()) : name) {
    if (!name.empty()) connection_.ExecuteText("DROP SCHEMA IF EXISTS " + name_ + " CASCADE");
    connection_.ExecuteText("CREATE SCHEMA " + name_);
    connection_.ExecuteText("SET search_path TO " + name_ + ", public");
  }
  ~TestSchema() {
    try {
      if (connection_.InTransaction()) connection_.ExecuteText("ROLLBACK");
      connection_.ExecuteText("DROP SCHEMA " + name_ + " CASCADE");
    } catch (const EDatabaseError&) {
      // A test that broke its connection leaves the schema to the server's end.
    }
  }
  TestSchema(const TestSchema&) = delete;
  TestSchema& operator=(const TestSchema&) = delete;
  const std::string& Name() const { return name_; }

 private:
  Connection& connection_;
  std::string name_;
};

// A test with a database session on the server, in a schema of its own.
// The session is the owner's, who makes the schema, unless Login() names
// another login.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string conninfo = ServerConnectionString();
    ASSERT_FALSE(conninfo.empty()) << "no server: LABDOCS_TEST_POSTGRES names no connection string";
    db_.emplace(Conninfo());
    schema_.emplace(db_->Link());
  }
  virtual std::string Login() const { return {}; }
  // The session's connection string.
  std::string Conninfo() const {
    return Login().empty() ? ServerConnectionString() : AsLogin(ServerConnectionString(), Login());
  }

  std::optional<Database> db_;
  std::optional<TestSchema> schema_;  // after db_: it goes first
};

}  // namespace rt::postgres::testing
