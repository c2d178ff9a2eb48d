// Transactions on a connection: a BEGIN sent with the first statement, what
// each statement does to the transaction, and what a lost connection does
// to a statement (run again, or failed saying so) and to a COMMIT (its
// outcome asked of a new connection).
#include "runtime/data/postgres/connection.h"

#include <libpq-fe.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <variant>

#include "runtime/data/postgres/connection_internal.h"
#include "runtime/data/session.h"
#include "runtime/platform/sleep.h"

namespace rt::postgres {

bool Connection::Failed() const { return PQtransactionStatus(conn_) == PQTRANS_INERROR; }

bool Connection::InTransaction() const { return open_; }

Connection::Control Connection::ControlOf(std::string_view statement) {
  std::string word;
  std::size_t i = statement.find_first_not_of(" \t\r\n");
  for (; i < statement.size() && std::isalpha(static_cast<unsigned char>(statement[i])); ++i)
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(statement[i])));
  if (word == "BEGIN") return Control::Begin;
  if (word == "COMMIT" || word == "END") return Control::Commit;
  if (word != "ROLLBACK") return Control::Other;
  const std::size_t next = statement.find_first_not_of(" \t\r\n", i);
  const bool to = next != std::string_view::npos && statement.size() - next >= 2 &&
                  std::toupper(static_cast<unsigned char>(statement[next])) == 'T' &&
                  std::toupper(static_cast<unsigned char>(statement[next + 1])) == 'O';
  return to ? Control::Other : Control::Rollback;
}

namespace {

// The first word of a statement, in capitals.
std::string FirstWord(std::string_view statement) {
  std::string word;
  std::size_t i = statement.find_first_not_of(" \t\r\n(");
  for (; i < statement.size() && std::isalpha(static_cast<unsigned char>(statement[i])); ++i)
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(statement[i])));
  return word;
}

// A statement that only reads, and so may run again after a lost
// connection: a plain SELECT (one that writes begins otherwise or is refused
// inside a read-only transaction).
bool OnlyReads(std::string_view statement) { return FirstWord(statement) == "SELECT"; }

// A text after which a transaction still holds nothing to keep: each of
// its statements (the words after each ';' are looked at, in quotes too,
// which may only take a read for a write) reads or only steers the
// transaction.
bool KeepsNothing(std::string_view text) {
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string word = FirstWord(text.substr(start, end - start));
    if (!word.empty() && word != "SELECT" && word != "SET" && word != "SHOW" && word != "SAVEPOINT" &&
        word != "RELEASE" && word != "ROLLBACK" && word != "BEGIN" && word != "COMMIT" && word != "END")
      return false;
    start = end + 1;
  }
  return true;
}

// When the server that answers started: another server (a standby that
// took over) or the same one started again answers with another time. (A
// server whose processes crashed and that recovered without starting again
// keeps its time: that case is not told apart.)
constexpr const char* kServerStarted = "extract(epoch FROM pg_postmaster_start_time())::text";

constexpr const char* kLostInTransaction =
    "Database error: the connection to the database server was lost; the transaction was rolled back and nothing "
    "of it was kept";

}  // namespace

void Connection::EndTransaction() {
  open_ = false;
  begin_.clear();
  transaction_id_.reset();
  server_started_.clear();
  wrote_ = false;
}

void Connection::BeginLater(std::string begin) {
  begin_ = std::move(begin);
  open_ = true;
}

void Connection::BeginWriting(std::string_view lock) {
  try {
    const Result begun = Run("BEGIN; " + std::string(lock) + ", txid_current(), " + kServerStarted, {}, kWholeText);
    PGresult* r = begun.result.get();
    if (PQntuples(r) == 1 && PQnfields(r) == 3) {
      transaction_id_ = std::strtoll(PQgetvalue(r, 0, 1), nullptr, 10);
      server_started_ = PQgetvalue(r, 0, 2);
    }
  } catch (const EDatabaseError&) {
    // Busy, or the connection went: no transaction is left open.
    if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE) Execute("ROLLBACK", {}, 0);
    EndTransaction();
    throw;
  }
}

Connection::Result Connection::Run(const std::string& statement, const std::vector<Value>& params, int format) {
  const Control control = ControlOf(statement);
  if (open_ && !KeepsNothing(statement)) wrote_ = true;
  if (begin_.empty()) return Send(statement, params, format, control);
  // A transaction whose BEGIN is not sent yet has nothing on the server to
  // end; otherwise the BEGIN goes first, in the same exchange.
  if (control == Control::Commit || control == Control::Rollback) {
    EndTransaction();
    return Result{};
  }
  return Send(statement, params, format, Control::Begin, std::exchange(begin_, std::string()));
}

