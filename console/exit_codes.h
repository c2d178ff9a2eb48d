// The kinds of failure behind the console's exit codes (hostcore/exit_codes.h).
#pragma once

#include "hostcore/exit_codes.h"
#include "runtime/errors.h"

namespace console {

// A command that cannot be carried out: an unknown node or control, a row
// number out of range, a command that does not fit what is shown. The
// message is GBK.
class CommandError : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

// An "expect" command that was not met. The message is GBK.
class ExpectationFailed : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

}  // namespace console
