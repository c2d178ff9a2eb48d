// The console services on Windows. platform.h brings <windows.h> and
// <shellapi.h> with the project's macros.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "runtime/platform/console.h"
#include "runtime/platform/platform.h"

namespace rt::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(PathUtf8(std::filesystem::path(wide[i])));
  LocalFree(wide);
  return arguments;
}

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void UseUtf8StandardStreams() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace rt::platform
