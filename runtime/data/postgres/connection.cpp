#include "runtime/data/postgres/connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "runtime/data/datetime_text.h"
#include "runtime/data/session.h"
#include "runtime/host/environment.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/sleep.h"
#include "runtime/text/gbk.h"

namespace rt::postgres {
namespace {

// The server's type numbers (its catalog pg_type) that are not texts.
constexpr Oid kBool = 16;
constexpr Oid kBytea = 17;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kOid = 26;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kNumeric = 1700;
constexpr Oid kTimestamp = 1114;

FieldType TypeOf(Oid type) {
  switch (type) {
    case kBool:
    case kInt8:
    case kInt2:
    case kInt4:
    case kOid:
      return FieldType::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
      return FieldType::Float;
    case kTimestamp:
      return FieldType::DateTime;
    case kBytea:
      return FieldType::Blob;
    default:
      return FieldType::Text;
  }
}

// The server's messages are UTF-8; what GBK lacks becomes '?'.
std::string Message(const char* utf8) {
  std::string text = utf8 ? utf8 : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  try {
    return gbk::FromUtf8(text);
  } catch (const EConvertError&) {
    for (char& c : text)
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    return text;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// bytea's text form, "\x" and two hex digits a byte.
std::vector<std::uint8_t> Unhex(const char* text, int length) {
  if (length < 2 || text[0] != '\\' || text[1] != 'x' || length % 2 != 0)
    throw EDatabaseError("The server sent bytes in a form other than hex");
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(length - 2) / 2);
  for (int i = 2; i < length; i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) throw EDatabaseError("The server sent bytes in a form other than hex");
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

Value Cell(const char* text, int length, Oid type) {
  switch (TypeOf(type)) {
    case FieldType::Integer:
      if (type == kBool) return std::int64_t{text[0] == 't' ? 1 : 0};
      return std::int64_t{std::strtoll(text, nullptr, 10)};
    case FieldType::Float:
      return std::strtod(text, nullptr);
    case FieldType::DateTime: {
      const std::optional<DateTime> time = datetime::FromText(std::string_view(text, static_cast<std::size_t>(length)));
      if (!time) throw EDatabaseError(std::string("The server sent a time that is none: ") + text);
      return *time;
    }
    case FieldType::Blob:
      return Unhex(text, length);
    case FieldType::Text:
      break;
  }
  return gbk::FromUtf8(std::string_view(text, static_cast<std::size_t>(length)));
}

void IgnoreNotice(void*, const char*) {}

// A connection string's options as libpq reads it; null when it cannot.
using Options = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

Options Parsed(const std::string& conninfo) {
  char* error = nullptr;
  Options options(PQconninfoParse(conninfo.c_str(), &error), &PQconninfoFree);
  PQfreemem(error);
  return options;
}

// An option whose value no message may hold: those that libpq itself
// hides (its display character '*'), and the two it has by name, whatever
// another libpq's table says of them.
bool Secret(const PQconninfoOption& option) {
  const std::string_view keyword = option.keyword;
  return (option.dispchar != nullptr && std::strchr(option.dispchar, '*') != nullptr) || keyword == "password" ||
         keyword == "sslpassword";
}

// A text (GBK or UTF-8) with every secret value of the options (UTF-8)
// replaced by "***", as it is and as GBK: a server's or libpq's reason may
// quote what the setting gave it.
std::string WithoutSecrets(std::string message, const PQconninfoOption* options) {
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (option->val == nullptr || *option->val == '\0' || !Secret(*option)) continue;
    std::vector<std::string> forms = {option->val};
    try {
      forms.push_back(gbk::FromUtf8(option->val));
    } catch (const EConvertError&) {
      // Not a text GBK has: a GBK message cannot hold it.
    }
    for (const std::string& secret : forms)
      for (std::size_t at = message.find(secret); at != std::string::npos; at = message.find(secret, at + 3))
        message.replace(at, secret.size(), "***");
  }
  return message;
}

// The sslmode in effect on a connection: the setting's, PGSSLMODE's or
// libpq's default.
std::string SslMode(pg_conn* conn) {
  const Options options(PQconninfo(conn), &PQconninfoFree);
  for (const PQconninfoOption* option = options.get(); option && option->keyword != nullptr; ++option)
    if (std::string_view(option->keyword) == "sslmode" && option->val != nullptr) return option->val;
  return {};
}

bool Verifies(const std::string& sslmode) { return sslmode == "verify-full" || sslmode == "verify-ca"; }

}  // namespace

struct Connection::Result {
  std::unique_ptr<PGresult, decltype(&PQclear)> result{nullptr, &PQclear};
  std::string error;  // the server's or libpq's complaint when the statement failed
};

std::string NumberParameters(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 8);
  int number = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const std::size_t end = sql.find(c, i + 1);
      const std::size_t stop = end == std::string_view::npos ? sql.size() : end + 1;
      out.append(sql.substr(i, stop - i));
      i = stop - 1;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = sql.find('\n', i);
      const std::size_t stop = end == std::string_view::npos ? sql.size() : end;
      out.append(sql.substr(i, stop - i));
      i = stop - 1;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const std::size_t end = sql.find("*/", i + 2);
      const std::size_t stop = end == std::string_view::npos ? sql.size() : end + 2;
      out.append(sql.substr(i, stop - i));
      i = stop - 1;
    } else if (c == '?') {
      out += '$' + std::to_string(++number);
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// The workstation and its user, as the server's list of connections
// (pg_stat_activity) shows them: "labdocs <computer> <user>" in printable
// ASCII (a server before version 16 shows any other byte as '?'), the other
// bytes of the names' UTF-8 as %XX, at most 63 bytes of whole characters.
std::string ApplicationName() {
  constexpr std::size_t kLongest = 63;
  std::string name = "labdocs";
  for (const std::string& part : {Environment().computer_name, Environment().user_name}) {
    std::string utf8;
    try {
      utf8 = gbk::ToUtf8(part);
    } catch (const EConvertError&) {
      utf8 = part;
    }
    name += ' ';
    for (std::size_t i = 0; i < utf8.size();) {
      const auto lead = static_cast<unsigned char>(utf8[i]);
      const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      std::string shown;
      for (std::size_t j = i; j < i + length && j < utf8.size(); ++j) {
        const auto byte = static_cast<unsigned char>(utf8[j]);
        if (byte > ' ' && byte < 0x7F && byte != '%') {
          shown += static_cast<char>(byte);
        } else {
          char escaped[4];
          std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
          shown += escaped;
        }
      }
      if (name.size() + shown.size() > kLongest) return name;
      name += shown;
      i += length;
    }
  }
  return name.substr(0, kLongest);
}

// The workstation's offset from UTC now, as the store's own times have it
// (rt::Now: the system's local time), "+08:00" or "-03:30".
std::string UtcOffset() {
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  const auto ticks = [](const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  // 100-ns ticks, to the nearest minute.
  const std::int64_t minutes = (ticks(local) - ticks(utc) + (ticks(local) >= ticks(utc) ? 1 : -1) * 300'000'000) /
                               600'000'000;
  char text[16];
  std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', static_cast<int>(std::abs(minutes) / 60),
                static_cast<int>(std::abs(minutes) % 60));
  return text;
}

}  // namespace

Connection::Connection(const std::string& conninfo) {
  // libpq's reason for a string it cannot read quotes the string, and so
  // any password in it.
  const Options options = Parsed(conninfo);
  if (!options)
    throw EDatabaseError(
        "Cannot connect to the database server: the connection string cannot be read, neither as libpq's key=value "
        "form nor as a postgresql:// URI (it is not shown: it may hold a password)");
  // Defaults first: the setting (dbname, expanded) overrides them. A
  // workstation that dies or drops off the network is noticed in about a
  // minute rather than when the system gives up on the socket, hours later.
  std::vector<const char*> keys = {"keepalives", "keepalives_idle", "keepalives_interval", "keepalives_count"};
  std::vector<const char*> values = {"1", "20", "10", "3"};
  if (std::getenv("PGCONNECT_TIMEOUT") == nullptr) {
    keys.push_back("connect_timeout");
    values.push_back("10");
  }
  // Only where neither the setting nor PGAPPNAME names the application.
  const std::string application = ApplicationName();
  keys.push_back("fallback_application_name");
  values.push_back(application.c_str());
  keys.push_back("dbname");
  values.push_back(conninfo.c_str());
  // After the setting: what the system relies on.
  keys.push_back("client_encoding");
  values.push_back("UTF8");
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
  if (conn_ == nullptr) throw EDatabaseError("Cannot reach the database server: out of memory");
  PQsetNoticeProcessor(conn_, &IgnoreNotice, nullptr);
  try {
    Pin();
  } catch (const EDatabaseError& error) {
    std::string message = WithoutSecrets(error.what(), options.get());
    if (Verifies(SslMode(conn_)) && message.find("certificate") != std::string::npos)
      message += " (the setting demands a verified server: its certificate must be signed by the authority that "
                 "sslrootcert names, and with verify-full name the host the setting gives)";
    PQfinish(conn_);
    throw EDatabaseError(message);
  } catch (...) {
    PQfinish(conn_);
    throw;
  }
}

void Connection::Pin() {
  if (PQstatus(conn_) != CONNECTION_OK)
    throw EDatabaseError("Cannot connect to the database server: " + Message(PQerrorMessage(conn_)));
  backend_ = PQbackendPID(conn_);
  // One exchange. Dates in the form the store reads, texts with backslashes
  // as they are, GetDate() in the workstation's time as the store's own
  // times are; a lock held by another workstation waited for as long as
  // SQLite waits for a busy file. The server's keepalives and the bound on
  // an idle transaction only where the laboratory has not set them tighter
  // (pg_settings: the value the setting, the role or the database gave; 0
  // is none; a server without a setting has no row of it).
  const std::string idle = std::to_string(kIdleTransactionSeconds);
  // clang-format off
  const std::string pin =
      "SET DateStyle = ISO, YMD; SET standard_conforming_strings = on; SET TIME ZONE INTERVAL '" + UtcOffset() +
      "' HOUR TO MINUTE; SET lock_timeout = " + std::to_string(kBusyWaitSeconds * 1000) +
      "; SELECT set_config(s.name, v.value::text, false) FROM pg_settings s JOIN (VALUES"
      " ('idle_in_transaction_session_timeout', " + idle + "000), ('tcp_user_timeout', " + idle + "000),"
      " ('tcp_keepalives_idle', 20), ('tcp_keepalives_interval', 10), ('tcp_keepalives_count', 3)) v(name, value)"
      " ON s.name = v.name WHERE s.setting::bigint = 0 OR s.setting::bigint > v.value";
  // clang-format on
  const Result pinned = Execute(pin, {}, kWholeText);
  if (!pinned.error.empty()) throw EDatabaseError("Cannot connect to the database server: " + pinned.error);
  // Reported by the server with every change: no exchange to ask.
  for (const auto& [name, value] :
       {std::pair{"standard_conforming_strings", "on"}, std::pair{"client_encoding", "UTF8"}}) {
    const char* now = PQparameterStatus(conn_, name);
    if (now == nullptr || std::string_view(now) != value)
      throw EDatabaseError(std::string("Cannot work with the database server: its ") + name + " is " +
                           (now ? now : "not reported") + ", and this system needs it to be " + value);
  }
}

void Connection::Reconnect() {
  PQreset(conn_);
  Pin();
  Restore();
}

Connection::~Connection() { PQfinish(conn_); }

bool Connection::Failed() const { return PQtransactionStatus(conn_) == PQTRANS_INERROR; }

bool Connection::Encrypted() const { return PQsslInUse(conn_) != 0; }

bool Connection::ServerVerified() const { return Encrypted() && Verifies(SslMode(conn_)); }

std::string ShownConnection(const std::string& conninfo) {
  const Options options = Parsed(conninfo);
  if (!options) return kUnreadableConnection;
  std::string shown;
  for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
    if (option->val == nullptr || *option->val == '\0' || Secret(*option)) continue;
    shown += (shown.empty() ? "" : " ") + std::string(option->keyword) + "=" + option->val;
  }
  // A secret is hidden where another value holds it too.
  return WithoutSecrets(shown, options.get());
}

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
                           "whether it took effect is not known: " + result.error);
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
    if (state == "aborted" || (state == "in progress" && !same_server))
      throw EDatabaseError(kLostInTransaction);
    if (state != "in progress") break;  // too old to tell
  }
  throw ECommitUnknown(unknown + reason);
}

