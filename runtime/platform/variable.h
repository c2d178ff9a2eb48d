// Environment variables as UTF-8 text.
#pragma once

#include <optional>
#include <string>

namespace rt::platform {

// An environment variable's value in UTF-8, the form in which SQLite takes a
// file's name: on Windows read as wide text (getenv would give it in the
// workstation's ANSI code page); on POSIX systems the bytes as they stand,
// as their file names are. Nothing when the variable is not set or empty.
std::optional<std::string> Utf8Variable(const char* variable);

}  // namespace rt::platform
