#include "runtime/data/dialect.h"

#include <sqlite3.h>

#include <algorithm>
#include <deque>
#include <exception>
#include <initializer_list>

#include "runtime/data/datetime_text.h"

namespace rt::dialect {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Letters, digits, '_', '@', '#', '$' and every byte of a multi-byte UTF-8
// character make up names, keywords and numbers.
bool IsWordByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' || b == '@' ||
         b == '#' || b == '$' || b >= 0x80;
}

// End of a quoted token that starts at `begin` and closes with `close`; a
// doubled closing character stands for itself. Runs to the end when open.
std::size_t QuotedEnd(std::string_view sql, std::size_t begin, char close) {
  std::size_t i = begin + 1;
  while (i < sql.size()) {
    if (sql[i] == close) {
      if (i + 1 < sql.size() && sql[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return sql.size();
}

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool IsOneOf(const std::string& word, std::initializer_list<std::string_view> words) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

bool IsSignificant(const Token& token) { return token.kind != TokenKind::Blank && token.kind != TokenKind::Comment; }

bool IsWord(const Token& token, std::string_view upper_word) {
  return token.kind == TokenKind::Word && AsciiUpper(token.text) == upper_word;
}

constexpr std::size_t kNone = std::string_view::npos;

std::size_t NextSignificant(const std::vector<Token>& tokens, std::size_t i) {
  for (++i; i < tokens.size(); ++i)
    if (IsSignificant(tokens[i])) return i;
  return kNone;
}

std::size_t LastSignificantBefore(const std::vector<Token>& tokens, std::size_t end) {
  for (std::size_t i = end; i > 0; --i)
    if (IsSignificant(tokens[i - 1])) return i - 1;
  return kNone;
}

// Drops "(nolock)" and "with (nolock)" where they follow a table name or
// alias (a name token), leaving a blank in their place. A column called
// nolock as the only argument of a function would be taken for a hint too;
// no table of the system has one.
std::vector<Token> DropNolockHints(const std::vector<Token>& tokens) {
  std::vector<Token> out;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind == TokenKind::OpenParen) {
      const std::size_t hint = NextSignificant(tokens, i);
      const std::size_t close = hint == kNone ? kNone : NextSignificant(tokens, hint);
      if (close != kNone && IsWord(tokens[hint], "NOLOCK") && tokens[close].kind == TokenKind::CloseParen) {
        std::size_t name = LastSignificantBefore(out, out.size());
        std::size_t hint_begin = out.size();
        if (name != kNone && IsWord(out[name], "WITH")) {
          hint_begin = name;
          name = LastSignificantBefore(out, name);
        }
        if (name != kNone && (out[name].kind == TokenKind::Word || out[name].kind == TokenKind::QuotedName)) {
          out.resize(hint_begin);
          out.push_back({TokenKind::Blank, " "});
          i = close;
          continue;
        }
      }
    }
    out.push_back(tokens[i]);
  }
  return out;
}

// IsNull(a, b) becomes the engine's function of the same meaning.
void RenameIsNull(std::vector<Token>& tokens, Engine engine) {
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::size_t next = NextSignificant(tokens, i);
    if (IsWord(tokens[i], "ISNULL") && next != kNone && tokens[next].kind == TokenKind::OpenParen)
      tokens[i].text = engine == Engine::Sqlite ? "ifnull" : "COALESCE";
  }
}

// For PostgreSQL: GetDate() becomes LOCALTIMESTAMP(3), and names quoted in
// brackets or backticks are quoted in double quotes. The new texts live in
// `made`, which the tokens point into.
std::vector<Token> ForPostgres(const std::vector<Token>& tokens, std::deque<std::string>& made) {
  std::vector<Token> out;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    const std::size_t open = NextSignificant(tokens, i);
    const std::size_t close = open == kNone ? kNone : NextSignificant(tokens, open);
    if (IsWord(token, "GETDATE") && close != kNone && tokens[open].kind == TokenKind::OpenParen &&
        tokens[close].kind == TokenKind::CloseParen) {
      out.push_back({TokenKind::Word, "LOCALTIMESTAMP(3)"});
      i = close;
    } else if (token.kind == TokenKind::QuotedName && (token.text.front() == '[' || token.text.front() == '`')) {
      const char end = token.text.front() == '[' ? ']' : '`';
      std::string name;
      // The quote doubled inside the name stands for one; a double quote in
      // it is doubled for PostgreSQL.
      const std::string_view inner = token.text.substr(1, token.text.size() >= 2 ? token.text.size() - 2 : 0);
      for (std::size_t k = 0; k < inner.size(); ++k) {
        if (inner[k] == end && k + 1 < inner.size() && inner[k + 1] == end) ++k;
        if (inner[k] == '"') name += '"';
        name += inner[k];
      }
      out.push_back({TokenKind::QuotedName, made.emplace_back('"' + name + '"')});
    } else {
      out.push_back(token);
    }
  }
  return out;
}

