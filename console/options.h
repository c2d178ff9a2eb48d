// The console's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/arguments.h"

namespace console {

struct Options {
  bool help = false;
  bool version = false;
  std::string home;     // UTF-8; empty: the current folder
  std::string database;  // UTF-8; a server's connection string, or empty: the home folder's file
  bool empty = false;   // a new home folder gets an empty database
  bool allow_sql_writes = false;  // the sql command may change the database
  std::optional<bool> answer;     // every question answered so, without asking
  std::optional<std::string> script;  // UTF-8 path, "-" for standard input
  std::string plugin = "labdocs.dll";
  // The environment the plug-in sees (GBK); unset ones keep the defaults.
  Workstation workstation;
  std::optional<std::string> sys_code;
  std::optional<int> display_style;
};

// Reads the arguments after the program name. Raises UsageError.
Options ParseOptions(const std::vector<std::string>& arguments);

// The --help text (UTF-8).
const char* UsageText();

}  // namespace console
