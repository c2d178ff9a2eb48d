#include "hostcore/start_options.h"

#include <charconv>
#include <string_view>

namespace hostcore {

bool StartOptions::Read(ArgumentReader& argument) {
  const std::string_view name = argument.Name();
  if (name == "-h" || name == "--help") {
    argument.NoValue();
    help = true;
  } else if (name == "--version") {
    argument.NoValue();
    version = true;
  } else if (name == "--empty") {
    argument.NoValue();
    empty = true;
  } else if (name == "--home") {
    home = argument.Value();
  } else if (name == "--database") {
    database = ServerSetting(argument.Value());
  } else if (name == "--plugin") {
    plugin = argument.GbkValue();
  } else if (workstation.Read(argument)) {
  } else if (name == "--sys-code") {
    sys_code = argument.GbkValue();
  } else if (name == "--display-style") {
    const std::string text = argument.Value();
    int style = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), style);
    if (error != std::errc() || end != text.data() + text.size())
      throw UsageError("--display-style needs a whole number, not '" + text + "'");
    display_style = style;
  } else {
    return false;
  }
  return true;
}

StartOptions ParseStartOptions(const std::vector<std::string>& arguments) {
  StartOptions options;
  ArgumentReader argument(arguments);
  while (argument.Next())
    if (!options.Read(argument)) argument.Unknown();
  if (options.plugin.empty()) throw UsageError("--plugin needs a file name");
  return options;
}

}  // namespace hostcore
