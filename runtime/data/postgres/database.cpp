#include "runtime/data/postgres/database.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "runtime/data/dialect.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt::postgres {
namespace {

std::vector<std::string> Translated(std::string_view tsql) {
  try {
    return dialect::Translate(gbk::ToUtf8(tsql), Engine::Postgres);
  } catch (const EConvertError&) {
    throw EDatabaseError("Database error: the statement is not valid GBK text");
  }
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// The server folds the names of unquoted columns to lower case; SQLite
// names them as the statement writes them. A field whose name is a word of
// the statement but for the case of its letters takes the statement's
// spelling (the first, when it is written several ways).
void NameFieldsAsWritten(RowSet& rows, std::string_view sql_utf8) {
  std::vector<std::pair<std::string, std::string_view>> words;
  for (const dialect::Token& token : dialect::Tokenize(sql_utf8))
    if (token.kind == dialect::TokenKind::Word) words.emplace_back(AsciiLower(token.text), token.text);
  for (FieldDef& field : rows.fields) {
    const std::string lower = AsciiLower(gbk::ToUtf8(field.name));
    for (const auto& [folded, written] : words) {
      if (folded == lower) {
        field.name = gbk::FromUtf8(written);
        break;
      }
    }
  }
}

// A statement that only reads and may run without the writer lock: a
// SELECT that neither makes a table (SELECT ... INTO) nor locks rows
// (FOR UPDATE, FOR SHARE ...). A WITH may hold a statement that writes.
bool PlainSelect(std::string_view sql_utf8) {
  int depth = 0;
  bool first = true;
  for (const dialect::Token& token : dialect::Tokenize(sql_utf8)) {
    if (token.kind == dialect::TokenKind::Blank || token.kind == dialect::TokenKind::Comment) continue;
    if (first) {
      if (token.kind != dialect::TokenKind::Word || AsciiLower(token.text) != "select") return false;
      first = false;
    } else if (token.kind == dialect::TokenKind::OpenParen) {
      ++depth;
    } else if (token.kind == dialect::TokenKind::CloseParen) {
      --depth;
    } else if (token.kind == dialect::TokenKind::Word && depth == 0) {
      const std::string word = AsciiLower(token.text);
      if (word == "into" || word == "for") return false;
    }
  }
  return !first;
}

// The writer lock: an advisory lock of the connection's schema, held until
// the transaction ends.
constexpr const char* kWriterLock = "SELECT pg_advisory_xact_lock(hashtext(current_schema() || ' labdocs writer'))";

std::string FromUtf8OrAsIs(const std::string& utf8) {
  try {
    return gbk::FromUtf8(utf8);
  } catch (const EConvertError&) {
    return utf8;
  }
}

}  // namespace

Database::Database(const std::string& conninfo)
    : connection_(conninfo), shown_(FromUtf8OrAsIs(ShownConnection(conninfo))), identity_(connection_.Identity()) {}

Reach Database::Reached() const {
  if (connection_.ServerVerified()) return Reach::Verified;
  return connection_.Encrypted() ? Reach::Encrypted : Reach::Unencrypted;
}

void Database::Begin(bool writing) {
  if (writing) connection_.BeginWriting(kWriterLock);
  else connection_.BeginLater("BEGIN");
}

void Database::Control(const char* sql) {
  if (std::string_view(sql) == "COMMIT" && connection_.Failed()) {
    connection_.ExecuteText("ROLLBACK");
    throw EDatabaseError("Database error: a statement of the transaction failed; it was rolled back");
  }
  connection_.ExecuteText(sql);
}

RowSet Database::RunText(std::string_view tsql, bool read_only, std::int64_t* changed) {
  const std::vector<std::string> statements = Translated(tsql);
  if (statements.empty()) {
    if (changed) return {};
    throw EDatabaseError("Database error: the query holds no statement");
  }
  bool reads = true;
  for (const std::string& sql : statements) reads = reads && PlainSelect(sql);
  // Inside a transaction that is open the text is a savepoint of it, made
  // in the same exchange as its first statement. One statement that only
  // reads runs alone, in one exchange: it takes no lock and never waits for
  // a writer; several see one snapshot of the database.
  const bool nested = connection_.InTransaction();
  const bool alone = !nested && !read_only && reads && statements.size() == 1;
  std::string prefix = nested ? "SAVEPOINT labdocs_text; " : "";
  if (nested && read_only) {
    connection_.ExecuteText(std::exchange(prefix, std::string()) + "SET TRANSACTION READ ONLY");
  } else if (read_only && !nested) {
    Begin(false);
    connection_.ExecuteText("SET TRANSACTION READ ONLY");
  } else if (!nested && !alone) {
    if (reads) connection_.BeginLater("BEGIN ISOLATION LEVEL REPEATABLE READ");
    else Begin(true);
  }
  std::optional<RowSet> result;
  try {
    for (const std::string& statement : statements) {
      const std::string sql = std::exchange(prefix, std::string()) + statement;
      if (changed) {
        *changed += connection_.ExecuteText(sql);
      } else if (std::optional<RowSet> rows = connection_.QueryText(sql); rows && !result) {
        NameFieldsAsWritten(*rows, statement);
        result = std::move(rows);
      }
    }
  } catch (const EDatabaseError& error) {
    if (nested) {
      try {
        connection_.ExecuteText("ROLLBACK TO SAVEPOINT labdocs_text; RELEASE SAVEPOINT labdocs_text");
      } catch (const EDatabaseError&) {
        // The savepoint was never made (the transaction had failed before
        // the text) or the connection went: the caller's transaction fails.
      }
    } else if (!alone) {
      connection_.ExecuteText("ROLLBACK");
    }
    // SQLSTATE 25006: a write in a read-only transaction.
    if (read_only && std::string_view(error.what()).find("SQLSTATE 25006") != std::string_view::npos)
      throw EWriteRefused(error.what());
    throw;
  }
  if (nested)
    connection_.ExecuteText(read_only ? "ROLLBACK TO SAVEPOINT labdocs_text; RELEASE SAVEPOINT labdocs_text"
                                      : "RELEASE SAVEPOINT labdocs_text");
  else if (!alone) connection_.ExecuteText(read_only ? "ROLLBACK" : "COMMIT");
  return result ? std::move(*result) : RowSet{};
}

RowSet Database::QueryBound(std::string_view sql_utf8, const std::vector<Value>& params) {
  RowSet rows = connection_.QueryBound(sql_utf8, params);
  NameFieldsAsWritten(rows, sql_utf8);
  return rows;
}

std::int64_t Database::Execute(std::string_view tsql) {
  std::int64_t changed = 0;
  RunText(tsql, false, &changed);
  return changed;
}

RowSet Database::Query(std::string_view tsql) { return RunText(tsql, false, nullptr); }

std::vector<std::string> Database::TableColumns(std::string_view table) {
  // The table that the name finds on the search path, temporary ones too.
  const RowSet rows = connection_.QueryBound(
      "SELECT a.attname FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
      "WHERE lower(c.relname) = lower(?) AND c.relkind IN ('r', 'p', 'v') AND pg_table_is_visible(c.oid) "
      "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
      {std::string(table)});
  std::vector<std::string> names;
  for (const std::vector<Value>& row : rows.rows) names.push_back(std::get<std::string>(row[0]));
  return names;
}

namespace {

// The sequence of a table's identity column, as pg_get_serial_sequence names
// it (quoted where it must be); nothing for a column without one.
std::optional<std::string> IdentitySequence(Connection& connection, std::string_view table, std::string_view key) {
  RequirePlainName(table);
  RequirePlainName(key);
  // The table's name is read as SQL reads a name, the column's as it is:
  // the server folds unquoted names to lower case.
  const RowSet rows = connection.QueryBound("SELECT pg_get_serial_sequence(?, lower(?))",
                                            {std::string(table), std::string(key)});
  const auto* name = std::get_if<std::string>(&rows.rows.at(0).at(0));
  return name ? std::optional<std::string>(*name) : std::nullopt;
}

// The highest key the sequence handed out (as FN_KeepIdentityAhead reads it).
std::int64_t SequenceLast(Connection& connection, const std::string& sequence) {
  const RowSet rows =
      connection.QueryBound("SELECT CASE WHEN is_called THEN last_value ELSE last_value - 1 END FROM " + sequence, {});
  return std::get<std::int64_t>(rows.rows.at(0).at(0));
}

}  // namespace

std::int64_t Database::LastKey(std::string_view table, std::string_view key) {
  const std::optional<std::string> sequence = IdentitySequence(connection_, table, key);
  const RowSet rows =
      connection_.QueryBound("SELECT coalesce(max(" + std::string(key) + "), 0) FROM " + std::string(table), {});
  const std::int64_t highest = std::get<std::int64_t>(rows.rows.at(0).at(0));
  return sequence ? std::max(highest, SequenceLast(connection_, *sequence)) : highest;
}

void Database::KeepKeysPast(std::string_view table, std::string_view key, std::int64_t last) {
  const std::optional<std::string> sequence = IdentitySequence(connection_, table, key);
  if (sequence && SequenceLast(connection_, *sequence) < last)
    connection_.QueryBound("SELECT setval(?::regclass, ?)", {*sequence, last});
}

}  // namespace rt::postgres
