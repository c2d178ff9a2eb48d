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
    std::optional<Command> command = ParseCommand(line, line_);
    if (!command) continue;
    if (!Interactive()) output_.Utf8("> " + command->source);
    return command;
  }
}

}  // namespace console
