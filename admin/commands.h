// The program's commands on the open session, writing to a person: what
// they did on standard output, failures and progress on standard error.
#pragma once

#include <ostream>

#include "admin/check.h"
#include "admin/options.h"
#include "console/output.h"

namespace admin {

// The check's report: the database, what was read, and each fault on a line
// of its own ("<kind>: <directory> / <file name> (<detail>)").
void PrintCheck(console::Output& out, const CheckResult& result);

// Each returns the exit code (exit_codes.h); rt::EDatabaseError passes.
int RunCheck(const Options& options, std::ostream& out, std::ostream& err);
int RunFile(const Options& options, std::ostream& out, std::ostream& err);
// backup and move-to-home on the open session (a home's or a server's);
// restore without one, into the home folder or the server that the options
// name; move-to-server from the open session (a home's).
int RunBackup(const Options& options, std::ostream& out, std::ostream& err);
int RunRestore(const Options& options, std::ostream& out, std::ostream& err);
int RunMoveToServer(const Options& options, std::ostream& out, std::ostream& err);
// retention: shows the laboratory's retention of revisions, or sets it;
// prune: applies it to every document.
int RunRetention(const Options& options, std::ostream& out, std::ostream& err);
int RunPrune(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace admin
