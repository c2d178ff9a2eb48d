// Where the console's commands come from: a person at the terminal (with a
// prompt) or a script (whose command lines are echoed, so that the output
// reads as a transcript). The session and the terminal presenter read from
// the same reader, so line numbers run through the whole input. A person at
// a terminal may be given a line editor, which then shows the prompt and
// reads the lines.
#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "console/line_editor.h"
#include "console/output.h"
#include "console/script.h"

namespace console {

class CommandReader {
 public:
  enum class Mode { Interactive, Script };

  CommandReader(std::istream& input, Output& output, Mode mode) : input_(input), output_(output), mode_(mode) {}

  // The next command, nullopt at the end of the input. Shows the prompt
  // (UTF-8) to a person; echoes a script's command line as "> line".
  // Raises ScriptError for a malformed line.
  std::optional<Command> Next(std::string_view prompt);

  bool Interactive() const { return mode_ == Mode::Interactive; }
  int Line() const { return line_; }

  // From now on the editor reads the lines (nullptr: the input stream).
  void UseLineEditor(std::unique_ptr<LineEditor> editor) { editor_ = std::move(editor); }

 private:
  std::optional<std::string> ReadLine(std::string_view prompt);

  std::istream& input_;
  Output& output_;
  Mode mode_;
  std::unique_ptr<LineEditor> editor_;
  int line_ = 0;
};

}  // namespace console
