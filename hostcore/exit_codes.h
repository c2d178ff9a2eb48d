// The hosts' exit codes: the console's and the desktop's, one numbering.
// Only the console runs scripts, so only it ends with 5, 6 and 7.
#pragma once

namespace hostcore {

enum ExitCode : int {
  kExitOk = 0,           // the session or script ran to its end
  kExitInternal = 1,     // an unexpected error
  kExitUsage = 2,        // a bad command line
  kExitHome = 3,         // the home folder or its database could not be prepared
  kExitPlugin = 4,       // the plug-in or one of its exports is missing
  kExitMalformed = 5,    // a script line is not a well-formed command
  kExitCommand = 6,      // a script command could not be carried out
  kExitExpectation = 7,  // a script's expectation was not met
  kExitCodePage = 8,     // the workstation's ANSI code page is not 936 (hostcore/code_page.h)
};

}  // namespace hostcore