namespace {

// A statement with values (or whose results come as binary) sent after
// `begin` in one exchange, by libpq's pipeline mode (the extended protocol
// takes one statement a message, the messages go together, one Sync ends
// them): the statement's result, or BEGIN's complaint.
PGresult* Pipelined(PGconn* conn, const std::string& begin, const std::string& statement, int count,
                    const char* const* values, const int* lengths, const int* formats, int format) {
  if (PQenterPipelineMode(conn) != 1) return nullptr;
  PGresult* kept = nullptr;
  if (PQsendQueryParams(conn, begin.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
      PQsendQueryParams(conn, statement.c_str(), count, nullptr, values, lengths, formats, format) == 1 &&
      PQpipelineSync(conn) == 1) {
    // Each statement's results end with a null, the whole with the Sync's.
    for (int query = 0;;) {
      PGresult* result = PQgetResult(conn);
      if (result == nullptr) {
        if (PQstatus(conn) == CONNECTION_BAD || ++query > 2) break;
        continue;
      }
      const ExecStatusType status = PQresultStatus(result);
      if (status == PGRES_PIPELINE_SYNC) {
        PQclear(result);
        break;
      }
      // The first complaint, else the statement's result.
      const bool failed = status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK;
      const bool kept_failed = kept != nullptr && PQresultStatus(kept) != PGRES_COMMAND_OK &&
                               PQresultStatus(kept) != PGRES_TUPLES_OK;
      if (!kept_failed && (failed || query == 1) && status != PGRES_PIPELINE_ABORTED) {
        PQclear(kept);
        kept = result;
      } else {
        PQclear(result);
      }
    }
  }
  PQexitPipelineMode(conn);
  return kept;
}

}  // namespace

Connection::Result Connection::Execute(const std::string& statement, const std::vector<Value>& params, int format,
                                       const std::string& begin) {
  std::vector<std::string> texts(params.size());
  std::vector<const char*> values(params.size(), nullptr);
  std::vector<int> lengths(params.size(), 0);
  std::vector<int> formats(params.size(), 0);
  for (std::size_t i = 0; i < params.size(); ++i) {
    const Value& value = params[i];
    if (std::holds_alternative<std::monostate>(value)) continue;
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) {
      // No bytes are still a value: libpq takes a null pointer for NULL.
      static const char kNoBytes = 0;
      values[i] = bytes->empty() ? &kNoBytes : reinterpret_cast<const char*>(bytes->data());
      lengths[i] = static_cast<int>(bytes->size());
      formats[i] = 1;
      continue;
    }
    if (const auto* n = std::get_if<std::int64_t>(&value)) {
      texts[i] = std::to_string(*n);
    } else if (const auto* f = std::get_if<double>(&value)) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.17g", *f);
      texts[i] = buffer;
    } else if (const auto* time = std::get_if<DateTime>(&value)) {
      texts[i] = datetime::ToText(*time);
    } else {
      try {
        texts[i] = gbk::ToUtf8(std::get<std::string>(value));
      } catch (const EConvertError& error) {
        throw EDatabaseError(std::string("A text is not GBK: ") + error.what());
      }
    }
    values[i] = texts[i].c_str();
    lengths[i] = static_cast<int>(texts[i].size());
  }
  Result result;
  ++round_trips_;
  // A text goes as it is, and may hold several statements (a BEGIN first
  // among them); the server answers with the last one's result. The
  // extended protocol takes exactly one statement.
  const int count = static_cast<int>(params.size());
  if (format == kWholeText)
    result.result.reset(PQexec(conn_, (begin.empty() ? statement : begin + "; " + statement).c_str()));
  else if (begin.empty())
    result.result.reset(
        PQexecParams(conn_, statement.c_str(), count, nullptr, values.data(), lengths.data(), formats.data(), format));
  else
    result.result.reset(
        Pipelined(conn_, begin, statement, count, values.data(), lengths.data(), formats.data(), format));
  const ExecStatusType status = PQresultStatus(result.result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    const char* state = PQresultErrorField(result.result.get(), PG_DIAG_SQLSTATE);
    const std::string reason = result.result ? Message(PQresultErrorMessage(result.result.get()))
                                             : Message(PQerrorMessage(conn_));
    // 55P03: a lock that another connection held past lock_timeout.
    const bool busy = state != nullptr && std::string_view(state) == "55P03";
    result.error = (busy ? "Database error: the database is busy (another workstation held what this needs for " +
                               std::to_string(kBusyWaitSeconds) + " s); try again: "
                         : std::string()) +
                   reason + (state ? std::string(" (SQLSTATE ") + state + ")" : std::string());
  }
  return result;
}

