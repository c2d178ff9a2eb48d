// The console services on POSIX systems: arguments and streams are bytes
// already, UTF-8 by the locale of the terminal.
#include <unistd.h>

#include <cstdio>

#include "runtime/platform/console.h"

namespace rt::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void UseUtf8StandardStreams() {}

}  // namespace rt::platform
