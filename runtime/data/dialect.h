// The Transact-SQL dialect that plug-ins compose, translated for SQLite.
//
// What differs and how it is bridged:
//   - the table hint "(nolock)" (also "with (nolock)") after a table name or
//     alias: dropped; SQLite readers never block on the rows they read;
//   - IsNull(a, b): renamed to SQLite's ifnull, which means the same. It
//     cannot be a registered function: SQLite parses the word ISNULL as an
//     operator;
//   - GetDate(): a function registered on the connection (RegisterFunctions);
//   - several statements in one text, separated only by blanks: split into
//     single statements (the rules stand beside class Splitter in dialect.cpp).
// Everything else passes through unchanged. The translation works on UTF-8
// text, where no byte of a multi-byte character is an ASCII byte, so the
// tokenizer may look at single bytes.
//
// For PostgreSQL the same text becomes the same statements, with:
//   - IsNull(a, b) as COALESCE(a, b);
//   - GetDate() as LOCALTIMESTAMP(3), the server's local time to the
//     millisecond;
//   - names quoted as [name] or `name` quoted as "name".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/engine.h"

struct sqlite3;

namespace rt::dialect {

enum class TokenKind {
  Blank,       // white space
  Comment,     // "-- ..." up to the line end, or "/* ... */"
  String,      // '...' with '' for a quote inside
  QuotedName,  // "...", [...] or `...`
  Word,        // a name, keyword or number
  OpenParen,
  CloseParen,
  Semicolon,
  Other,  // any other single character: operators, commas, dots
};

struct Token {
  TokenKind kind;
  std::string_view text;
};

// Splits a text into tokens; the tokens' texts joined give the text back.
// An unterminated quote or comment runs to the end of the text.
std::vector<Token> Tokenize(std::string_view sql);

// Translates a Transact-SQL text (UTF-8) into the statements it holds for
// the engine, in order, without their separators. A text of only blanks and
// comments gives no statement.
std::vector<std::string> Translate(std::string_view tsql_utf8, Engine engine = Engine::Sqlite);

// Registers the Transact-SQL functions SQLite lacks on a connection:
// GetDate(), the current local time as "YYYY-MM-DD HH:MM:SS.fff".
// Returns an SQLite result code.
int RegisterFunctions(sqlite3* db);

}  // namespace rt::dialect
