// The console's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hostcore/start_options.h"

namespace console {

// The options every host takes (hostcore/start_options.h), and the console's own.
struct Options : hostcore::StartOptions {
  bool allow_sql_writes = false;      // the sql command may change the database
  std::optional<bool> answer;         // every question answered so, without asking
  std::optional<std::string> script;  // UTF-8 path, "-" for standard input
};

// Reads the arguments after the program name. Raises hostcore::UsageError.
Options ParseOptions(const std::vector<std::string>& arguments);

// The --help text (UTF-8).
const char* UsageText();

}  // namespace console