namespace {

std::int64_t RowsChanged(PGresult* result) {
  if (result == nullptr) return 0;
  const char* changed = PQcmdTuples(result);
  return changed && *changed ? std::strtoll(changed, nullptr, 10) : 0;
}

RowSet Rows(PGresult* r) {
  RowSet rows;
  const int columns = PQnfields(r);
  for (int c = 0; c < columns; ++c) rows.fields.push_back({Message(PQfname(r, c)), TypeOf(PQftype(r, c))});
  const int count = PQntuples(r);
  rows.rows.reserve(static_cast<std::size_t>(count));
  for (int row = 0; row < count; ++row) {
    std::vector<Value>& cells = rows.rows.emplace_back();
    cells.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(r, row, c)) {
        cells.emplace_back();
      } else {
        cells.push_back(Cell(PQgetvalue(r, row, c), PQgetlength(r, row, c), PQftype(r, c)));
      }
    }
  }
  return rows;
}

}  // namespace

std::int64_t Connection::ExecuteBound(std::string_view sql_utf8, const std::vector<Value>& params) {
  return RowsChanged(Run(NumberParameters(sql_utf8), params).result.get());
}

RowSet Connection::QueryBound(std::string_view sql_utf8, const std::vector<Value>& params) {
  return Rows(Run(NumberParameters(sql_utf8), params).result.get());
}

