// Small helpers around SQLite's C API shared by the database session and its
// schema: owned statements and errors raised as rt::EDatabaseError.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/errors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace rt::sqlite {

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const;
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// What a failure means for the person who reads of it: the kinds whose
// cure lies outside the statement.
enum class Failure {
  Other,
  DiskFull,     // SQLITE_FULL: no room left to grow a file
  ReadOnly,     // SQLITE_READONLY: the file, or its folder, may not be written
  CannotOpen,   // SQLITE_CANTOPEN: a file that is missing or may not be opened
  Damaged,      // SQLITE_CORRUPT, SQLITE_NOTADB
  ContentFile,  // a content file that does not belong with its database (content_file.h)
};

// An rt::EDatabaseError and its kind, and the file it is about where its
// text ends with it. The file is a field of its own, so that a message that
// names the file already (the hosts' "The database X cannot be opened: ...")
// takes the reason without it, rather than taking the text apart.
class Error : public EDatabaseError {
 public:
  Error(const std::string& message, Failure failure) : EDatabaseError(message), reason_(message), failure_(failure) {}
  // An error about a file (GBK, as shown): the text is the reason, then the
  // file in brackets, " (file)".
  Error(const std::string& reason, Failure failure, const std::string& path)
      : EDatabaseError(reason + " (" + path + ")"), reason_(reason), path_(path), failure_(failure) {}
  Failure Kind() const { return failure_; }
  // The text without the file at its end (the whole text when none is).
  const std::string& Reason() const { return reason_; }
  // The file the text ends with; empty when it ends with none.
  const std::string& Path() const { return path_; }

 private:
  std::string reason_;
  std::string path_;
  Failure failure_;
};

// The kind of an SQLite result code (primary or extended).
Failure FailureOf(int result_code);
// The kind of an error: an rt::sqlite::Error's own, Other for any other.
Failure FailureOf(const std::exception& error);
// An error's text for a message that names the file `path` (GBK) already:
// without the file when the error ends with that one (Error::Reason), the
// whole text otherwise.
std::string ReasonBeside(const std::exception& error, const std::string& path);

// The connection's last complaint as an error of the kind of its last
// result code, its text in GBK: "Database error: <complaint>", followed by
// " [<statement>]" when a statement (UTF-8) is given, cut to a readable
// length. A full disk, a file that may not be written and a damaged file
// are said plainly, and the connection's files (its database and any
// content file attached) named: those of a damaged file or one that cannot
// be opened in brackets after the complaint, the error's Path() when they
// end the text.
Error LastError(sqlite3* db, std::string_view statement_utf8 = {});

// LastError's text.
std::string ErrorMessage(sqlite3* db, std::string_view statement_utf8 = {});

// Throws LastError.
[[noreturn]] void ThrowError(sqlite3* db, std::string_view statement_utf8 = {});

// A file name from SQLite (UTF-8) as GBK; bytes that are not UTF-8 become '?'.
std::string ShownPath(std::string_view utf8_path);

// Runs SQL (UTF-8) that returns no rows; throws rt::EDatabaseError.
void Exec(sqlite3* db, const std::string& sql);

// Prepares one statement (UTF-8); `tail` receives the rest of the text.
StatementPtr Prepare(sqlite3* db, std::string_view sql, std::string_view* tail = nullptr);

// BEGIN IMMEDIATE on a connection (its write lock taken at once, waiting as
// its busy timeout allows), rolled back when the scope ends without Commit.
// Throws rt::EDatabaseError when it cannot begin or commit.
class ImmediateTransaction {
 public:
  explicit ImmediateTransaction(sqlite3* db);
  ~ImmediateTransaction();
  ImmediateTransaction(const ImmediateTransaction&) = delete;
  ImmediateTransaction& operator=(const ImmediateTransaction&) = delete;
  void Commit();

 private:
  sqlite3* db_;
};

}  // namespace rt::sqlite
