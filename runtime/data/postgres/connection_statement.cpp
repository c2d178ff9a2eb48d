// Statements on a connection: the parameters sent in the form the server
// takes (and a BEGIN before them in the same exchange), the server's
// complaint as a message, and the results read as typed rows.
#include "runtime/data/postgres/connection.h"

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>

#include "runtime/data/datetime_text.h"
#include "runtime/data/postgres/connection_internal.h"
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
    case kOid: return FieldType::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric: return FieldType::Float;
    case kTimestamp: return FieldType::DateTime;
    case kBytea: return FieldType::Blob;
    default: return FieldType::Text;
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
    case FieldType::Float: return std::strtod(text, nullptr);
    case FieldType::DateTime: {
      const std::optional<DateTime> time = datetime::FromText(std::string_view(text, static_cast<std::size_t>(length)));
      if (!time) throw EDatabaseError(std::string("The server sent a time that is none: ") + text);
      return *time;
    }
    case FieldType::Blob: return Unhex(text, length);
    case FieldType::Text: break;
  }
  return gbk::FromUtf8(std::string_view(text, static_cast<std::size_t>(length)));
}

}  // namespace

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

}  // namespace rt::postgres
