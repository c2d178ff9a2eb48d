// A connection to the host's database, whichever engine holds it: the
// embedded SQLite file (runtime/data/sqlite/database.h) or a laboratory's shared
// PostgreSQL server (runtime/data/postgres/database.h). Code above the data
// layer speaks to this interface only, and the process's database session
// (rt::CurrentDataSession()) is one of these.
//
// Two kinds of statements pass through it:
//   - Transact-SQL texts (GBK) as plug-ins compose them, translated for the
//     engine by the dialect layer (dialect.h), each text all or nothing;
//   - single statements (UTF-8) with '?' parameters, for code that must not
//     compose SQL from values. These are written once for both engines, in
//     the SQL the two share: no engine's own functions, INSERT ... ON
//     CONFLICT rather than INSERT OR REPLACE, RETURNING for a new key, names
//     unquoted (the server folds them to lower case).
//
// Texts among values and rows are GBK; date-times are rt::DateTime, local
// time to the millisecond. Not copyable; used from one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/engine.h"
#include "runtime/data/value.h"
#include "runtime/errors.h"

namespace rt {

class OleVariant;

// A statement refused because it would write where only reading is allowed.
class EWriteRefused : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

// A COMMIT whose outcome is not known: the connection to the server was
// lost while it ran, and what became of the transaction could not be found
// out (no new connection, or no answer in time). What it wrote may have
// been kept; nothing may be undone on the belief that it was not.
class ECommitUnknown : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

// How a session's connection reaches its database (DataSession::Reached): a
// file of this computer, or a server over a connection that is not
// encrypted, encrypted to a server whose certificate was not checked
// (libpq's sslmode prefer or require), or encrypted to a server verified
// against the laboratory's authority (verify-full or verify-ca).
enum class Reach { LocalFile, Unencrypted, Encrypted, Verified };

class DataSession {
 public:
  DataSession() = default;
  virtual ~DataSession() = default;
  DataSession(const DataSession&) = delete;
  DataSession& operator=(const DataSession&) = delete;

  virtual Engine Kind() const = 0;
  // The database for a message (GBK): the file's path, or the server's
  // database as the connection setting names it, without its password.
  virtual std::string Shown() const = 0;
  // Which database this is, the same however a process names it and
  // whoever logs in, for records that belong to one database (UTF-8, to
  // compare only, never shown: it is not GBK). An SQLite file: "file:" and
  // SQLite's own full path of it. A server: "server:" and what of the
  // setting, as libpq reads it with its defaults, names the database:
  // host(s) or hostaddr, port, dbname and the search path that options
  // give, without the login, its secrets and other connection details.
  // Made when the session is; asks nothing of the server.
  virtual std::string Identity() const = 0;
  // How the connection reaches the database; an SQLite file is local.
  virtual Reach Reached() const { return Reach::LocalFile; }

  // Runs a Transact-SQL text, possibly several statements separated only by
  // blanks, as one transaction: all or nothing. Returns the number of rows
  // the text inserted, updated and deleted. Throws EDatabaseError naming the
  // database's complaint when the text is not GBK or any statement is
  // rejected; nothing of the text remains applied then.
  virtual std::int64_t Execute(std::string_view tsql) = 0;

  // Runs a Transact-SQL query and returns its rows, field names as the query
  // writes them. Several statements run as one transaction and the first
  // one with result columns gives the rows. Throws EDatabaseError, also for
  // a text without any statement.
  virtual RowSet Query(std::string_view tsql) = 0;

  // Query's rows as a data packet (packet.h).
  virtual OleVariant QueryPacket(std::string_view tsql);

  // Runs a query as Query does, allowed only to read: a statement that would
  // change anything is refused (EWriteRefused) and nothing of the text takes
  // effect.
  virtual RowSet QueryReadOnly(std::string_view tsql) = 0;

  // One statement with '?' parameters. Returns the rows changed, or the
  // rows.
  virtual std::int64_t ExecuteBound(std::string_view sql_utf8, const std::vector<Value>& params) = 0;
  virtual RowSet QueryBound(std::string_view sql_utf8, const std::vector<Value>& params) = 0;

  // The bytes of a query's single column of bytes in its first row (a
  // chunk of a content); nothing when there is no row or the value is NULL.
  // Throws EDatabaseError when the column holds no bytes.
  virtual std::optional<std::vector<std::uint8_t>> QueryBytes(std::string_view sql_utf8,
                                                              const std::vector<Value>& params);

  // The column names (GBK) of a table, in order; empty when there is no such
  // table. The table name matches without regard to case.
  virtual std::vector<std::string> TableColumns(std::string_view table) = 0;

