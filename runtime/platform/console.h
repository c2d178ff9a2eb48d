// What a console program needs of the system: its command line, whether a
// person is at the terminal, and standard streams that carry UTF-8 bytes as
// they are. One file per system (console_posix.cpp, console_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace rt::platform {

// The arguments after the program's name, as UTF-8 texts. On Windows they
// are read from the wide command line, so that no character is lost to the
// ANSI code page; elsewhere they are argv's bytes.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Whether standard input is a terminal (a person types at it).
bool StandardInputIsTerminal();

// Whether standard error is a terminal (a person watches it), for notes
// that only a person wants, such as a long run's progress.
bool StandardErrorIsTerminal();

// Makes the standard streams carry bytes unchanged: on Windows no "\n" to
// "\r\n" rewriting, and a console window shows and reads UTF-8 (its code
// pages are set to 65001). Nothing to do elsewhere.
void UseUtf8StandardStreams();

}  // namespace rt::platform
