// The host's database on a PostgreSQL server, spoken to as the SQLite one
// is (runtime/data/sqlite/database.h): Transact-SQL texts in GBK, translated for
// the server (dialect.h), each text all or nothing; SQLite's '?' statements
// for code that must not compose SQL from values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/postgres/connection.h"
#include "runtime/data/session.h"
#include "runtime/data/value.h"

namespace rt::postgres {

class Database final : public DataSession {
 public:
  // Connects (libpq's connection string). Throws EDatabaseError.
  explicit Database(const std::string& conninfo);

  Engine Kind() const override { return Engine::Postgres; }
  std::string Shown() const override { return shown_; }
  std::string Identity() const override { return identity_; }
  // Unencrypted, encrypted, or encrypted to a server libpq verified.
  Reach Reached() const override;

  // As rt::sqlite::Database::Execute: the text's statements as one transaction (a
  // savepoint inside one that is open); the rows they changed.
  std::int64_t Execute(std::string_view tsql) override;
  // As rt::sqlite::Database::Query: the first statement with result columns gives
  // the rows; all of the text's statements run as one transaction. A text
  // that only reads takes no lock and never waits for a writer: one plain
  // SELECT runs alone, in one exchange; several see one snapshot
  // (REPEATABLE READ).
  RowSet Query(std::string_view tsql) override;
  // As Query, allowed only to read (read_only.cpp): a statement that is no
  // query, writes, or calls a function with effects beyond the transaction
  // is refused (EWriteRefused) before anything of the text runs; the rest
  // runs in a read-only transaction that is rolled back, one statement at a
  // time.
  RowSet QueryReadOnly(std::string_view tsql) override;

  std::int64_t ExecuteBound(std::string_view sql_utf8, const std::vector<Value>& params) override {
    return connection_.ExecuteBound(sql_utf8, params);
  }
  std::optional<std::vector<std::uint8_t>> QueryBytes(std::string_view sql_utf8,
                                                      const std::vector<Value>& params) override {
    return connection_.QueryBytes(sql_utf8, params);
  }
  // Fields are named as the statement writes them, as for Query.
  RowSet QueryBound(std::string_view sql_utf8, const std::vector<Value>& params) override;

  // The column names (GBK) of a table, in order; empty when there is no
  // such table. The name matches without regard to case.
  std::vector<std::string> TableColumns(std::string_view table) override;
  std::int64_t LastKey(std::string_view table, std::string_view key) override;
  void KeepKeysPast(std::string_view table, std::string_view key, std::int64_t last) override;

  // The statements sent to the server (Connection::RoundTrips).
  std::uint64_t RoundTrips() const override { return connection_.RoundTrips(); }

  // Liveness keys as the connection's session advisory locks.
  bool HoldLivenessKey(std::int64_t key) override {
    connection_.HoldKey(key);
    return true;
  }
  void ReleaseLivenessKey(std::int64_t key) noexcept override { connection_.ReleaseKey(key); }
  std::optional<bool> LivenessKeyHeld(std::int64_t key) override { return connection_.KeyHeld(key); }

  Connection& Link() { return connection_; }

 protected:
  bool InTransaction() const override { return connection_.InTransaction(); }
  // A writing transaction holds the database's writer lock (an advisory
  // lock of the connection's schema) until it ends: one writer at a time,
  // as on the embedded database, so that what a writer read stays true
  // until it commits. It is taken with the BEGIN, in one exchange; a
  // reading transaction's BEGIN goes with its first statement.
  void Begin(bool writing) override;
  // A COMMIT of a transaction that a failed statement ended rolls it back
  // and says so (the server answers it without an error).
  void Control(const char* sql) override;

 private:
  // Runs the text's statements in one transaction (or savepoint), the
  // writer lock held when any of them may write; the rows of the first that
  // has result columns.
  RowSet RunText(std::string_view tsql, bool read_only, std::int64_t* changed);

  Connection connection_;
  std::string shown_;
  std::string identity_;
};

}  // namespace rt::postgres
