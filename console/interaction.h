// What the session and the terminal presenter share: the command reader,
// the output, and how a failed command is handled. A person sees the error
// and goes on; a script stops at its first error: the error (naming the
// line) goes to the error stream, the session is aborted with the matching
// exit code, and every modal form, question and file dialog still open is
// closed, cancelled or answered "no" on the way out.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "console/command_reader.h"
#include "console/exit_codes.h"
#include "console/output.h"

namespace console {

class Interaction {
 public:
  Interaction(CommandReader& reader, Output& output, std::ostream& errors)
      : reader_(reader), output_(output), errors_(errors) {}

  // The next command; nullopt at the end of the input or once aborted. A
  // malformed line is handled as a failure (exit code hostcore::kExitMalformed).
  std::optional<Command> Next(std::string_view prompt);

  // A command failed (message GBK). line: the command's line.
  void Fail(hostcore::ExitCode code, int line, std::string_view message);
  // Handles the error kinds a command raises: CommandError, ExpectationFailed
  // and rt::Exception (as a command error).
  void Fail(int line, const std::exception& error);

  // The person or script asked to leave: every form closes, and the session ends.
  void RequestQuit() { quit_ = true; }
  bool Quitting() const { return quit_ || aborted_; }
  bool Aborted() const { return aborted_; }
  hostcore::ExitCode AbortCode() const { return abort_code_; }

  bool Interactive() const { return reader_.Interactive(); }
  Output& Out() { return output_; }

 private:
  CommandReader& reader_;
  Output& output_;
  std::ostream& errors_;
  bool quit_ = false;
  bool aborted_ = false;
  hostcore::ExitCode abort_code_ = hostcore::kExitOk;
};

}  // namespace console
