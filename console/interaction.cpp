#include "console/interaction.h"

#include "console/terminal_text.h"

namespace console {

std::optional<Command> Interaction::Next(std::string_view prompt) {
  while (!Quitting()) {
    try {
      return reader_.Next(prompt);
    } catch (const ScriptError& error) {
      // Script errors are written from the UTF-8 line itself. A person
      // typed the line just now: no line number.
      if (Interactive()) {
        output_.Utf8("error: " + error.Message());
      } else {
        errors_ << "labdocs-console: " << error.what() << std::endl;
        aborted_ = true;
        abort_code_ = hostcore::kExitMalformed;
      }
    }
  }
  return std::nullopt;
}

void Interaction::Fail(hostcore::ExitCode code, int line, std::string_view message) {
  if (Interactive()) {
    output_.Line("error: " + std::string(message));
    return;
  }
  errors_ << "labdocs-console: line " << line << ": " << ToTerminal(message) << std::endl;
  if (!aborted_) {
    aborted_ = true;
    abort_code_ = code;
  }
}

void Interaction::Fail(int line, const std::exception& error) {
  hostcore::ExitCode code = dynamic_cast<const ExpectationFailed*>(&error) ? hostcore::kExitExpectation
                                                                           : hostcore::kExitCommand;
  Fail(code, line, error.what());
}

}  // namespace console
