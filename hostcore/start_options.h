// The options every host takes on its command line to start: the home
// folder and its database, the environment the plug-in sees, the plug-in
// itself. StartHome (hostcore/home.h) starts a host from them; a host's own
// options read around them (console/options.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hostcore/arguments.h"

namespace hostcore {

struct StartOptions {
  bool help = false;
  bool version = false;
  std::string home;      // UTF-8; empty: rt::platform::DefaultHomeFolder()
  std::string database;  // UTF-8; a server's connection string, or empty: the home folder's file
  bool empty = false;    // a new home folder gets an empty database
  std::string plugin = "labdocs.dll";
  // The environment the plug-in sees (GBK); unset ones keep the defaults.
  Workstation workstation;
  std::optional<std::string> sys_code;
  std::optional<int> display_style;

  // Takes the argument when it is one of these options (-h, --help,
  // --version, --home, --database, --empty, --plugin, --user-id,
  // --user-name, --computer, --sys-code, --display-style); false for any
  // other. Raises UsageError for a value it cannot take.
  bool Read(ArgumentReader& argument);
};

// Reads a command line of the start options alone. Raises UsageError.
StartOptions ParseStartOptions(const std::vector<std::string>& arguments);

}  // namespace hostcore
