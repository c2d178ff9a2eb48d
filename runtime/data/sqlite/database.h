// The host's database as an SQLite file, the embedded default engine
// behind rt::DataSession (session.h), spoken to in the Transact-SQL that
// plug-ins compose (see dialect.h).
//
// Texts cross the boundary as GBK and are held by SQLite as UTF-8.
// Date-times are stored as texts "YYYY-MM-DD HH:MM:SS.fff" in local time
// (datetime_text.h). Query results are typed per field (field_typing.h): a
// column read from a table by its declared type, DATETIME columns as
// rt::DateTime; an expression column by the type its values share, so that
// Max() of a date-time column comes back as a DateTime field too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/session.h"
#include "runtime/data/value.h"
#include "runtime/errors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace rt::sqlite {

// One SQLite connection to a file.
class Database final : public DataSession {
 public:
  using OpenMode = rt::OpenMode;

  // Opens the file at native_path (UTF-8). A new or empty file gets the
  // host's schema (schema.h); an existing one is changed only to upgrade an
  // older schema version. Throws EDatabaseError, also for OpenExisting on a
  // missing file and for a file that is not a database.
  explicit Database(const std::string& native_path, OpenMode mode = OpenMode::OpenOrCreate);
  ~Database() override;

  Engine Kind() const override { return Engine::Sqlite; }
  std::string Shown() const override;
  std::string Identity() const override { return identity_; }

  // Runs a Transact-SQL text (GBK), possibly several statements separated
  // only by blanks, as one transaction: all or nothing. Returns the number of
  // rows the text inserted, updated and deleted (rows that triggers changed
  // do not count). Throws EDatabaseError naming the database's complaint
  // when the text is not GBK or any statement is rejected; nothing of the
  // text remains applied then. A text without statements changes nothing.
  std::int64_t Execute(std::string_view tsql) override;

  // Runs a Transact-SQL query (GBK) and returns its rows, texts in GBK, field
  // names as the query names them. When the text holds several statements
  // they run as one transaction and the first one that has result columns
  // gives the rows. Throws EDatabaseError, also for a text without any
  // statement.
  RowSet Query(std::string_view tsql) override;

  // Runs a query as Query does and returns its rows as a data packet
  // (packet.h), the bytes that EncodePacket(Query(tsql)) gives, encoded
  // straight from the statement where it only reads (statement_packet.h).
  OleVariant QueryPacket(std::string_view tsql) override;

  // Runs a query as Query does, allowed only to read: a statement that would
  // change data or the schema, attach a database or set a pragma is refused
  // (EWriteRefused) as it is prepared, and nothing of the text takes effect.
  // Enforced by the database on this connection, for this call only.
  RowSet QueryReadOnly(std::string_view tsql) override;

  // One SQLite statement (UTF-8) with '?' parameters, for code that must not
  // compose SQL from values. Texts among the values are GBK; a DateTime is
  // bound as its stored text. Returns the rows changed, or the rows.
  std::int64_t ExecuteBound(std::string_view sqlite_sql_utf8, const std::vector<Value>& params) override;
  RowSet QueryBound(std::string_view sqlite_sql_utf8, const std::vector<Value>& params) override;

  // The column names (GBK) of a table, in order, as declared; empty when
  // there is no such table. The table name matches without regard to case.
  std::vector<std::string> TableColumns(std::string_view table) override;
  std::int64_t LastKey(std::string_view table, std::string_view key) override;
  void KeepKeysPast(std::string_view table, std::string_view key, std::int64_t last) override;

  // The statements stepped on this connection (counted by SQLite's trace of
  // statements; a caller that sets a trace of its own ends the count).
  std::uint64_t RoundTrips() const override { return statements_run_; }

  sqlite3* Handle() const { return db_; }

  // Attaches the content file (content_file.h) unless it is attached
  // already, refusing one that does not belong with this database, and
  // making it only while the database records no contents in it; outside
  // any transaction. Throws EDatabaseError (rt::sqlite::Error).
  void AttachContentFile();

  // With the content file attached: removes the chunks of the contents that
  // this connection removed, once their removal is committed; nothing
  // inside a transaction. Called after every statement or transaction that
  // commits.
  void AfterCommit() noexcept override;
  const std::string& Path() const { return path_; }

 protected:
  bool InTransaction() const override;
  void Begin(bool writing) override;
  void Control(const char* sql) override;

 private:
  class StatementCache;

  // Runs a Transact-SQL query's statements, the first that has result
  // columns through on_rows, the others to their end; false when none has
  // result columns. Several statements run as one transaction, and one
  // statement too when own_transaction says so.
  template <class OnRows>
  bool RunQuery(std::string_view tsql, bool own_transaction, OnRows&& on_rows);

  // Whether statements are taken from and kept in the cache; off while
  // statements must be prepared under an authorizer (QueryReadOnly).
  void ReuseStatements(bool reuse);

  std::string path_;
  std::string identity_;
  sqlite3* db_ = nullptr;
  // The bound statements prepared on this connection, kept for their next
  // use.
  std::unique_ptr<StatementCache> statements_;
  // Set when this connection removes a content (content_file.h).
  bool removed_content_ = false;
  bool content_attached_ = false;
  std::uint64_t statements_run_ = 0;
};

// The SQLite connection of a session, or nullptr for another engine's.
inline Database* AsSqlite(DataSession& session) { return dynamic_cast<Database*>(&session); }

}  // namespace rt::sqlite