// Splits a token list into statements.
//
// A statement ends at a semicolon (dropped), and a new one begins at SELECT,
// INSERT, UPDATE or DELETE outside parentheses once the current statement
// holds something - except where the keyword continues the statement:
//   - after UNION, ALL, EXCEPT or INTERSECT (a compound select) or AS
//     (CREATE VIEW ... AS SELECT);
//   - after ON or DO (ON DELETE actions, an upsert's DO UPDATE);
//   - the statement's own keyword after a leading WITH clause;
//   - the first SELECT of an INSERT that has no VALUES yet (INSERT ... SELECT).
// Keywords inside quotes, names in quotes or brackets, and comments are parts
// of single tokens and never split.
class Splitter {
 public:
  void Add(const Token& token) {
    if (token.kind == TokenKind::Semicolon) {
      EndStatement();
      return;
    }
    if (IsSignificant(token)) {
      const std::string word = token.kind == TokenKind::Word ? AsciiUpper(token.text) : std::string();
      if (StartsNewStatement(word)) EndStatement();
      Note(token, word);
    }
    text_ += token.text;
  }

  std::vector<std::string> Finish() {
    EndStatement();
    return std::move(statements_);
  }

 private:
  static bool IsStatementKeyword(const std::string& word) {
    return IsOneOf(word, {"SELECT", "INSERT", "UPDATE", "DELETE"});
  }

  bool StartsNewStatement(const std::string& word) const {
    if (!has_content_ || depth_ > 0 || !IsStatementKeyword(word)) return false;
    if (IsOneOf(previous_, {"UNION", "ALL", "EXCEPT", "INTERSECT", "AS", "ON", "DO"})) return false;
    if (main_.empty()) return false;                          // the statement after a WITH clause
    if (main_ == "PRAGMA" && previous_ == "=") return false;  // a value such as journal_mode = DELETE
    if (word == "SELECT" && (main_ == "INSERT" || main_ == "REPLACE") && !insert_has_source_) return false;
    return true;
  }

  // Keeps what the rules need to know about the statement so far.
  void Note(const Token& token, const std::string& word) {
    if (!has_content_) {
      has_content_ = true;
      if (word != "WITH") main_ = word.empty() ? std::string(token.text) : word;
    } else if (depth_ == 0 && main_.empty() && IsStatementKeyword(word)) {
      main_ = word;
    } else if (depth_ == 0 && (main_ == "INSERT" || main_ == "REPLACE") &&
               IsOneOf(word, {"VALUES", "SELECT", "DEFAULT"})) {
      insert_has_source_ = true;
    }
    if (token.kind == TokenKind::OpenParen) ++depth_;
    if (token.kind == TokenKind::CloseParen && depth_ > 0) --depth_;
    previous_ = word.empty() ? std::string(token.text) : word;
  }

  void EndStatement() {
    if (has_content_) {
      const auto begin = text_.find_first_not_of(" \t\r\n\f\v");
      const auto end = text_.find_last_not_of(" \t\r\n\f\v");
      statements_.push_back(text_.substr(begin, end - begin + 1));
    }
    text_.clear();
    main_.clear();
    previous_.clear();
    has_content_ = false;
    insert_has_source_ = false;
    depth_ = 0;
  }

  std::vector<std::string> statements_;
  std::string text_;      // the current statement's text so far
  std::string main_;      // its keyword: SELECT, INSERT, ..., or CREATE etc.
  std::string previous_;  // its last significant token: a word upper-cased, else as written
  bool has_content_ = false;
  bool insert_has_source_ = false;
  int depth_ = 0;
};

void GetDateFunction(sqlite3_context* context, int, sqlite3_value**) {
  try {
    const std::string now = datetime::NowText();
    sqlite3_result_text(context, now.c_str(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
  } catch (const std::exception& error) {
    sqlite3_result_error(context, error.what(), -1);
  }
}

}  // namespace

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
    std::size_t end = i + 1;
    TokenKind kind = TokenKind::Other;
    if (IsBlank(c)) {
      kind = TokenKind::Blank;
      while (end < sql.size() && IsBlank(sql[end])) ++end;
    } else if (c == '-' && next == '-') {
      kind = TokenKind::Comment;
      end = std::min(sql.find('\n', i), sql.size());
    } else if (c == '/' && next == '*') {
      kind = TokenKind::Comment;
      const std::size_t close = sql.find("*/", i + 2);
      end = close == std::string_view::npos ? sql.size() : close + 2;
    } else if (c == '\'') {
      kind = TokenKind::String;
      end = QuotedEnd(sql, i, '\'');
    } else if (c == '"' || c == '`' || c == '[') {
      kind = TokenKind::QuotedName;
      end = QuotedEnd(sql, i, c == '[' ? ']' : c);
    } else if (IsWordByte(c)) {
      kind = TokenKind::Word;
      while (end < sql.size() && IsWordByte(sql[end])) ++end;
    } else if (c == '(') {
      kind = TokenKind::OpenParen;
    } else if (c == ')') {
      kind = TokenKind::CloseParen;
    } else if (c == ';') {
      kind = TokenKind::Semicolon;
    }
    tokens.push_back({kind, sql.substr(i, end - i)});
    i = end;
  }
  return tokens;
}

std::vector<std::string> Translate(std::string_view tsql_utf8, Engine engine) {
  std::vector<Token> tokens = DropNolockHints(Tokenize(tsql_utf8));
  RenameIsNull(tokens, engine);
  std::deque<std::string> made;
  if (engine == Engine::Postgres) tokens = ForPostgres(tokens, made);
  Splitter splitter;
  for (const Token& token : tokens) splitter.Add(token);
  return splitter.Finish();
}

int RegisterFunctions(sqlite3* db) {
  return sqlite3_create_function_v2(db, "GetDate", 0, SQLITE_UTF8, nullptr, GetDateFunction, nullptr, nullptr, nullptr);
}

}  // namespace rt::dialect