Connection::Result Connection::Send(const std::string& text, const std::vector<Value>& params, int format,
                                    Control control, const std::string& begin) {
  if (PQstatus(conn_) == CONNECTION_BAD) {
    // A transaction that the lost connection ended is the caller's to end:
    // its statements fail until it rolls back (or fails to commit).
    if (open_ && control != Control::Begin) {
      if (control == Control::Rollback) {
        EndTransaction();
        return Result{};
      }
      if (control == Control::Commit) EndTransaction();
      throw EDatabaseError(kLostInTransaction);
    }
    Reconnect();
  }
  Result result = Execute(text, params, format, begin);
  if (!result.error.empty() && PQstatus(conn_) == CONNECTION_BAD) {
    if (control == Control::Rollback) {  // the server rolled it back as the connection went
      EndTransaction();
      return Result{};
    }
    if (control == Control::Commit && open_) {
      Outcome(result.error);
      return Result{};
    }
    if (open_ && control != Control::Begin) throw EDatabaseError(kLostInTransaction);
    if (control != Control::Begin && !OnlyReads(text))
      throw EDatabaseError("Database error: the connection to the database server was lost while a statement ran; "
                           "whether it took effect is not known: " +
                           result.error);
    // Beginning (and whatever followed the BEGIN in its text: nothing of it
    // was kept) and reading are safe to repeat, on a new connection.
    Reconnect();
    result = Execute(text, params, format, begin);
  }
  // The server tells after each exchange whether a transaction is open.
  if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE) EndTransaction();
  else if (PQstatus(conn_) == CONNECTION_OK) open_ = true;
  if (!result.error.empty()) throw EDatabaseError(result.error);
  return result;
}

void Connection::Outcome(const std::string& error) {
  const std::optional<std::int64_t> id = transaction_id_;
  const std::string started = server_started_;
  const bool wrote = wrote_;
  const int backend = backend_;
  EndTransaction();
  const std::string unknown =
      "Database error: the connection to the database server was lost while the transaction committed, and "
      "whether it was kept is not known: ";
  if (!id) {
    // A transaction that wrote nothing keeps nothing either way.
    if (!wrote) return;
    throw ECommitUnknown(unknown + error);
  }
  // Asked on a new connection. While the lost one's process still runs the
  // transaction (it has not noticed the loss yet), it is ended: the
  // transaction is then decided, committed if its COMMIT arrived, else
  // rolled back.
  //
  // A server other than the one that ran it (a standby that took over, or
  // the same one started again after a crash) kept it only if its log
  // reached that server, and then holds its number as committed. Otherwise
  // the number is still to come there, or a transaction of that server's
  // own has it: its state says nothing of this one's, but that this one is
  // not there (it would have the number else). Only a "committed" cannot
  // be told from such a namesake's.
  std::string reason = error;
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (attempt > 0) platform::SleepFor(std::chrono::milliseconds(100));
    std::string state;
    bool same_server = false;
    try {
      if (PQstatus(conn_) != CONNECTION_OK) Reconnect();
      const RowSet status = QueryBound(std::string("SELECT ") + kServerStarted + ", txid_status(?)", {*id});
      const auto* now_started = std::get_if<std::string>(&status.rows.at(0).at(0));
      const auto* text = std::get_if<std::string>(&status.rows.at(0).at(1));
      same_server = now_started != nullptr && *now_started == started;
      state = text ? *text : "";
      if (state == "in progress" && same_server)
        QueryBound("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                   " WHERE pid = ? AND backend_xid = (?::bigint % 4294967296)::text::xid",
                   {std::int64_t{backend}, *id});
    } catch (const EDatabaseError& failed) {
      // A number that the server has not given out yet is "in the future"
      // (SQLSTATE 22023).
      if (PQstatus(conn_) == CONNECTION_OK &&
          std::string_view(failed.what()).find("(SQLSTATE 22023)") != std::string_view::npos)
        throw EDatabaseError(kLostInTransaction);
      // No new connection yet (the server restarting, a standby not yet
      // taking over, the network down): asked again for a few seconds.
      reason = failed.what();
      if (PQstatus(conn_) == CONNECTION_OK || attempt >= 20) break;
      continue;
    }
    if (state == "committed" && same_server) return;
    if (state == "committed") {
      reason = "another server answers now (a standby that took over, or the server started again), and a "
               "transaction of its own may have the number this one had";
      break;
    }
    if (state == "aborted" || (state == "in progress" && !same_server)) throw EDatabaseError(kLostInTransaction);
    if (state != "in progress") break;  // too old to tell
  }
  throw ECommitUnknown(unknown + reason);
}

}  // namespace rt::postgres
