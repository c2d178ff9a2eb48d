// Connecting to the server (Connection's constructor), readying each
// connection made (Pin), making it again after a loss with what it had
// (Reconnect, Restore: the settings kept and the keys held), and the
// connection string as a message may show it. Statements are in
// connection_statement.cpp, transactions and a lost connection in
// connection_transaction.cpp.
#include "runtime/data/postgres/connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "runtime/data/postgres/connection_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/services/environment.h"
#include "runtime/text/gbk.h"

namespace rt::postgres {
namespace {

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
