#include "console/script.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "console/verbs.h"
#include "runtime/text/gbk.h"

namespace console {
namespace {

// What the parser takes from the verb table. It is read while compiling
// only: the table names the session's and the presenter's handlers, which
// the parser does not link (the script reader's fuzzer builds it alone).
struct Syntax {
  Verb verb = Verb::Help;
  std::string_view word;
  std::string_view aliases;
  std::string_view shorthands;
  Arguments arguments = Arguments::None;
  std::string_view argument;
};

consteval std::array<Syntax, VerbTable::kRows.size()> SyntaxOfVerbs() {
  std::array<Syntax, VerbTable::kRows.size()> syntax{};
  for (std::size_t i = 0; i < syntax.size(); ++i) {
    const VerbRow& row = VerbTable::kRows[i];
    syntax[i] = {row.verb, row.word, row.aliases, row.shorthands, row.arguments, row.argument};
  }
  return syntax;
}

constexpr std::array<Syntax, VerbTable::kRows.size()> kSyntax = SyntaxOfVerbs();

// Whether a blank-separated list of words holds the word.
bool ListHolds(std::string_view words, std::string_view word) {
  while (!words.empty()) {
    const std::size_t end = std::min(words.find(' '), words.size());
    if (words.substr(0, end) == word) return true;
    words.remove_prefix(std::min(end + 1, words.size()));
  }
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r' || text.front() == '\n'))
    text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return text;
}

// The length of the UTF-8 character that starts at text[i], by its first
// byte, cut at the end of the text: so that a message quoting it does not
// cut it.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return std::min(n, text.size() - i);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// Reads a line's words and texts from left to right.
class LineReader {
 public:
  LineReader(std::string_view rest, int line) : rest_(rest), line_(line) {}

  [[noreturn]] void Fail(const std::string& message) const { throw ScriptError(line_, message); }

  bool AtEnd() const { return rest_.empty(); }

  // The next blank-separated word (UTF-8); empty at the end.
  std::string_view Word() {
    std::size_t end = 0;
    while (end < rest_.size() && !IsBlank(rest_[end])) ++end;
    std::string_view word = rest_.substr(0, end);
    rest_ = TrimBlanks(rest_.substr(end));
    return word;
  }

  std::string_view RequiredWord(std::string_view what) {
    std::string_view word = Word();
    if (word.empty()) Fail("missing " + std::string(what));
    return word;
  }

  // The rest of the line as a TEXT argument (UTF-8, escapes resolved).
  std::string Text() {
    std::string_view rest = rest_;
    rest_ = {};
    if (rest.empty() || rest.front() != '"') return std::string(rest);
    std::string text;
    std::size_t i = 1;
    for (; i < rest.size(); ++i) {
      const char c = rest[i];
      if (c == '"') break;
      if (c != '\\') {
        text += c;
        continue;
      }
      if (++i == rest.size()) Fail("a quoted text ends with a lone backslash");
      switch (rest[i]) {
        case '"': text += '"'; break;
        case '\\': text += '\\'; break;
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        case 't': text += '\t'; break;
        default: Fail("unknown escape \\" + std::string(rest.substr(i, Utf8Length(rest, i))) + " in a quoted text");
      }
    }
    if (i >= rest.size()) Fail("a quoted text has no closing quote");
    if (!TrimBlanks(rest.substr(i + 1)).empty()) Fail("unexpected text after the closing quote");
    return text;
  }

  std::string RequiredText(std::string_view what) {
    if (rest_.empty()) Fail("missing " + std::string(what));
    return Text();
  }

  void End(std::string_view verb) const {
    if (!rest_.empty()) Fail("'" + std::string(verb) + "' takes no further argument: " + std::string(rest_));
  }

  int Number(std::string_view word, std::string_view what, int minimum) const {
    int value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < minimum)
      Fail(std::string(what) + " must be a whole number" + (minimum > 0 ? " of 1 or more" : "") + ", not '" +
           std::string(word) + "'");
    return value;
  }

  // UTF-8 to the system's GBK.
  std::string Gbk(std::string_view utf8) const {
    try {
      return rt::gbk::FromUtf8(utf8);
    } catch (const rt::EConvertError&) {
      Fail("the line is not valid UTF-8");
    }
  }

