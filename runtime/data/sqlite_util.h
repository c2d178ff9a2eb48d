// Small helpers around SQLite's C API shared by the database session and its
// schema: owned statements and errors raised as rt::EDatabaseError.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace rt::sqlite {

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const;
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// The connection's last complaint in GBK: "Database error: <complaint>",
// followed by " [<statement>]" when a statement (UTF-8) is given, cut to a
// readable length.
std::string ErrorMessage(sqlite3* db, std::string_view statement_utf8 = {});

[[noreturn]] void ThrowError(sqlite3* db, std::string_view statement_utf8 = {});

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
