// A connection to a PostgreSQL server (libpq), spoken to as the host's
// SQLite database is: statements with '?' parameters, texts crossing as GBK
// and converted here exactly as for SQLite (the connection's client
// encoding is UTF-8), results as typed rows.
//
// Field types come from the server's column types: integers and booleans
// as Integer, real and numeric types as Float, timestamps as DateTime
// (local time, as stored), bytea as Blob, everything else as Text.
// Parameters: an integer, a float and a text go as texts, a DateTime as its
// stored text, bytes as binary; the server infers each one's type from the
// statement.
//
// Each connection, and each one made again after a loss, pins what the
// system relies on (Pin in connection.cpp): UTF-8, ISO dates, standard
// strings, the workstation's time zone, its name in the server's list of
// connections, keepalives on both sides and a bound on a transaction left
// idle, the busy wait.
//
// Not copyable; used from one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/value.h"
#include "runtime/errors.h"

struct pg_conn;

namespace rt::postgres {

class Connection {
 public:
  // conninfo: libpq's connection string or URI. Throws EDatabaseError with
  // the server's (or libpq's) reason when it cannot connect, without the
  // setting's secrets; for a string that libpq cannot read, without any of
  // libpq's reason, which quotes the string.
  explicit Connection(const std::string& conninfo);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // One statement (UTF-8) with '?' parameters, as SQLite writes them; a '?'
  // inside a quoted text or name is part of it. It goes through the
  // extended protocol, which refuses a text of several statements. Returns
  // the rows changed, or the rows. Throws EDatabaseError naming the
  // server's complaint (and its SQLSTATE) or a text that is not GBK.
  std::int64_t ExecuteBound(std::string_view sql_utf8, const std::vector<Value>& params);
  RowSet QueryBound(std::string_view sql_utf8, const std::vector<Value>& params);

  // The bytes of a query's single bytea column in its first row, fetched in
  // the binary form; nothing when there is no row or the value is NULL.
  std::optional<std::vector<std::uint8_t>> QueryBytes(std::string_view sql_utf8, const std::vector<Value>& params);

  // A text (UTF-8) as it stands, without parameters: a '?' in it is the
  // server's to read. It may hold several statements, which the server runs
  // as one transaction unless the text says otherwise; the rows changed and
  // the rows are the last statement's.
  std::int64_t ExecuteText(std::string_view sql_utf8);
  // Its rows; nullopt for a statement that gives none (no result columns).
  std::optional<RowSet> QueryText(std::string_view sql_utf8);

  // Opens a transaction whose BEGIN (`begin`, "BEGIN" or "BEGIN ISOLATION
  // LEVEL ...") goes to the server with the transaction's first statement,
  // in the same exchange; a transaction that runs nothing costs nothing.
  void BeginLater(std::string begin);
  // Opens a transaction at once, with `lock` (a SELECT taking the writer
  // lock) and the reading of the transaction's id in the same exchange.
  // The id, and when the server started, is what decides a COMMIT whose
  // answer the connection lost (Run), also when another server answers
  // then: a standby that took over.
  // Throws EDatabaseError (busy, or the connection went) and leaves no
  // transaction open then.
  void BeginWriting(std::string_view lock);

  // Whether a transaction is open on the connection (begun and not yet
  // committed or rolled back by a statement of this connection); Failed:
  // one that a failed statement has ended, which takes only a rollback now.
  bool InTransaction() const;
  bool Failed() const;

  // Whether the connection is encrypted (TLS), and whether libpq verified
  // the server's certificate against the setting's authority
  // (sslrootcert): the sslmode in effect is verify-ca or verify-full, as
  // the setting or PGSSLMODE asks; libpq refuses a server it cannot verify
  // then, and encrypts without checking for prefer and require.
  bool Encrypted() const;
  bool ServerVerified() const;

  // Which database the connection reaches (DataSession::Identity), from
  // the options libpq connected with: its defaults and the environment
  // filled in, so that every spelling of one setting gives one identity.
  // Asks nothing of the server (connection_identity.cpp).
  std::string Identity() const;

  // The statements sent to the server since the connection was made, each
  // one exchange with it (a round trip), those that readied it included.
  std::uint64_t RoundTrips() const { return round_trips_; }