 private:
  std::string_view rest_;
  int line_;
};

void ParseSelect(LineReader& reader, Command& command, std::string_view what) {
  const std::string rows_text = reader.RequiredText(what);
  const std::string lower = Lower(TrimBlanks(rows_text));
  if (lower == "all") {
    command.all = true;
    return;
  }
  if (lower == "none") {
    command.none = true;
    return;
  }
  std::string_view rest = rows_text;
  while (true) {
    const std::size_t comma = rest.find(',');
    std::string_view part = TrimBlanks(rest.substr(0, comma));
    if (part.empty()) reader.Fail("an empty row number in '" + rows_text + "'");
    const std::size_t dash = part.find('-');
    int first = reader.Number(TrimBlanks(part.substr(0, dash)), "a row number", 1);
    int last = dash == std::string_view::npos ? first
                                              : reader.Number(TrimBlanks(part.substr(dash + 1)), "a row number", 1);
    if (last < first) reader.Fail("the range " + std::string(part) + " runs backwards");
    command.ranges.emplace_back(first, last);
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
}

void ParseKey(LineReader& reader, Command& command, std::string_view what, std::string_view word) {
  const std::string key_text = Lower(reader.RequiredWord(what));
  reader.End(word);
  std::string_view rest = key_text;
  while (true) {
    const std::size_t plus = rest.find('+');
    if (plus == std::string_view::npos || plus + 1 == rest.size()) break;
    const std::string_view modifier = rest.substr(0, plus);
    if (modifier == "shift") command.shift |= rt::ssShift;
    else if (modifier == "ctrl") command.shift |= rt::ssCtrl;
    else if (modifier == "alt") command.shift |= rt::ssAlt;
    else reader.Fail("unknown modifier '" + std::string(modifier) + "' (shift, ctrl, alt)");
    rest = rest.substr(plus + 1);
  }
  if (rest == "enter" || rest == "return") command.key = VK_RETURN;
  else if (rest == "escape" || rest == "esc") command.key = VK_ESCAPE;
  else if (rest == "tab") command.key = VK_TAB;
  else if (rest == "space") command.key = VK_SPACE;
  else if (rest.size() == 1 && ((rest[0] >= 'a' && rest[0] <= 'z') || (rest[0] >= '0' && rest[0] <= '9')))
    command.key = static_cast<rt::Word>(rest[0] >= 'a' ? rest[0] - 'a' + 'A' : rest[0]);
  else reader.Fail("unknown key '" + std::string(rest) + "' (enter, escape, tab, space, a letter or a digit)");
}

void ParseAnswer(LineReader& reader, Command& command, std::string_view word) {
  const std::string answer = Lower(word);
  if (answer == "yes" || answer == "y") command.yes = true;
  else if (answer == "no" || answer == "n") command.yes = false;
  else reader.Fail("the answer must be yes or no, not '" + std::string(word) + "'");
}

void ParseExpect(LineReader& reader, Command& command, std::string_view argument) {
  const std::string what = Lower(reader.RequiredWord(argument));
  auto name = [&](std::string_view label) { command.name = reader.Gbk(reader.RequiredWord(label)); };
  if (what == "rows") {
    command.expect = ExpectWhat::Rows;
    command.number = reader.Number(reader.RequiredWord("the number of rows"), "the number of rows", 0);
    reader.End("expect rows");
  } else if (what == "status") {
    command.expect = ExpectWhat::Status;
    command.number = reader.Number(reader.RequiredWord("the status"), "the status", 0);
    reader.End("expect status");
  } else if (what == "failed") {
    command.expect = ExpectWhat::Failed;
    reader.End("expect failed");
  } else if (what == "menu") {
    command.expect = ExpectWhat::Menu;
    const std::string list = reader.RequiredText("the visible items (names separated by commas, or none)");
    if (Lower(TrimBlanks(list)) != "none") {
      std::string_view rest = list;
      while (true) {
        const std::size_t comma = rest.find(',');
        std::string_view item = TrimBlanks(rest.substr(0, comma));
        if (item.empty()) reader.Fail("an empty item name in '" + list + "'");
        command.names.push_back(reader.Gbk(item));
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
      }
    }
  } else if (what == "default") {
    command.expect = ExpectWhat::Default;
    name("the default item (or none)");
    reader.End("expect default");
  } else if (what == "cell") {
    command.expect = ExpectWhat::Cell;
    command.number = reader.Number(reader.RequiredWord("the row number"), "the row number", 1);
    name("the column");
    command.text = reader.Gbk(reader.Text());
  } else if (what == "node") {
    command.expect = ExpectWhat::Node;
    command.text = reader.Gbk(reader.RequiredText("the node's path"));
  } else if (what == "title") {
    command.expect = ExpectWhat::Title;
    command.text = reader.Gbk(reader.RequiredText("the form's title"));
  } else if (what == "focus") {
    command.expect = ExpectWhat::Focus;
    name("the control that has the focus");
    reader.End("expect focus");
  } else if (what == "text") {
    command.expect = ExpectWhat::Text;
    name("the control");
    command.text = reader.Gbk(reader.Text());
  } else if (what == "visible" || what == "hidden" || what == "enabled" || what == "disabled") {
    command.expect = what == "visible"   ? ExpectWhat::Visible
                     : what == "hidden"  ? ExpectWhat::Hidden
                     : what == "enabled" ? ExpectWhat::Enabled
                                         : ExpectWhat::Disabled;
    name("the control");
    reader.End("expect " + what);
  } else if (what == "message") {
    command.expect = ExpectWhat::Message;
    command.text = reader.Gbk(reader.RequiredText("the message"));
  } else if (what == "filename") {
    command.expect = ExpectWhat::FileName;
    command.text = reader.Gbk(reader.Text());
  } else {
    reader.Fail("unknown expectation '" + what +
                "' (rows, status, failed, menu, default, cell, node, title, focus, text, visible, hidden, enabled, "
                "disabled, message, filename)");
  }
}

// The arguments of a command named by `word` (lower case).
void ParseArguments(LineReader& reader, Command& command, const Syntax& syntax, std::string_view word) {
  switch (syntax.arguments) {
    case Arguments::None: reader.End(word); break;
    case Arguments::Text: command.text = reader.Gbk(reader.RequiredText(syntax.argument)); break;
    case Arguments::Control:
      command.name = reader.Gbk(reader.RequiredWord(syntax.argument));
      reader.End(word);
      break;
    case Arguments::ControlAndText:
      command.name = reader.Gbk(reader.RequiredWord(syntax.argument));
      command.text = reader.Gbk(reader.Text());
      break;
    case Arguments::Rows: ParseSelect(reader, command, syntax.argument); break;
    case Arguments::Key: ParseKey(reader, command, syntax.argument, word); break;
    case Arguments::Answer:
      ParseAnswer(reader, command, reader.RequiredWord(syntax.argument));
      reader.End(word);
      break;
    case Arguments::File: {
      const std::string path = reader.RequiredText(syntax.argument);
      if (Lower(path) == "cancel" && command.source.back() != '"') command.cancel = true;
      else command.text = reader.Gbk(path);
      break;
    }
    case Arguments::Expectation: ParseExpect(reader, command, syntax.argument); break;
  }
}

}  // namespace

std::optional<Command> ParseCommand(std::string_view line, int line_number) {
  std::string_view trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed.front() == '#') return std::nullopt;

  LineReader reader(trimmed, line_number);
  Command command;
  command.line = line_number;
  command.source = std::string(trimmed);
  const std::string word = Lower(reader.Word());

  for (const Syntax& syntax : kSyntax) {
    if (syntax.word == word || ListHolds(syntax.aliases, word)) {
      command.verb = syntax.verb;
      ParseArguments(reader, command, syntax, word);
      return command;
    }
    if (ListHolds(syntax.shorthands, word)) {
      // The verb with the word as its whole argument: "yes" is "answer yes".
      reader.End(word);
      command.verb = syntax.verb;
      LineReader argument(word, line_number);
      ParseArguments(argument, command, syntax, syntax.word);
      return command;
    }
  }
  reader.Fail("unknown command '" + word + "' (help lists the commands)");
}

}  // namespace console
