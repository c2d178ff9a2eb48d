// The console's exit codes and the kinds of failure behind them.
#pragma once

#include "runtime/errors.h"

namespace console {

enum ExitCode : int {
  kExitOk = 0,           // the session or script ran to its end
  kExitInternal = 1,     // an unexpected error
  kExitUsage = 2,        // a bad command line
  kExitHome = 3,         // the home folder or its database could not be prepared
  kExitPlugin = 4,       // the plug-in or one of its exports is missing
  kExitMalformed = 5,    // a script line is not a well-formed command
  kExitCommand = 6,      // a script command could not be carried out
  kExitExpectation = 7,  // a script's expectation was not met
};

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
