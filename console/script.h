// The console's command language: one command per line, the same for a
// person at the terminal and for a script. Lines are UTF-8; the texts in a
// parsed command are GBK, as everything inside the system.
//
// A line is blank, a comment (first non-blank character '#'), or a command
// word (any letter case) followed by its arguments, separated by blanks.
// A TEXT argument is the rest of the line as written, or a double-quoted
// text with the escapes \" \\ \n \r \t (for leading or trailing blanks, line
// breaks, or an empty text). The reference of all commands is in README.md.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/errors.h"
#include "runtime/ui/messages.h"

namespace console {

// A line that is not a well-formed command. The message names the line (a
// script's reader wants it; a person typed the line just now and sees
// Message()); it is UTF-8, as the line whose words it quotes.
class ScriptError : public rt::Exception {
 public:
  ScriptError(int line, const std::string& message)
      : rt::Exception("line " + std::to_string(line) + ": " + message), line_(line), message_(message) {}
  int Line() const { return line_; }
  // The message without the line.
  const std::string& Message() const { return message_; }

 private:
  int line_;
  std::string message_;
};

// The verbs, in the order of their rows in the verb table (verbs.h), which
// has their words, arguments, help and handlers. Expect stays last: the
// table checks by it that it has a row for each.
// clang-format off
enum class Verb {
  // The tree and the list.
  Tree, Open, Up, List, Fields, Select, Menu, Run, Exec, Sql, Env, Help, Quit,
  // A form that is shown.
  Type, Key, Click, Focus, Close, Show,
  // A question or a file dialog that waits.
  Answer, File,
  // Checks, anywhere.
  Expect,
};

enum class ExpectWhat {
  Rows, Status, Failed, Menu, Default, Cell, Node,    // the list, the menu, the last command
  Title, Focus, Text, Visible, Hidden, Enabled, Disabled,  // the form that is shown
  Message, FileName,                                  // the last message, the waiting file dialog
};
// clang-format on

struct Command {
  Verb verb = Verb::Help;
  int line = 0;
  std::string source;  // the line as written (UTF-8)

  std::string name;  // GBK: a control, item, column or key word
  std::string text;  // GBK: a path, a typed or an expected text, an item

  // select: "all", "none" or 1-based ranges (first, last), in order.
  bool all = false;
  bool none = false;
  std::vector<std::pair<int, int>> ranges;

  // key
  rt::Word key = 0;
  rt::TShiftState shift = 0;

  bool yes = false;     // answer
  bool cancel = false;  // file: the dialog is cancelled

  // expect
  ExpectWhat expect = ExpectWhat::Rows;
  int number = 0;                  // rows, status, cell row
  std::vector<std::string> names;  // menu: the visible items, in order (empty: none)
};

// Parses one line. Blank lines and comments give nothing. Raises ScriptError
// naming the line for anything else that is not a command.
std::optional<Command> ParseCommand(std::string_view line, int line_number);

}  // namespace console