  // A lock held by another connection is waited for this long, then the
  // statement fails: the database is busy.
  static constexpr int kBusyWaitSeconds = 10;
  // A transaction left idle by its workstation longer than this (one that
  // died in it, its socket still open) is ended by the server, and with it
  // the writer lock it held, unless the laboratory set a shorter time.
  static constexpr int kIdleTransactionSeconds = 60;

  // What a new connection made after a lost one must have again, as this
  // one had it: a setting (a statement that sets something of the session,
  // run now and again on each new connection), and the liveness keys (session.h) that this holds as
  // session advisory locks. A key whose old connection the server has not
  // ended yet is held by that one until it ends.
  void KeepSetting(const std::string& statement);
  void HoldKey(std::int64_t key);
  void ReleaseKey(std::int64_t key) noexcept;
  // Whether any connection to the database holds the key: the server lists
  // every connection's locks to every login.
  bool KeyHeld(std::int64_t key);

 private:
  struct Result;
  // What a statement does to the transaction: BEGIN opens one, COMMIT (or
  // END) and ROLLBACK (but ROLLBACK TO a savepoint) end it.
  enum class Control { Begin, Commit, Rollback, Other };
  static Control ControlOf(std::string_view statement);
  // Runs a statement, folding a BEGIN not yet sent into it. A connection
  // found lost is made again before it, unless a transaction was open on
  // it: that transaction is gone, and its statements fail (a COMMIT too)
  // until it is rolled back. A COMMIT that lost its answer is decided by
  // asking a new connection what became of the transaction (Outcome). A plain SELECT
  // that loses its connection runs once more on a new one; any other
  // statement fails saying so.
  // `format`: the results' form, 0 text, 1 binary, or kWholeText: a text
  // without parameters sent as it stands (the simple protocol), which may
  // hold several statements.
  static constexpr int kWholeText = -1;
  Result Run(const std::string& statement, const std::vector<Value>& params, int format = 0);
  // Run's part for one exchange; `control` as ControlOf gives it, Begin for
  // a statement that opens a transaction (`begin` sent first; nothing of it
  // outlives a loss).
  Result Send(const std::string& text, const std::vector<Value>& params, int format, Control control,
              const std::string& begin = {});
  // Sends one statement, `begin` first when given, in one exchange; the
  // result holds the complaint when it failed.
  Result Execute(const std::string& statement, const std::vector<Value>& params, int format,
                 const std::string& begin = {});
  // A COMMIT whose answer the lost connection took with it: returns when
  // the transaction committed, throws EDatabaseError when it was rolled
  // back (or is not on the server that answers now) and ECommitUnknown
  // when that cannot be found out (also when another server than the one
  // that ran it holds its number as committed: that may be a transaction
  // of its own).
  void Outcome(const std::string& error);
  // Readies a connection just made (after a loss too): the settings pinned.
  void Pin();
  void Reconnect();
  // Gives a new connection the settings kept and the keys held.
  void Restore();
  void EndTransaction();

  pg_conn* conn_ = nullptr;
  bool open_ = false;                           // a transaction is open
  std::string begin_;                           // its BEGIN, while it is not sent yet
  std::optional<std::int64_t> transaction_id_;  // a writing one's id
  std::string server_started_;                  // and when the server that runs it started
  bool wrote_ = false;                          // a statement of it may have written
  int backend_ = 0;                             // the server's process of the connection
  std::uint64_t round_trips_ = 0;
  std::vector<std::string> settings_;  // KeepSetting's
  std::vector<std::int64_t> keys_;     // HoldKey's
};

// A connection string as a message may show it (UTF-8): its keys and
// values, in either of libpq's forms (key=value or a URI, whose user
// information and query are read as keys), but every secret libpq takes
// (password, sslpassword: the options libpq itself hides), also where
// another value holds one ("***" there). A string that libpq cannot read is
// shown as kUnreadableConnection, none of its text.
std::string ShownConnection(const std::string& conninfo);
inline constexpr const char* kUnreadableConnection = "(a connection string that cannot be read)";

// The statement with its '?' parameters numbered as PostgreSQL writes them
// ($1, $2, ...); '?' inside '...' texts, "..." names and comments stays.
std::string NumberParameters(std::string_view sql);

}  // namespace rt::postgres
