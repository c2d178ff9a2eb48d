// The administration program's exit codes.
#pragma once

namespace admin {

enum ExitCode : int {
  kExitOk = 0,        // all is well: the check found nothing wrong, or the document was filed
  kExitInternal = 1,  // an unexpected error
  kExitUsage = 2,     // a bad command line
  kExitDatabase = 3,  // the database could not be opened, or failed while it was read or written
  kExitFaults = 4,    // the check found faults (each one is named in the output)
  kExitRefused = 5,   // not filed (no such record or directory, or listed already); no copy made (backup, restore)
  kExitCodePage = 6,  // the workstation's ANSI code page is not 936 (hostcore/code_page.h)
};

}  // namespace admin