std::optional<std::vector<std::uint8_t>> Connection::QueryBytes(std::string_view sql_utf8,
                                                                const std::vector<Value>& params) {
  // In the binary form a bytea value is its bytes as they are: no hex text
  // of twice the size to send and decode.
  const Result result = Run(NumberParameters(sql_utf8), params, 1);
  PGresult* r = result.result.get();
  if (PQnfields(r) != 1 || PQftype(r, 0) != kBytea)
    throw EDatabaseError("Database error: the query gives no single column of bytes");
  if (PQntuples(r) == 0 || PQgetisnull(r, 0, 0)) return std::nullopt;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(PQgetvalue(r, 0, 0));
  return std::vector<std::uint8_t>(bytes, bytes + PQgetlength(r, 0, 0));
}

std::int64_t Connection::ExecuteText(std::string_view sql_utf8) {
  return RowsChanged(Run(std::string(sql_utf8), {}, kWholeText).result.get());
}

std::optional<RowSet> Connection::QueryText(std::string_view sql_utf8) {
  const Result result = Run(std::string(sql_utf8), {}, kWholeText);
  if (!result.result || PQresultStatus(result.result.get()) != PGRES_TUPLES_OK) return std::nullopt;
  return Rows(result.result.get());
}

void Connection::KeepSetting(const std::string& statement) {
  ExecuteText(statement);
  settings_.push_back(statement);
}

