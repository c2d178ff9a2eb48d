#include "runtime/data/sqlite/database.h"

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <unordered_map>

#include "runtime/data/datetime_text.h"
#include "runtime/data/dialect.h"
#include "runtime/data/field_typing.h"
#include "runtime/data/packet.h"
#include "runtime/data/sqlite/content_file.h"
#include "runtime/data/sqlite/schema.h"
#include "runtime/data/sqlite/statement_packet.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt::sqlite {
namespace {

constexpr int kBusyTimeoutMs = 10'000;

std::string TextToUtf8(std::string_view gbk_text, const char* what) {
  try {
    return gbk::ToUtf8(gbk_text);
  } catch (const EConvertError&) {
    throw EDatabaseError(std::string("Database error: the ") + what + " is not valid GBK text");
  }
}

std::string TextFromUtf8(std::string_view utf8) {
  try {
    return gbk::FromUtf8(utf8);
  } catch (const EConvertError&) {
    throw EDatabaseError("Database error: the database holds a text that is not valid UTF-8");
  }
}

bool IsBlankSql(std::string_view sql) {
  for (const dialect::Token& token : dialect::Tokenize(sql))
    if (token.kind != dialect::TokenKind::Blank && token.kind != dialect::TokenKind::Comment) return false;
  return true;
}

void Bind(sqlite3* db, sqlite3_stmt* statement, const std::vector<Value>& params) {
  if (sqlite3_bind_parameter_count(statement) != static_cast<int>(params.size()))
    throw EDatabaseError("Database error: the statement takes " +
                         std::to_string(sqlite3_bind_parameter_count(statement)) + " values, " +
                         std::to_string(params.size()) + " were given");
  for (std::size_t i = 0; i < params.size(); ++i) {
    const int index = static_cast<int>(i) + 1;
    const Value& value = params[i];
    int rc = SQLITE_OK;
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
      rc = sqlite3_bind_int64(statement, index, *integer);
    } else if (const auto* number = std::get_if<double>(&value)) {
      rc = sqlite3_bind_double(statement, index, *number);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      const std::string utf8 = TextToUtf8(*text, "value");
      rc = sqlite3_bind_text64(statement, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else if (const auto* date_time = std::get_if<DateTime>(&value)) {
      const std::string stored = datetime::ToText(*date_time);
      rc = sqlite3_bind_text64(statement, index, stored.data(), stored.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else if (const auto* blob = std::get_if<std::vector<std::uint8_t>>(&value)) {
      rc = blob->empty() ? sqlite3_bind_zeroblob(statement, index, 0)
                         : sqlite3_bind_blob64(statement, index, blob->data(), blob->size(), SQLITE_TRANSIENT);
    } else {
      rc = sqlite3_bind_null(statement, index);
    }
    if (rc != SQLITE_OK) sqlite::ThrowError(db, sqlite3_sql(statement));
  }
}

Value ColumnValue(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER: return sqlite3_column_int64(statement, column);
    case SQLITE_FLOAT: return sqlite3_column_double(statement, column);
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      return TextFromUtf8(std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))));
    }
    case SQLITE_BLOB: {
      const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, column));
      return std::vector<std::uint8_t>(data, data + sqlite3_column_bytes(statement, column));
    }
    default: return std::monostate{};
  }
}

// Runs a prepared statement to its end. Its rows go to `rows` when given,
// typed per field; otherwise they are passed over. Returns the rows the
// statement itself changed.
std::int64_t Run(sqlite3* db, sqlite3_stmt* statement, RowSet* rows) {
  const int columns = sqlite3_column_count(statement);
  std::vector<std::optional<FieldType>> declared;
  if (rows != nullptr) {
    for (int i = 0; i < columns; ++i) {
      rows->fields.push_back({TextFromUtf8(sqlite3_column_name(statement, i)), FieldType::Text});
      const char* declared_type = sqlite3_column_decltype(statement, i);
      declared.push_back(DeclaredFieldType(declared_type != nullptr ? declared_type : ""));
    }
  }
  const std::int64_t changes_before = sqlite3_total_changes64(db);
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    if (rows == nullptr) continue;
    std::vector<Value>& row = rows->rows.emplace_back();
    row.reserve(static_cast<std::size_t>(columns));  // one allocation per row, not one per doubling
    for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(statement, i));
  }
  if (rc != SQLITE_DONE) sqlite::ThrowError(db, sqlite3_sql(statement));
  if (rows != nullptr) ApplyFieldTypes(*rows, declared);
  // sqlite3_changes64 keeps the count of the last data change, so it counts
  // only when this statement changed anything at all.
  return sqlite3_total_changes64(db) != changes_before ? sqlite3_changes64(db) : 0;
}

