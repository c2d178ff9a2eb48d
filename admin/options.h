// The administration program's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hostcore/arguments.h"
#include "labdoc/retention.h"

namespace admin {

using hostcore::UsageError;

enum class Command { Help, Version, Check, File, Backup, Restore, MoveToServer, MoveToHome, Retention, Prune };

struct Options {
  Command command = Command::Help;
  std::string home;       // UTF-8; empty: rt::platform::DefaultHomeFolder()
  std::string database;   // UTF-8; a server's connection string, or empty: the home folder's labdocs.db
  bool progress = false;  // progress on standard error even when it is no terminal
  // file: the RIS_DOC record's ID and the directory's TV_ID.
  std::int64_t record_id = 0;
  std::int64_t directory_id = 0;
  // backup, move-to-home: the new folder the copy is made in; restore: the
  // backup's folder (UTF-8).
  std::string folder;
  // retention: the setting to make; nothing: show the one there is.
  std::optional<labdocs::labdoc::Retention> retention;
  // move-to-server: the server's database the home moves into.
  std::string server;
  // Who files (GBK), as the console's options name them; unset ones keep
  // the host's defaults.
  hostcore::Workstation workstation;
};

// Reads the arguments after the program name. Raises UsageError.
Options ParseOptions(const std::vector<std::string>& arguments);

// The --help text (UTF-8).
const char* UsageText();

}  // namespace admin
