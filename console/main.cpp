// The host console: loads the plug-in, opens the home folder, and runs the
// session for a person at the terminal or for a script.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

#include "console/command_reader.h"
#include "console/command_session.h"
#include "console/interaction.h"
#include "console/line_editor.h"
#include "console/options.h"
#include "console/terminal_presenter.h"
#include "console/terminal_text.h"
#include "hostcore/code_page.h"
#include "hostcore/home.h"
#include "hostcore/plugin.h"
#include "labdocs/version.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/errors.h"
#include "runtime/platform/console.h"
#include "runtime/platform/platform.h"
#include "runtime/ui/application.h"

namespace {

using namespace console;

void Fail(std::string_view gbk_message) { std::cerr << "labdocs-console: " << ToTerminal(gbk_message) << std::endl; }

int RunConsole(const Options& options) {
  Output output(std::cout);

  // The home folder, the plug-in's environment and the database.
  hostcore::HomeOpened opened;
  try {
    opened = hostcore::StartHome(options);
  } catch (const std::exception& error) {
    Fail(error.what());
    return hostcore::kExitHome;
  }

  std::unique_ptr<hostcore::Plugin> plugin;
  try {
    plugin = std::make_unique<hostcore::Plugin>(options.plugin);
  } catch (const std::exception& error) {
    Fail(error.what());
    return hostcore::kExitPlugin;
  }

  std::ifstream script_file;
  std::istream* input = &std::cin;
  bool interactive = false;
  if (options.script && *options.script != "-") {
    script_file.open(rt::platform::Utf8Path(*options.script), std::ios::binary);
    if (!script_file) {
      std::cerr << "labdocs-console: the script " << *options.script << " cannot be read" << std::endl;
      return hostcore::kExitUsage;
    }
    input = &script_file;
  } else if (!options.script) {
    interactive = rt::platform::StandardInputIsTerminal();
  }

  // Which database, and how it is reached (encrypted, the server
  // verified): with the start's notes for a person; for a script, whose
  // transcript is standard output, on standard error when it is a server.
  const std::string status = rt::StatusLine(rt::CurrentDataSession());
  if (!interactive && rt::CurrentDataSession().Kind() == rt::Engine::Postgres)
    std::cerr << "labdocs-console: " << ToTerminal(status) << std::endl;

  CommandReader reader(*input, output, interactive ? CommandReader::Mode::Interactive : CommandReader::Mode::Script);
  Interaction interaction(reader, output, std::cerr);
  TerminalPresenter presenter(interaction);
  presenter.SetStandingAnswer(options.answer);
  rt::Application().SetPresenter(&presenter);
  int code = hostcore::kExitOk;
  {
    // The session reads the view tree first: a database that opened but
    // cannot be read is a failure of the home folder's database.
    std::optional<CommandSession> session;
    try {
      session.emplace(*plugin, rt::CurrentDataSession(), interaction, presenter, options.allow_sql_writes);
    } catch (const rt::EDatabaseError& error) {
      Fail(hostcore::UnreadableDatabase(rt::CurrentDataSession().Shown(), opened.content_file, error));
      code = hostcore::kExitHome;
    }
    if (session) {
      if (interactive) {
        output.Line(status);
        for (const std::string& note : opened.notes) output.Line(note);
        session->Greet();
        reader.UseLineEditor(TerminalLineEditor([&session] { return session->NodePaths(); }));
      }
      code = session->Run();
      reader.UseLineEditor(nullptr);
    }
  }
  rt::Application().SetPresenter(nullptr);
  plugin.reset();
  rt::CloseSession();
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  rt::platform::UseUtf8StandardStreams();
  Options options;
  try {
    options = ParseOptions(rt::platform::CommandLineArguments(argc, argv));
  } catch (const hostcore::UsageError& error) {
    std::cerr << "labdocs-console: " << error.what() << std::endl;
    return hostcore::kExitUsage;
  }
  if (options.help) {
    std::cout << UsageText();
    return hostcore::kExitOk;
  }
  if (options.version) {
    std::cout << "labdocs-console " << labdocs::kVersion << '\n';
    return hostcore::kExitOk;
  }
  try {
    hostcore::RequireGbkCodePage();
    return RunConsole(options);
  } catch (const hostcore::CodePageError& error) {
    Fail(error.what());
    return hostcore::kExitCodePage;
  } catch (const std::exception& error) {
    Fail(error.what());
    return hostcore::kExitInternal;
  }
}