// SQLite's trace at the start of each statement: counts those of the
// connection's callers, not the trigger programs they start ("-- TRIGGER").
int CountStatement(unsigned, void* count, void*, void* sql) {
  const char* text = static_cast<const char*>(sql);
  if (text == nullptr || text[0] != '-' || text[1] != '-') ++*static_cast<std::uint64_t*>(count);
  return 0;
}

// Prepares the one statement that `sql` must hold.
sqlite::StatementPtr PrepareOne(sqlite3* db, std::string_view sql) {
  std::string_view tail;
  sqlite::StatementPtr statement = sqlite::Prepare(db, sql, &tail);
  if (!statement) throw EDatabaseError("Database error: the text holds no statement");
  if (!IsBlankSql(tail))
    throw EDatabaseError("Database error: only one statement is allowed here [" + TextFromUtf8(sql) + "]");
  return statement;
}

// Translates a Transact-SQL text into its SQLite statements.
// The text's statements. Each text runs as one transaction, so a statement
// that would begin, end or roll back a transaction is refused before any
// runs: otherwise the text's first part would be committed while the rest
// failed, or the caller's transaction ended under it.
std::vector<std::string> TranslateText(std::string_view tsql) {
  std::vector<std::string> statements = dialect::Translate(TextToUtf8(tsql, "statement"));
  for (const std::string& statement : statements) {
    for (const dialect::Token& token : dialect::Tokenize(statement)) {
      if (token.kind == dialect::TokenKind::Blank || token.kind == dialect::TokenKind::Comment) continue;
      std::string word(token.text);
      for (char& c : word) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      for (const char* control : {"BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE"})
        if (word == control)
          throw EDatabaseError("Database error: a text runs as one transaction and cannot hold " + word + " (" +
                               TextFromUtf8(statement) + ")");
      break;
    }
  }
  return statements;
}

// An error of opening the database, naming the file (as its path) unless it
// does.
sqlite::Error WithPath(const EDatabaseError& error, const std::string& native_path) {
  const std::string shown = TextFromUtf8(native_path);
  const std::string message = error.what();
  if (message.find(shown) == std::string::npos) return sqlite::Error(message, sqlite::FailureOf(error), shown);
  const auto* sqlite_error = dynamic_cast<const sqlite::Error*>(&error);
  return sqlite_error != nullptr ? *sqlite_error : sqlite::Error(message, sqlite::FailureOf(error));
}

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

}  // namespace

// Prepared statements of ExecuteBound and QueryBound by their text: the
// store and the plug-in run the same few statements on every call, and
// preparing one costs more than running it. A statement is taken out while
// it runs (a statement run inside another's run is prepared anew) and put
// back reset, with its values cleared. SQLite prepares a kept statement again
// by itself when the schema changed.
class Database::StatementCache {
 public:
  static constexpr std::size_t kMaxStatements = 64;

