#include "runtime/data/sqlite/util.h"

#include <sqlite3.h>

#include <limits>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt::sqlite {
namespace {

constexpr std::size_t kMaxStatementInMessage = 300;

// UTF-8 from SQLite as GBK; bytes that are not UTF-8 are shown as '?'.
std::string ToGbk(std::string_view utf8) {
  try {
    return gbk::FromUtf8(utf8);
  } catch (const EConvertError&) {
    std::string ascii(utf8);
    for (char& c : ascii)
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    return ascii;
  }
}

// The connection's files that a failure may concern: its database and the
// content file when one is attached ("" for a database without a file).
std::string Files(sqlite3* db) {
  const char* main = db != nullptr ? sqlite3_db_filename(db, "main") : nullptr;
  if (main == nullptr || *main == '\0') return "";
  std::string files = ShownPath(main);
  const char* content = sqlite3_db_filename(db, "content");
  if (content != nullptr && *content != '\0') files += " and its content file " + ShownPath(content);
  return files;
}

// The first `max` bytes of a GBK text, not splitting a double-byte character.
std::string Excerpt(const std::string& text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t end = 0;
  while (end < text.size() && end + gbk::CharLength(text, end) <= max) end += gbk::CharLength(text, end);
  return text.substr(0, end) + "...";
}

}  // namespace

void StatementDeleter::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

std::string ShownPath(std::string_view utf8_path) { return ToGbk(utf8_path); }

Failure FailureOf(int result_code) {
  switch (result_code & 0xFF) {
    case SQLITE_FULL: return Failure::DiskFull;
    case SQLITE_READONLY: return Failure::ReadOnly;
    case SQLITE_CANTOPEN: return Failure::CannotOpen;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return Failure::Damaged;
    default: return Failure::Other;
  }
}

Failure FailureOf(const std::exception& error) {
  const auto* sqlite_error = dynamic_cast<const Error*>(&error);
  return sqlite_error != nullptr ? sqlite_error->Kind() : Failure::Other;
}

std::string ReasonBeside(const std::exception& error, const std::string& path) {
  const auto* sqlite_error = dynamic_cast<const Error*>(&error);
  if (sqlite_error != nullptr && !path.empty() && sqlite_error->Path() == path) return sqlite_error->Reason();
  return error.what();
}

Error LastError(sqlite3* db, std::string_view statement_utf8) {
  const std::string complaint = ToGbk(db != nullptr ? sqlite3_errmsg(db) : "out of memory");
  const std::string files = Files(db);
  const Failure failure = db != nullptr ? FailureOf(sqlite3_extended_errcode(db)) : Failure::Other;
  const std::string statement = statement_utf8.empty()
                                    ? ""
                                    : " [" + Excerpt(ToGbk(statement_utf8), kMaxStatementInMessage) + "]";
  std::string message = "Database error: ";
  switch (failure) {
    case Failure::DiskFull:
      message += "the disk is full: " + (files.empty() ? std::string("the database") : files) + " cannot grow (" +
                 complaint + ")";
      break;
    case Failure::ReadOnly:
      message += "read-only: " + (files.empty() ? std::string("the database") : files) +
                 " may not be written here (the file or its folder allows no writing; " + complaint + ")";
      break;
    case Failure::Damaged:
    case Failure::CannotOpen:
      message += complaint;
      if (files.empty()) break;
      // The files end the text, unless the statement follows them.
      if (statement.empty()) return Error(message, failure, files);
      message += " (" + files + ")";
      break;
    default: message += complaint;
  }
  return Error(message + statement, failure);
}

std::string ErrorMessage(sqlite3* db, std::string_view statement_utf8) { return LastError(db, statement_utf8).what(); }

void ThrowError(sqlite3* db, std::string_view statement_utf8) { throw LastError(db, statement_utf8); }

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) ThrowError(db, sql);
}

StatementPtr Prepare(sqlite3* db, std::string_view sql, std::string_view* tail) {
  if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw EDatabaseError("Database error: the statement is too long");
  sqlite3_stmt* raw = nullptr;
  const char* rest = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &rest) != SQLITE_OK) {
    sqlite3_finalize(raw);
    ThrowError(db, sql);
  }
  if (tail != nullptr) *tail = sql.substr(static_cast<std::size_t>(rest - sql.data()));
  return StatementPtr(raw);
}

ImmediateTransaction::ImmediateTransaction(sqlite3* db) : db_(db) { Exec(db_, "BEGIN IMMEDIATE"); }

ImmediateTransaction::~ImmediateTransaction() {
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void ImmediateTransaction::Commit() { Exec(db_, "COMMIT"); }

}  // namespace rt::sqlite
