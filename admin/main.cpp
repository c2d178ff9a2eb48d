// labdocs-admin: the administration program of the laboratory documents'
// database (docs/administration.md). No exception leaves main: each
// failure ends in its exit code (exit_codes.h) with a message on standard
// error.
#include <iostream>

#include "admin/commands.h"
#include "admin/database.h"
#include "admin/exit_codes.h"
#include "admin/options.h"
#include "console/terminal_text.h"
#include "hostcore/code_page.h"
#include "labdocs/version.h"
#include "runtime/data/session.h"
#include "runtime/errors.h"
#include "runtime/platform/console.h"

namespace {

using namespace admin;

void Fail(std::string_view gbk_message) {
  std::cerr << "labdocs-admin: " << console::ToTerminal(gbk_message) << std::endl;
}

int Run(const Options& options) {
  // A restore makes its home's database: there is none to open.
  if (options.command == Command::Restore) {
    try {
      return RunRestore(options, std::cout, std::cerr);
    } catch (const std::exception& error) {
      Fail(error.what());
      return kExitDatabase;
    }
  }
  try {
    OpenDatabase(options);
  } catch (const std::exception& error) {
    Fail(error.what());
    return kExitDatabase;
  }
  int code = kExitInternal;
  try {
    switch (options.command) {
      case Command::Check: code = RunCheck(options, std::cout, std::cerr); break;
      case Command::File: code = RunFile(options, std::cout, std::cerr); break;
      case Command::Backup:
      case Command::MoveToHome: code = RunBackup(options, std::cout, std::cerr); break;
      case Command::MoveToServer: code = RunMoveToServer(options, std::cout, std::cerr); break;
      case Command::Retention: code = RunRetention(options, std::cout, std::cerr); break;
      case Command::Prune: code = RunPrune(options, std::cout, std::cerr); break;
      case Command::Help:
      case Command::Version:
      case Command::Restore: break;
    }
  } catch (const rt::EDatabaseError& error) {
    Fail("The database failed: " + std::string(error.what()));
    code = kExitDatabase;
  }
  rt::CloseSession();
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    rt::platform::UseUtf8StandardStreams();
    Options options;
    try {
      options = ParseOptions(rt::platform::CommandLineArguments(argc, argv));
    } catch (const UsageError& error) {
      std::cerr << "labdocs-admin: " << error.what() << std::endl;
      return kExitUsage;
    }
    if (options.command == Command::Help) {
      std::cout << UsageText();
      return kExitOk;
    }
    if (options.command == Command::Version) {
      std::cout << "labdocs-admin " << labdocs::kVersion << '\n';
      return kExitOk;
    }
    hostcore::RequireGbkCodePage();
    return Run(options);
  } catch (const hostcore::CodePageError& error) {
    Fail(error.what());
    return kExitCodePage;
  } catch (const std::exception& error) {
    Fail(error.what());
  } catch (...) {
    Fail("an unexpected error");
  }
  return kExitInternal;
}
