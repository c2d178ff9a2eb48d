// The console session: what a person sees and does in the host. It shows
// the view tree, lists the rows of the chosen node (the plug-in's for a
// directory, its own for a category or folder), keeps the selection, opens
// the context menu through the plug-in and runs the chosen command, then
// refreshes what the command's MenuStatus says changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/context_menu.h"
#include "console/interaction.h"
#include "console/plugin.h"
#include "console/terminal_presenter.h"
#include "console/view_tree.h"

namespace rt {
class Database;
class TsuiPopupMenu;
}  // namespace rt

namespace console {

class Session {
 public:
  // allow_sql_writes: the sql command may change the database; otherwise
  // the database refuses every change it asks for.
  Session(Plugin& plugin, rt::Database& database, Interaction& interaction, TerminalPresenter& presenter,
          bool allow_sql_writes);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // A person's greeting: where the console works and the tree.
  void Greet();
  // Runs commands until the input ends or the person or script quits;
  // returns the exit code.
  int Run();
  // A command that may come while a form, question or file dialog waits:
  // expectations about the list, the menu and the last command, env, help.
  void HandleWhileWaiting(const Command& command);

 private:
  void Execute(const Command& command);
  void Open(const TreeNode& node);
  void Up();
  void LoadRows();
  void ShowRows();
  void Select(const Command& command);
  void ShowMenu();
  bool BuildMenu();
  void CloseMenu();
  void RunItem(const std::string& item);
  void RunCommand(const std::string& name);
  void ReloadTree();
  void Sql(const std::string& query);
  void ShowEnvironment();
  void ShowHelp();
  void Expect(const Command& command);

  const TreeNode& CurrentNode() const;
  std::vector<std::size_t> SelectedRows() const;

  Plugin& plugin_;
  rt::Database& database_;
  Interaction& interaction_;
  TerminalPresenter& presenter_;
  bool allow_sql_writes_;

  ViewTree tree_;
  const TreeNode* node_ = nullptr;
  // The open node's place, kept to find it again when the tree is reloaded.
  std::vector<std::pair<NodeKind, std::int64_t>> node_path_;
  rt::RowSet rows_;
  std::vector<bool> selected_;

  rt::TsuiPopupMenu* menu_ = nullptr;  // the open context menu, owned by the application
  std::vector<MenuEntry> menu_entries_;
  bool menu_shown_ = false;  // a menu was opened since the session began

  std::optional<CallResult> last_call_;  // the last ExecuteMenu
};

}  // namespace console
