// The host's database: an SQLite file, spoken to in the Transact-SQL that
// plug-ins compose (see dialect.h), and the process's database session that
// the host and its plug-ins share.
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

#include "runtime/data/value.h"
#include "runtime/errors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace rt {

class OleVariant;

// A statement refused because it would write where only reading is allowed.
class EWriteRefused : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

// One SQLite connection to a file. Not copyable; used from one thread at a
// time.
class Database {
 public:
  enum class OpenMode { OpenOrCreate, OpenExisting };

  // Opens the file at native_path (UTF-8). A new or empty file gets the
  // host's schema (schema.h); an existing one is changed only to upgrade an
  // older schema version. Throws EDatabaseError, also for OpenExisting on a
  // missing file and for a file that is not a database.
  explicit Database(const std::string& native_path, OpenMode mode = OpenMode::OpenOrCreate);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs a Transact-SQL text (GBK), possibly several statements separated
  // only by blanks, as one transaction: all or nothing. Returns the number of
  // rows the text inserted, updated and deleted (rows that triggers changed
  // do not count). Throws EDatabaseError naming the database's complaint
  // when the text is not GBK or any statement is rejected; nothing of the
  // text remains applied then. A text without statements changes nothing.
  std::int64_t Execute(std::string_view tsql);

  // Runs a Transact-SQL query (GBK) and returns its rows, texts in GBK, field
  // names as the query names them. When the text holds several statements
  // they run as one transaction and the first one that has result columns
  // gives the rows. Throws EDatabaseError, also for a text without any
  // statement.
  RowSet Query(std::string_view tsql);

  // Runs a query as Query does and returns its rows as a data packet
  // (packet.h), the bytes that EncodePacket(Query(tsql)) gives, encoded
  // straight from the statement where it only reads (statement_packet.h).
  OleVariant QueryPacket(std::string_view tsql);

  // Runs a query as Query does, allowed only to read: a statement that would
  // change data or the schema, attach a database or set a pragma is refused
  // (EWriteRefused) as it is prepared, and nothing of the text takes effect.
  // Enforced by the database on this connection, for this call only.
  RowSet QueryReadOnly(std::string_view tsql);

  // One SQLite statement (UTF-8) with '?' parameters, for code that must not
  // compose SQL from values. Texts among the values are GBK; a DateTime is
  // bound as its stored text. Returns the rows changed, or the rows.
  std::int64_t ExecuteBound(std::string_view sqlite_sql_utf8, const std::vector<Value>& params);
  RowSet QueryBound(std::string_view sqlite_sql_utf8, const std::vector<Value>& params);

  // The column names (GBK) of a table, in order, as declared; empty when
  // there is no such table. The table name matches without regard to case.
  std::vector<std::string> TableColumns(std::string_view table);

  sqlite3* Handle() const { return db_; }

  // Attaches the content file (content_file.h), making it when it is
  // missing, unless it is attached already; outside any transaction. Throws
  // EDatabaseError.
  void AttachContentFile();

  // With the content file attached: removes the chunks of the contents that
  // this connection removed, once their removal is committed; nothing
  // inside a transaction. Called after every statement or transaction that
  // commits.
  void AfterCommit() noexcept;
  const std::string& Path() const { return path_; }

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
  sqlite3* db_ = nullptr;
  // The bound statements prepared on this connection, kept for their next
  // use.
  std::unique_ptr<StatementCache> statements_;
  // Set when this connection removes a content (content_file.h).
  bool removed_content_ = false;
  bool content_attached_ = false;
};

// A transaction on a database: BEGIN when the connection has none open,
// otherwise a savepoint inside the open one, so scopes nest. Rolled back when
// it ends without Commit. Immediate takes the write lock at once (waiting for
// another writer up to the busy timeout) rather than at the first write.
class Transaction {
 public:
  enum class Kind { Deferred, Immediate };
  explicit Transaction(Database& database, Kind kind = Kind::Immediate);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Throws EDatabaseError when the commit fails; the scope then rolls back.
  void Commit();

 private:
  Database& database_;
  sqlite3* db_;
  bool outermost_;
  bool done_ = false;
};

// The process's database session, shared by the host and its plug-ins.
// Opening replaces a session that is open.
void OpenSession(const std::string& native_path, Database::OpenMode mode = Database::OpenMode::OpenOrCreate);
void CloseSession();
bool HasSession();
// Throws EDatabaseError "No database session is open" when none is.
Database& Session();

}  // namespace rt
