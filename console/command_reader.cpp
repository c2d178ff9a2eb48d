#include "console/command_reader.h"

#include <string>

namespace console {

std::optional<Command> CommandReader::Next(std::string_view prompt) {
  std::string line;
  while (true) {
    if (Interactive()) output_.Prompt(prompt);
    if (!std::getline(input_, line)) {
      if (Interactive()) output_.Utf8("");
      return std::nullopt;
    }
    ++line_;
    // A byte-order mark that an editor put in front of the first line.
    if (line_ == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    std::optional<Command> command = ParseCommand(line, line_);
    if (!command) continue;
    if (!Interactive()) output_.Utf8("> " + command->source);
    return command;
  }
}

}  // namespace console
