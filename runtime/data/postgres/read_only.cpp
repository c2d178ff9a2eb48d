// Database::QueryReadOnly on the server: reading enforced three times over,
// each layer enough on its own for what it covers.
//   - Before anything is sent, each of the text's statements is read with
//     the dialect's tokenizer: only a query passes (its first word SELECT,
//     WITH, VALUES or TABLE), without a word that writes or locks rows, and
//     without the name of a function whose effects outlive the transaction
//     or reach outside the database (kDeniedNames), wherever the name
//     stands. What the server would read otherwise than the tokenizer
//     (dollar quotes, backslash escapes, nested comments, names escaped as
//     U&"...", operators joined to a name) is refused too, so that a call
//     cannot hide in what the tokenizer takes for a string or a comment.
//   - The statements run in a read-only transaction (a savepoint of an
//     open one made read-only) that is rolled back at the end, whatever
//     happened: the server refuses every write to a table, nothing done
//     inside the transaction stays, and a statement that ended the
//     transaction or made it writing stops the text before the next one.
//   - Each statement goes alone through the extended protocol, which runs
//     exactly one: a ';' that the dialect's splitter did not see cannot
//     bring in a second statement, a COMMIT among them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/dialect.h"
#include "runtime/data/postgres/database.h"
#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt::postgres {
namespace {

using dialect::Token;
using dialect::TokenKind;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// Functions with effects beyond the read-only transaction, by name (lower
// case); an entry ending in '*' stands for every name that begins so. They
// read and write the server's files and run its programs, end or signal
// other sessions and the server itself, take locks held past the
// transaction, change settings and sequences, connect elsewhere, make or
// drop replication slots and origins, write WAL, send notifications,
// assign transaction ids or object ids, reset or set statistics, or run a
// query given as a text (which no check here reads).
// clang-format off
constexpr std::string_view kDeniedNames[] = {
    "pg_read_*", "pg_ls_*", "pg_logdir_ls", "pg_stat_file", "pg_file_*", "lo_*", "loread", "lowrite", "pg_terminate_*",
    "pg_cancel_*", "pg_signal_*", "pg_reload_conf", "pg_rotate_*", "pg_promote", "pg_switch_*", "pg_wal_*",
    "pg_xlog_*", "pg_backup_*", "pg_start_backup", "pg_stop_backup", "pg_advisory_*", "pg_try_advisory_*",
    "set_config", "setseed", "pg_sleep*", "nextval", "setval", "dblink*", "pg_create_*", "pg_drop_*", "pg_copy_*",
    "pg_replication_*", "pg_logical_*", "pg_sync_*", "pg_notify", "pg_log_*", "txid_current*",
    "pg_current_xact_id*", "pg_export_snapshot", "pg_import_*", "pg_nextoid", "pg_stat_reset*", "*_reset",
    "pg_set_*", "pg_clear_*", "pg_restore_*", "pg_prewarm",
    "pg_truncate_*", "brin_summarize_*", "brin_desummarize_*", "gin_clean_*", "binary_upgrade_*",
    "query_to_xml*", "cursor_to_xml*", "table_to_xml*", "schema_to_xml*", "database_to_xml*", "ts_stat",
    "ts_rewrite",
};
// clang-format on

bool IsDenied(const std::string& name) {
  for (std::string_view denied : kDeniedNames) {
    if (denied.front() == '*') {
      denied.remove_prefix(1);
      if (name.size() >= denied.size() && name.compare(name.size() - denied.size(), denied.size(), denied) == 0)
        return true;
    } else if (denied.back() == '*') {
      if (StartsWith(name, denied.substr(0, denied.size() - 1))) return true;
    } else if (name == denied) {
      return true;
    }
  }
  return false;
}

// The name a word or "quoted name" stands for, in lower case (the server
// tells quoted names by case; refusing every case is safe).
std::string NameOf(const Token& token) {
  if (token.kind == TokenKind::Word) return Lower(token.text);
  std::string name;
  const std::string_view inner = token.text.substr(1, token.text.size() >= 2 ? token.text.size() - 2 : 0);
  for (std::size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') ++i;
    name += inner[i];
  }
  return Lower(name);
}

bool IsSignificant(const Token& token) { return token.kind != TokenKind::Blank && token.kind != TokenKind::Comment; }

[[noreturn]] void Refuse(const std::string& why_utf8, std::string_view statement) {
  std::string why = why_utf8 + " [" + std::string(statement) + "]";
  try {
    why = gbk::FromUtf8(why);
  } catch (const EConvertError&) {
    why = why_utf8;
  }
  throw EWriteRefused("Database error: a read-only query may only read: " + why);
}

// Why the server could read the token otherwise than the tokenizer did, or
// nothing. `before` is the token right before it, if any.
const char* ReadOtherwise(const Token& token, const Token* before) {
  switch (token.kind) {
    case TokenKind::Comment:
      // The server nests /* */ comments and ends a -- comment at a carriage
      // return too.
      if (StartsWith(token.text, "/*") && token.text.find("/*", 2) != std::string_view::npos)
        return "a comment inside a comment";
      if (StartsWith(token.text, "--")) {
        const std::size_t cr = token.text.find('\r');
        if (cr != std::string_view::npos && token.text.find_first_not_of(" \t\r\f\v", cr) != std::string_view::npos)
          return "a comment that goes on after a carriage return";
      }
      return nullptr;
    case TokenKind::String:
      // E'...' takes backslash escapes, \' among them.
      if (before != nullptr && before->kind == TokenKind::Word && token.text.find('\\') != std::string_view::npos)
        return "a string with backslash escapes";
      return nullptr;
    case TokenKind::QuotedName:
      if (token.text.front() != '"') return "a name quoted otherwise than in double quotes";
      // U&"..." spells a name in escapes.
      if (before != nullptr && before->text == "&") return "a name spelled in Unicode escapes";
      return nullptr;
    case TokenKind::Word:
      // To the server '$' begins a quoted text or a parameter, and '@' and
      // '#' are operators, where the tokenizer sees one word.
      if (token.text.find_first_of("$@#") != std::string_view::npos) return "'$', '@' or '#' in a word";
      return nullptr;
    default: return nullptr;
  }
}

// Throws EWriteRefused unless the statement (UTF-8, as the server gets it)
// only reads.
void CheckOnlyReads(std::string_view statement) {
  const std::vector<Token> tokens = dialect::Tokenize(statement);
  std::vector<const Token*> significant;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (const char* why = ReadOtherwise(tokens[i], i > 0 ? &tokens[i - 1] : nullptr)) Refuse(why, statement);
    if (IsSignificant(tokens[i])) significant.push_back(&tokens[i]);
  }
  // The first word, past the brackets of a query such as (SELECT ...) UNION
  // (SELECT ...).
  std::size_t first = 0;
  while (first < significant.size() && significant[first]->kind == TokenKind::OpenParen) ++first;
  const std::string command = first < significant.size() ? Lower(significant[first]->text) : std::string();
  if (command != "select" && command != "with" && command != "values" && command != "table")
    Refuse((command.empty() ? std::string("a statement") : "'" + command + "'") + " is not a query", statement);
  for (std::size_t i = 0; i < significant.size(); ++i) {
    const Token& token = *significant[i];
    if (token.kind == TokenKind::Semicolon) Refuse("one statement at a time", statement);
    if (token.kind != TokenKind::Word && token.kind != TokenKind::QuotedName) continue;
    const std::string name = NameOf(token);
    if (token.kind == TokenKind::Word) {
      // A query that writes (WITH ... AS (DELETE ...), SELECT ... INTO) or
      // locks rows (FOR UPDATE, FOR [KEY] SHARE).
      for (const char* writing : {"insert", "update", "delete", "merge", "truncate", "into"})
        if (name == writing) Refuse("'" + name + "' writes", statement);
      if (name == "for" && i + 1 < significant.size() &&
          (Lower(significant[i + 1]->text) == "share" || Lower(significant[i + 1]->text) == "key"))
        Refuse("'for share' locks rows", statement);
    }
    if (IsDenied(name)) Refuse("the function " + name + " does more than read", statement);
  }
}