  // A statement taken from the cache or newly prepared, given back when it
  // goes.
  class Lease {
   public:
    Lease(StatementCache& cache, std::string sql, sqlite::StatementPtr statement)
        : cache_(cache), sql_(std::move(sql)), statement_(std::move(statement)) {}
    ~Lease() { cache_.GiveBack(std::move(sql_), std::move(statement_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    sqlite3_stmt* get() const { return statement_.get(); }

   private:
    StatementCache& cache_;
    std::string sql_;
    sqlite::StatementPtr statement_;
  };

  Lease Take(sqlite3* db, std::string_view sql) {
    if (!reuse_) return Lease(*this, std::string(), PrepareOne(db, sql));
    if (auto it = statements_.find(std::string(sql)); it != statements_.end()) {
      sqlite::StatementPtr statement = std::move(it->second);
      statements_.erase(it);
      return Lease(*this, std::string(sql), std::move(statement));
    }
    return Lease(*this, std::string(sql), PrepareOne(db, sql));
  }

  // The SQLite statements of a Transact-SQL text, translated once.
  const std::vector<std::string>& Translation(std::string_view tsql) {
    if (auto it = translations_.find(std::string(tsql)); it != translations_.end()) return it->second;
    std::vector<std::string> statements = TranslateText(tsql);
    if (translations_.size() >= kMaxStatements) translations_.clear();
    return translations_.emplace(std::string(tsql), std::move(statements)).first->second;
  }

  void Clear() { statements_.clear(); }
  void Reuse(bool reuse) { reuse_ = reuse; }

 private:
  void GiveBack(std::string sql, sqlite::StatementPtr statement) noexcept {
    sqlite3_reset(statement.get());
    sqlite3_clear_bindings(statement.get());
    if (!reuse_ || sql.empty() || statements_.size() >= kMaxStatements) return;  // finalised here
    try {
      statements_.emplace(std::move(sql), std::move(statement));
    } catch (...) {
    }
  }

  std::unordered_map<std::string, sqlite::StatementPtr> statements_;
  std::unordered_map<std::string, std::vector<std::string>> translations_;
  bool reuse_ = true;
};

void Database::ReuseStatements(bool reuse) { statements_->Reuse(reuse); }

Database::Database(const std::string& native_path, OpenMode mode) : path_(native_path) {
  // A connection is used from one thread at a time (database.h), so SQLite
  // need not lock it on every call; a list calls it several times per cell.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX |
                    (mode == OpenMode::OpenOrCreate ? SQLITE_OPEN_CREATE : 0);
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(native_path.c_str(), &raw, flags, nullptr);
  std::unique_ptr<sqlite3, ConnectionCloser> connection(raw);
  if (rc != SQLITE_OK) throw WithPath(sqlite::LastError(raw), native_path);
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  sqlite3_trace_v2(raw, SQLITE_TRACE_STMT, &CountStatement, &statements_run_);
  if (dialect::RegisterFunctions(raw) != SQLITE_OK) sqlite::ThrowError(raw);
  try {
    schema::Prepare(raw);
  } catch (const EDatabaseError& error) {
    throw WithPath(error, native_path);
  }
  // SQLite's full path, made when the file was opened: the same for every
  // spelling of the path, and whatever the current folder becomes.
  const char* full = sqlite3_db_filename(raw, "main");
  identity_ = "file:" + std::string(full != nullptr && *full != '\0' ? full : native_path.c_str());
  db_ = connection.release();
  statements_ = std::make_unique<StatementCache>();
}

Database::~Database() {
  statements_->Clear();
  sqlite3_close_v2(db_);
}

std::int64_t Database::Execute(std::string_view tsql) {
  const std::vector<std::string> statements = TranslateText(tsql);
  if (statements.empty()) return 0;
  Transaction transaction(*this, Transaction::Kind::Immediate);
  std::int64_t changed = 0;
  for (const std::string& sql : statements) changed += Run(db_, PrepareOne(db_, sql).get(), nullptr);
  transaction.Commit();
  return changed;
}

void Database::AttachContentFile() {
  if (content_attached_) return;
  content_file::Attach(db_, path_, &removed_content_);
  content_attached_ = true;
}

void Database::AfterCommit() noexcept {
  if (!content_attached_ || !removed_content_ || sqlite3_get_autocommit(db_) == 0) return;
  removed_content_ = false;
  content_file::RemoveChunksOfRemovedContents(*this);
}

template <class OnRows>
bool Database::RunQuery(std::string_view tsql, bool own_transaction, OnRows&& on_rows) {
  // A copy: running a statement may translate others (nested queries of
  // the dialect's functions), and the cache may drop this translation.
  const std::vector<std::string> statements = statements_->Translation(tsql);
  if (statements.empty()) throw EDatabaseError("Database error: the query holds no statement");
  // One statement is a transaction of its own; several are made one.
  std::optional<Transaction> transaction;
  if (own_transaction || statements.size() > 1) transaction.emplace(*this, Transaction::Kind::Deferred);
  bool gave_rows = false;
  for (const std::string& sql : statements) {
    const StatementCache::Lease statement = statements_->Take(db_, sql);
    if (!gave_rows && sqlite3_column_count(statement.get()) > 0) {
      gave_rows = true;
      on_rows(statement.get());
    } else {
      Run(db_, statement.get(), nullptr);
    }
  }
  if (transaction) transaction->Commit();
  else AfterCommit();
  return gave_rows;
}

RowSet Database::Query(std::string_view tsql) {
  RowSet rows;
  RunQuery(tsql, false, [&](sqlite3_stmt* statement) { Run(db_, statement, &rows); });
  return rows;
}

OleVariant Database::QueryPacket(std::string_view tsql) {
  OleVariant packet;
  // In a transaction: a statement run again (statement_packet.h) reads
  // the same rows.
  const bool gave_rows = RunQuery(tsql, true, [&](sqlite3_stmt* statement) {
    // A statement that writes runs once: its rows are gathered first.
    if (sqlite3_stmt_readonly(statement)) {
      packet = StatementPacket(db_, statement);
    } else {
      RowSet rows;
      Run(db_, statement, &rows);
      PacketToVariant(rows, packet.Ptr());
    }
  });
  if (!gave_rows) PacketToVariant(RowSet{}, packet.Ptr());
  return packet;
}

std::int64_t Database::ExecuteBound(std::string_view sqlite_sql_utf8, const std::vector<Value>& params) {
  std::int64_t changed = 0;
  {
    const StatementCache::Lease statement = statements_->Take(db_, sqlite_sql_utf8);
    Bind(db_, statement.get(), params);
    changed = Run(db_, statement.get(), nullptr);
  }
  AfterCommit();
  return changed;
}

RowSet Database::QueryBound(std::string_view sqlite_sql_utf8, const std::vector<Value>& params) {
  const StatementCache::Lease statement = statements_->Take(db_, sqlite_sql_utf8);
  Bind(db_, statement.get(), params);
  RowSet rows;
  Run(db_, statement.get(), &rows);
  return rows;
}

std::vector<std::string> Database::TableColumns(std::string_view table) {
  const RowSet rows = QueryBound("SELECT name FROM pragma_table_info(?) ORDER BY cid", {std::string(table)});
  std::vector<std::string> names;
  for (const auto& row : rows.rows) names.push_back(std::get<std::string>(row[0]));
  return names;
}

std::int64_t Database::LastKey(std::string_view table, std::string_view key) {
  RequirePlainName(table);
  RequirePlainName(key);
  const std::string highest = "(SELECT max(" + std::string(key) + ") FROM " + std::string(table) + ")";
  const RowSet rows =
      QueryBound("SELECT max(ifnull(" + highest +
                     ", 0), ifnull((SELECT seq FROM sqlite_sequence WHERE name = ? COLLATE NOCASE), 0))",
                 {std::string(table)});
  return std::get<std::int64_t>(rows.rows.at(0).at(0));
}

// Only an AUTOINCREMENT table remembers its keys (in sqlite_sequence, which
// the first such table made); any other hands out the highest row's key
// plus one.
void Database::KeepKeysPast(std::string_view table, std::string_view key, std::int64_t last) {
  RequirePlainName(table);
  RequirePlainName(key);
  const RowSet autoincrement = QueryBound(
      "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE AND sql LIKE '%AUTOINCREMENT%'",
      {std::string(table)});
  if (autoincrement.rows.empty()) return;
  ExecuteBound("UPDATE sqlite_sequence SET seq = ? WHERE name = ? COLLATE NOCASE AND seq < ?",
               {last, std::string(table), last});
  ExecuteBound("INSERT INTO sqlite_sequence(name, seq) SELECT ?, ? WHERE NOT EXISTS "
               "(SELECT 1 FROM sqlite_sequence WHERE name = ? COLLATE NOCASE)",
               {std::string(table), last, std::string(table)});
}

bool Database::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

void Database::Begin(bool writing) { sqlite::Exec(db_, writing ? "BEGIN IMMEDIATE" : "BEGIN"); }

void Database::Control(const char* sql) { sqlite::Exec(db_, sql); }

std::string Database::Shown() const {
  try {
    return gbk::FromUtf8(path_);
  } catch (const EConvertError&) {
    return path_;
  }
}

}  // namespace rt::sqlite
