// Fuzzes the console's script reader. Input: a script, split into lines at
// '\n' and numbered from 1 as the console reads it. Besides not crashing,
// every line checks:
//  - the parser raises nothing but its own ScriptError, which names the
//    line's number in Line() and at the front of its message;
//  - blank and comment lines give no command, every other line a command
//    or an error; a command holds the line's number and the line trimmed;
//  - the message of an error on a line that is valid UTF-8 is valid UTF-8
//    (it goes to the terminal as it is);
//  - the texts of a command are GBK that converts back to UTF-8;
//  - selected ranges start at 1 or later and never run backwards;
//  - parsing is deterministic, and the command word's letter case does not
//    matter: the word in upper case gives the same command or the same error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "console/script.h"
#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace {

void Check(bool condition, const char* property) {
  if (!condition) {
    std::fprintf(stderr, "script reader property violated: %s\n", property);
    std::abort();
  }
}

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    std::uint32_t code = 0;
    if (c < 0x80) n = 1, code = c;
    else if (c >= 0xC2 && c <= 0xDF) n = 2, code = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, code = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, code = c & 0x07;
    else return false;
    if (i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += n;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  return line;
}

// What parsing a line gave: a command, nothing, or an error's message.
struct Outcome {
  std::optional<console::Command> command;
  std::optional<std::string> error;
};

Outcome Parse(std::string_view line, int number) {
  Outcome outcome;
  try {
    outcome.command = console::ParseCommand(line, number);
  } catch (const console::ScriptError& error) {
    Check(error.Line() == number, "an error names the line's number");
    const std::string prefix = "line " + std::to_string(number) + ": ";
    Check(std::string_view(error.what()).substr(0, prefix.size()) == prefix, "an error's message starts with its line");
    outcome.error = error.what();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    Check(false, "the parser raises only ScriptError");
  }
  return outcome;
}

// Equal but for the line as written.
bool SameCommand(const console::Command& a, const console::Command& b) {
  return a.verb == b.verb && a.line == b.line && a.name == b.name && a.text == b.text && a.all == b.all &&
         a.none == b.none && a.ranges == b.ranges && a.key == b.key && a.shift == b.shift && a.yes == b.yes &&
         a.cancel == b.cancel && a.expect == b.expect && a.number == b.number && a.names == b.names;
}

bool SameOutcome(const Outcome& a, const Outcome& b) {
  if (a.error || b.error) return a.error == b.error;
  if (!a.command || !b.command) return a.command.has_value() == b.command.has_value();
  return SameCommand(*a.command, *b.command);
}

bool IsGbk(const std::string& text) {
  try {
    rt::gbk::ToUtf8(text);
    return true;
  } catch (const rt::EConvertError&) {
    return false;
  }
}

// The line with its first word's ASCII letters in upper case.
std::string UpperCaseWord(std::string_view line) {
  std::string upper(line);
  std::size_t i = 0;
  while (i < upper.size() && IsBlank(upper[i])) ++i;
  for (; i < upper.size() && upper[i] != ' ' && upper[i] != '\t'; ++i)
    if (upper[i] >= 'a' && upper[i] <= 'z') upper[i] = static_cast<char>(upper[i] - 'a' + 'A');
  return upper;
}

void CheckLine(std::string_view line, int number) {
  const Outcome outcome = Parse(line, number);
  const std::string_view trimmed = Trimmed(line);
  const bool skipped = trimmed.empty() || trimmed.front() == '#';
  Check(skipped == (!outcome.command && !outcome.error), "exactly blank and comment lines give nothing");
  if (outcome.error && IsUtf8(line)) Check(IsUtf8(*outcome.error), "an error on a UTF-8 line is UTF-8");
  if (outcome.command) {
    const console::Command& command = *outcome.command;
    Check(command.line == number, "a command holds its line's number");
    Check(command.source == trimmed, "a command holds its line trimmed");
    Check(IsGbk(command.name) && IsGbk(command.text), "a command's texts are GBK");
    for (const std::string& name : command.names) Check(IsGbk(name), "a command's names are GBK");
    for (const auto& [first, last] : command.ranges) Check(first >= 1 && first <= last, "ranges are ordered");
  }
  Check(SameOutcome(outcome, Parse(line, number)), "parsing is deterministic");
  Check(SameOutcome(outcome, Parse(UpperCaseWord(line), number)), "the command word matches in any letter case");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view script(reinterpret_cast<const char*>(data), size);
  int number = 0;
  while (!script.empty()) {
    const std::size_t end = script.find('\n');
    CheckLine(script.substr(0, end), ++number);
    if (end == std::string_view::npos) break;
    script.remove_prefix(end + 1);
  }
  return 0;
}
