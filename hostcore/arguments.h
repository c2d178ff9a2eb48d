// A command line's arguments read one at a time, in the form the system's
// programs (the hosts, labdocs-admin) take: options "--name value" or
// "--name=value", and the words between them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/errors.h"
#include "runtime/services/environment.h"

namespace hostcore {

// A command line a program cannot follow; the message says why (UTF-8).
class UsageError : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

class ArgumentReader {
 public:
  explicit ArgumentReader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

  // Moves to the next argument; false past the last.
  bool Next();
  // The argument, without the "=value" that an option may carry.
  std::string_view Name() const { return name_; }
  // The option's value: its own "=value", or else the next argument.
  // Raises UsageError when there is none.
  std::string Value();
  // The value (UTF-8) in GBK, as the system holds texts. Raises UsageError
  // when it is no valid UTF-8.
  std::string GbkValue();
  // Raises UsageError when the option, which takes none, was given a value.
  void NoValue() const;
  // Raises UsageError for an option that the program does not know.
  [[noreturn]] void Unknown() const;

 private:
  const std::vector<std::string>& arguments_;
  std::size_t next_ = 0;
  std::string_view name_;
  std::string value_;
  bool has_value_ = false;
};

// Who works where, from --user-id, --user-name and --computer (GBK); unset
// ones keep the host environment's defaults.
struct Workstation {
  std::optional<std::string> user_id, user_name, computer_name;

  // Takes the argument when it is one of the three options; false for any
  // other.
  bool Read(ArgumentReader& argument);
  // The given ones put over the environment's.
  void ApplyTo(rt::HostEnvironment& environment) const;
};

// The value of --database (or of another argument, `what`), which must name
// a server (docs/database.md). Raises UsageError otherwise, without
// repeating the value: a mistyped connection string may hold a password.
std::string ServerSetting(std::string setting, std::string_view what = "--database");

}  // namespace hostcore