// The read-only transaction, or a read-only savepoint inside the open one,
// rolled back when this goes.
class ReadingScope {
 public:
  explicit ReadingScope(Connection& connection) : connection_(connection), nested_(connection.InTransaction()) {
    connection_.ExecuteText(nested_ ? "SAVEPOINT labdocs_read_only" : "BEGIN READ ONLY");
    try {
      // Only the transaction's start may make it writing again.
      if (nested_) connection_.ExecuteText("SET TRANSACTION READ ONLY");
      // Backslashes in '...' are the characters they are, as the
      // statements were read above.
      connection_.ExecuteText("SET LOCAL standard_conforming_strings = on");
    } catch (...) {
      End();
      throw;
    }
  }
  ~ReadingScope() { End(); }
  ReadingScope(const ReadingScope&) = delete;
  ReadingScope& operator=(const ReadingScope&) = delete;

  // Throws EWriteRefused when the transaction is no longer read-only (a
  // statement ended it or made it writing), before the next statement
  // could write outside it.
  void CheckStillReadOnly() {
    const RowSet rows = connection_.QueryBound("SELECT current_setting('transaction_read_only')", {});
    if (rows.rows.size() != 1 || rows.rows[0][0] != Value{std::string("on")})
      throw EWriteRefused("Database error: a statement of a read-only query ended its read-only transaction");
  }

 private:
  void End() noexcept {
    if (ended_) return;
    ended_ = true;
    try {
      if (nested_) {
        connection_.ExecuteText("ROLLBACK TO SAVEPOINT labdocs_read_only");
        connection_.ExecuteText("RELEASE SAVEPOINT labdocs_read_only");
      } else {
        connection_.ExecuteText("ROLLBACK");
      }
    } catch (const std::exception&) {
      // The connection is lost: the server ended the transaction with it.
    }
  }

  Connection& connection_;
  const bool nested_;
  bool ended_ = false;
};

}  // namespace

RowSet Database::QueryReadOnly(std::string_view tsql) {
  std::vector<std::string> statements;
  try {
    statements = dialect::Translate(gbk::ToUtf8(tsql), Engine::Postgres);
  } catch (const EConvertError&) {
    throw EDatabaseError("Database error: the statement is not valid GBK text");
  }
  if (statements.empty()) throw EDatabaseError("Database error: the query holds no statement");
  for (const std::string& statement : statements) CheckOnlyReads(statement);

  ReadingScope scope(connection_);
  std::optional<RowSet> result;
  try {
    for (const std::string& statement : statements) {
      RowSet rows = QueryBound(statement, {});
      scope.CheckStillReadOnly();
      if (!result) result = std::move(rows);
    }
  } catch (const EDatabaseError& error) {
    // SQLSTATE 25006: a write in a read-only transaction.
    if (std::string_view(error.what()).find("SQLSTATE 25006") != std::string_view::npos)
      throw EWriteRefused(error.what());
    throw;
  }
  return std::move(*result);
}

}  // namespace rt::postgres
