#include "console/command_reader.h"

#include <string>

namespace console {

std::optional<std::string> CommandReader::ReadLine(std::string_view prompt) {
  if (editor_) return editor_->ReadLine(prompt);
  if (Interactive()) output_.Prompt(prompt);
  std::string line;
  if (!std::getline(input_, line)) return std::nullopt;
  return line;
}

std::optional<Command> CommandReader::Next(std::string_view prompt) {
  while (true) {
    std::optional<std::string> read = ReadLine(prompt);
    if (!read) {
      if (Interactive()) output_.Utf8("");
      return std::nullopt;
    }
    std::string& line = *read;
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