void Connection::HoldKey(std::int64_t key) {
  ExecuteBound("SELECT pg_advisory_lock(?)", {key});
  keys_.push_back(key);
}

void Connection::ReleaseKey(std::int64_t key) noexcept {
  const auto held = std::find(keys_.begin(), keys_.end(), key);
  if (held == keys_.end()) return;
  keys_.erase(held);
  try {
    ExecuteBound("SELECT pg_advisory_unlock(?)", {key});
  } catch (const EDatabaseError&) {
    // A connection that went took the lock with it; one in a failed
    // transaction keeps it until the connection ends.
  }
}

bool Connection::KeyHeld(std::int64_t key) {
  // pg_advisory_lock(bigint) lists its key's high half as classid, its low
  // half as objid, and objsubid 1.
  return !QueryBound("SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND database = (SELECT oid FROM pg_database "
                     "WHERE datname = current_database()) AND classid = ? AND objid = ? AND objsubid = 1 AND granted",
                     {key >> 32, key & 0xFFFFFFFF})
              .rows.empty();
}

void Connection::Restore() {
  const auto run = [this](const std::string& statement, const std::vector<Value>& params) {
    const Result result = Execute(statement, params, 0);
    if (!result.error.empty()) throw EDatabaseError("Cannot connect to the database server: " + result.error);
  };
  for (const std::string& setting : settings_) run(setting, {});
  // Not waited for: a key that another connection holds is still held by
  // this process's old connection, which the server has not ended yet.
  for (const std::int64_t key : keys_) run("SELECT pg_try_advisory_lock($1)", {key});
}

}  // namespace rt::postgres
