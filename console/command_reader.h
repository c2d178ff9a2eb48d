// Where the console's commands come from: a person at the terminal (with a
// prompt) or a script (whose command lines are echoed, so that the output
// reads as a transcript). The session and the terminal presenter read from
// the same reader, so line numbers run through the whole input.
#pragma once

#include <istream>
#include <optional>
#include <string_view>

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

 private:
  std::istream& input_;
  Output& output_;
  Mode mode_;
  int line_ = 0;
};

}  // namespace console
