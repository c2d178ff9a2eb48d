// Fuzzes the Transact-SQL dialect layer (rt::dialect): the tokenizer and the
// translation of a text into SQLite statements. Besides not crashing, every
// run checks:
//  - the tokens are never empty and, joined, give the text back;
//  - every closed string literal of every translated statement is a string
//    literal of the text, unchanged: translation never invents, cuts or
//    alters a quoted value, whatever the quotes, comments and separators
//    around it (a literal left open runs to the end of the text, which is
//    an error the database reports);
//  - no translated statement is empty or only blanks and comments;
//  - translation is deterministic.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/dialect.h"

namespace {

using rt::dialect::TokenKind;

void Check(bool condition, const char* property) {
  if (!condition) {
    std::fprintf(stderr, "dialect property violated: %s\n", property);
    std::abort();
  }
}

bool IsClosed(std::string_view literal) {
  std::size_t quotes = 0;
  for (char c : literal) quotes += c == '\'' ? 1 : 0;
  return literal.size() >= 2 && literal.back() == '\'' && quotes % 2 == 0;
}

std::multiset<std::string> StringLiterals(std::string_view sql) {
  std::multiset<std::string> found;
  for (const rt::dialect::Token& token : rt::dialect::Tokenize(sql))
    if (token.kind == TokenKind::String && IsClosed(token.text)) found.insert(std::string(token.text));
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::string joined;
  for (const rt::dialect::Token& token : rt::dialect::Tokenize(text)) {
    Check(!token.text.empty(), "no empty token");
    joined.append(token.text);
  }
  Check(joined == text, "the tokens give the text back");

  const std::vector<std::string> statements = rt::dialect::Translate(text);
  Check(rt::dialect::Translate(text) == statements, "deterministic");
  const std::multiset<std::string> literals = StringLiterals(text);
  for (const std::string& statement : statements) {
    bool has_content = false;
    for (const rt::dialect::Token& token : rt::dialect::Tokenize(statement))
      if (token.kind != TokenKind::Blank && token.kind != TokenKind::Comment) has_content = true;
    Check(has_content, "no statement without content");
    for (const std::string& literal : StringLiterals(statement))
      Check(literals.count(literal) > 0, "string literals come from the text unchanged");
  }
  return 0;
}