  // Keys of a table's own key column (`key`, an INTEGER PRIMARY KEY on
  // SQLite, an identity on a server), for a copy of a whole database that
  // keeps its keys. LastKey: the highest key handed out, a deleted row's
  // included where the engine remembers those (SQLite's AUTOINCREMENT, a
  // server's identity); 0 when none. KeepKeysPast: from now on the column
  // hands out only keys past `last`, where the engine remembers handed-out
  // keys (elsewhere the highest row's key already decides). Table and column
  // are the system's own names (letters, digits and '_'); others are
  // refused. Throw EDatabaseError.
  virtual std::int64_t LastKey(std::string_view table, std::string_view key) = 0;
  virtual void KeepKeysPast(std::string_view table, std::string_view key, std::int64_t last) = 0;

  // The statements this connection has run since it was made, for
  // benchmarks and tests that count what a piece of work costs: on a server
  // each one exchange with it (a round trip), on an SQLite file each
  // statement stepped (those of triggers aside).
  virtual std::uint64_t RoundTrips() const = 0;

  // Liveness keys: a process says that it lives, for a piece of work that
  // others must not take for abandoned, by holding a key (a positive 63-bit
  // number of its choosing) on its connection until it releases it or the
  // connection ends; any connection to the database, whatever its login,
  // asks whether a key is held. A server holds them as session advisory
  // locks, and its connection takes them again when it makes a lost
  // connection anew. SQLite has none (its owners hold lock files,
  // labdoc/owner_lock.h): Hold answers false, Held nothing.
  // Hold throws EDatabaseError when the server refuses; Held, when it
  // cannot be asked.
  virtual bool HoldLivenessKey(std::int64_t) { return false; }
  virtual void ReleaseLivenessKey(std::int64_t) noexcept {}
  virtual std::optional<bool> LivenessKeyHeld(std::int64_t) { return std::nullopt; }

 protected:
  friend class Transaction;
  virtual bool InTransaction() const = 0;
  // Opens a transaction. A writing one holds the database's write lock from
  // its start (waiting for another writer as long as the engine waits), so
  // that what it read stays true until it commits.
  virtual void Begin(bool writing) = 0;
  // Runs a statement that controls the transaction (COMMIT, SAVEPOINT ...).
  virtual void Control(const char* sql) = 0;
  // After a commit: work that must wait for one (content_file.h).
  virtual void AfterCommit() noexcept {}
};

// A transaction on a session: BEGIN when the connection has none open,
// otherwise a savepoint inside the open one, so scopes nest. Rolled back when
// it ends without Commit. Immediate takes the write lock at once (waiting for
// another writer) rather than at the first write.
class Transaction {
 public:
  enum class Kind { Deferred, Immediate };
  explicit Transaction(DataSession& session, Kind kind = Kind::Immediate);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Throws EDatabaseError when the commit fails; the scope then rolls back.
  // On a server, a commit whose answer a lost connection took is decided by
  // asking the server afterwards: a transaction that committed returns, one
  // that cannot be asked about throws ECommitUnknown.
  void Commit();

 private:
  DataSession& session_;
  bool outermost_;
  bool done_ = false;
};

// The process's database session, shared by the host and its plug-ins.
// Opening replaces a session that is open.
//
// OpenSession's setting (UTF-8) names the database (docs/database.md): a
// PostgreSQL connection string ("postgresql://..." or "postgres://...", or
// libpq's "key=value ..." form) connects to the server; anything else is
// the native path of an SQLite file, made when mode allows and missing.
enum class OpenMode { OpenOrCreate, OpenExisting };
void OpenSession(const std::string& setting, OpenMode mode = OpenMode::OpenOrCreate);
// Makes a session the caller opened (and readied as its engine needs) the
// process's.
void AdoptSession(std::unique_ptr<DataSession> opened);
// Makes a session for the setting without opening it as the process's.
std::unique_ptr<DataSession> Connect(const std::string& setting, OpenMode mode = OpenMode::OpenOrCreate);
// Refuses (EDatabaseError) a table's or column's name that SQL would have
// to quote: the names the system composes into statements are its own,
// letters, digits and '_', not beginning with a digit.
void RequirePlainName(std::string_view name);
// Whether a setting names a server rather than a file.
bool NamesServer(std::string_view setting);
// A setting for a message (GBK), as the session would show it
// (DataSession::Shown): a file's path, or a server's connection string
// without its password or any other secret; one that cannot be read, none
// of its text. A message never holds a setting otherwise.
std::string ShownSetting(const std::string& setting);
// How a session reaches its database, for a person (GBK): "本机文件",
// "未加密", "已加密, 未验证服务器" or "已加密, 服务器已验证".
std::string ReachText(Reach reach);
// The session's database and how it is reached, for a person (GBK):
// "数据库: " and Shown(), then its ReachText in brackets.
std::string StatusLine(const DataSession& session);
void CloseSession();
bool HasSession();
// Throws EDatabaseError "No database session is open" when none is.
DataSession& CurrentDataSession();

}  // namespace rt
