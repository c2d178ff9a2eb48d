// The console session: the host's browser (hostcore/browser.h) in the terminal.
// It reads a person's or a script's commands, has the browser open nodes,
// select rows, build the context menu and run commands, shows the tree, the
// rows, the menu and each call's outcome, and has a script's expectations
// about them checked (expectations.h). Which command runs which of its
// handlers is the verb table's (verbs.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/interaction.h"
#include "console/terminal_presenter.h"
#include "hostcore/browser.h"
#include "hostcore/columns.h"

namespace rt {
class DataSession;
}  // namespace rt

namespace console {

class CommandSession {
 public:
  // allow_sql_writes: the sql command may change the database; otherwise
  // the database refuses every change it asks for.
  CommandSession(hostcore::Plugin& plugin, rt::DataSession& database, Interaction& interaction,
                 TerminalPresenter& presenter, bool allow_sql_writes);
  ~CommandSession();
  CommandSession(const CommandSession&) = delete;
  CommandSession& operator=(const CommandSession&) = delete;

  // A person's greeting: where the console works and the tree.
  void Greet();
  // Runs commands until the input ends or the person or script quits;
  // returns the exit code.
  int Run();
  // A command that may come while a form, question or file dialog waits
  // (verbs.h): expectations about the list, the menu and the last command,
  // env, help, quit.
  void HandleWhileWaiting(const Command& command);
  // The paths that open takes (UTF-8), for completing them: each node's,
  // and below a top node also without the top node's name.
  std::vector<std::string> NodePaths() const;

 private:
  friend struct VerbTable;

  void Execute(const Command& command);

  // The verbs' handlers in the tree and the list (verbs.h).
  void ShowTree(const Command& command);
  void OpenPath(const Command& command);
  void Up(const Command& command);
  void List(const Command& command);
  void ShowFields(const Command& command);
  void Select(const Command& command);
  void ShowMenu(const Command& command);
  void RunItem(const Command& command);
  void Exec(const Command& command);
  void Sql(const Command& command);
  void ShowEnvironment(const Command& command);
  void ShowHelp(const Command& command);
  void Quit(const Command& command);
  void Expect(const Command& command);

  void Open(const hostcore::TreeNode& node);
  void ReadRows();
  void ShowRows();
  void ShowGrid(const std::vector<hostcore::GridColumn>& columns);
  bool BuildMenu();
  void RunCommand(const std::string& name);
  void ReloadTree();

  rt::DataSession& database_;
  Interaction& interaction_;
  TerminalPresenter& presenter_;
  bool allow_sql_writes_;
  hostcore::Browser browser_;
};

}  // namespace console
