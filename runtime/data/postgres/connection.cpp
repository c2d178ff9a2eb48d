#include "runtime/data/postgres/connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/data/datetime_text.h"
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

Connection::Connection(const std::string& conninfo) {
  // libpq's reason for a string it cannot read quotes the string, and so
  // any password in it.
  const Options options = Parsed(conninfo);
  if (!options)
    throw EDatabaseError(
        "Cannot connect to the database server: the connection string cannot be read, neither as libpq's key=value "
        "form nor as a postgresql:// URI (it is not shown: it may hold a password)");
  conn_ = PQconnectdb(conninfo.c_str());
  if (conn_ == nullptr) throw EDatabaseError("Cannot reach the database server: out of memory");
  PQsetNoticeProcessor(conn_, &IgnoreNotice, nullptr);
  try {
    Prepare();
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

void Connection::Prepare() {
  if (PQstatus(conn_) != CONNECTION_OK || PQsetClientEncoding(conn_, "UTF8") != 0)
    throw EDatabaseError("Cannot connect to the database server: " + Message(PQerrorMessage(conn_)));
  // A lock held by another workstation is waited for as long as SQLite
  // waits for a busy file, then the statement fails.
  const std::string wait = "SET lock_timeout = " + std::to_string(kBusyWaitSeconds * 1000);
  Result set;
  set.result.reset(PQexec(conn_, wait.c_str()));
  if (PQresultStatus(set.result.get()) != PGRES_COMMAND_OK)
    throw EDatabaseError("Cannot connect to the database server: " + Message(PQerrorMessage(conn_)));
}

void Connection::Reconnect() {
  PQreset(conn_);
  Prepare();
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

namespace {

enum class Control { Begin, Commit, Rollback, Other };

// What a statement does to the transaction: BEGIN opens one, COMMIT (or
// END) and ROLLBACK (but ROLLBACK TO a savepoint) end it.
Control ControlOf(std::string_view statement) {
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

// A statement that only reads, and so may run again after a lost
// connection: a plain SELECT (one that writes begins otherwise or is refused
// inside a read-only transaction).
bool OnlyReads(std::string_view statement) {
  const std::size_t start = statement.find_first_not_of(" \t\r\n(");
  if (start == std::string_view::npos || statement.size() - start < 6) return false;
  std::string word(statement.substr(start, 6));
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word == "SELECT";
}

constexpr const char* kLostInTransaction =
    "Database error: the connection to the database server was lost; the transaction was rolled back and nothing "
    "of it was kept";

}  // namespace

Connection::Result Connection::Run(const std::string& statement, const std::vector<Value>& params, int format) {
  const Control control = ControlOf(statement);
  if (PQstatus(conn_) == CONNECTION_BAD) {
    // A transaction that the lost connection ended is the caller's to end:
    // its statements fail until it rolls back (or fails to commit).
    if (open_) {
      if (control == Control::Rollback) {
        open_ = false;
        return Result{};
      }
      if (control == Control::Commit) open_ = false;
      throw EDatabaseError(kLostInTransaction);
    }
    Reconnect();
  }
  Result result = Execute(statement, params, format);
  if (!result.error.empty() && PQstatus(conn_) == CONNECTION_BAD) {
    if (control == Control::Rollback) {  // the server rolled it back as the connection went
      open_ = false;
      return Result{};
    }
    if (open_) {
      if (control == Control::Commit) open_ = false;
      throw EDatabaseError(kLostInTransaction);
    }
    if (control != Control::Begin && !OnlyReads(statement))
      throw EDatabaseError("Database error: the connection to the database server was lost while a statement ran; "
                           "whether it took effect is not known: " + result.error);
    // Beginning and reading are safe to repeat, on a new connection.
    Reconnect();
    result = Execute(statement, params, format);
  }
  if (!result.error.empty()) {
    if (control == Control::Commit || control == Control::Rollback) open_ = false;
    throw EDatabaseError(result.error);
  }
  if (control == Control::Begin) open_ = true;
  if (control == Control::Commit || control == Control::Rollback) open_ = false;
  return result;
}

Connection::Result Connection::Execute(const std::string& statement, const std::vector<Value>& params,
                                         int format) {
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
  // Without values the text goes as it is, and may hold several statements.
  result.result.reset(params.empty() && format == 0 ? PQexec(conn_, statement.c_str())
                                     : PQexecParams(conn_, statement.c_str(), static_cast<int>(params.size()), nullptr,
                                                    values.data(), lengths.data(), formats.data(), format));
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
  return RowsChanged(Run(std::string(sql_utf8), {}).result.get());
}

std::optional<RowSet> Connection::QueryText(std::string_view sql_utf8) {
  const Result result = Run(std::string(sql_utf8), {});
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
