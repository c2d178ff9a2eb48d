#include "console/command_session.h"

#include <algorithm>

#include "console/expectations.h"
#include "console/grid.h"
#include "console/menu_text.h"
#include "console/terminal_text.h"
#include "console/verbs.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/services/environment.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"

namespace console {
namespace {

using hostcore::CallResult;
using hostcore::MenuEntry;
using hostcore::NodeKind;
using hostcore::StatusText;
using hostcore::TreeNode;

std::string StatusMeaning(std::int32_t status) {
  switch (status) {
    case rt::plugin::kNothingChanged: return "nothing changed";
    case rt::plugin::kNothingDone: return "nothing was done";
    case rt::plugin::kRecordsChanged: return "records changed";
    case rt::plugin::kDirectoryDeleted: return "a directory was deleted";
    case rt::plugin::kDirectoryCopied: return "a directory was copied";
    default: return "unknown status";
  }
}

std::string CountText(std::size_t count) {
  return count == 0 ? "(no rows)" : count == 1 ? "(1 row)" : "(" + std::to_string(count) + " rows)";
}

std::string FailureText(const std::string& function, const CallResult& call) {
  std::string text = "failed: " + function + " returned " + StatusText(call.status) + " (result " +
                     std::to_string(call.result) + ")";
  if (!call.error.empty()) text += ": " + call.error;
  return text;
}

}  // namespace

CommandSession::CommandSession(hostcore::Plugin& plugin, rt::DataSession& database, Interaction& interaction,
                               TerminalPresenter& presenter, bool allow_sql_writes)
    : database_(database),
      interaction_(interaction),
      presenter_(presenter),
      allow_sql_writes_(allow_sql_writes),
      browser_(plugin, database) {
  presenter_.SetSessionHandler([this](const Command& command) { HandleWhileWaiting(command); });
}

CommandSession::~CommandSession() { presenter_.SetSessionHandler({}); }

void CommandSession::Greet() {
  const rt::HostEnvironment& environment = rt::Environment();
  interaction_.Out().Line("labdocs host console: home " + environment.base_dir + ", plug-in " +
                          browser_.GetPlugin().FileName());
  interaction_.Out().Line("The view tree:");
  for (const std::string& line : browser_.Tree().Render(nullptr)) interaction_.Out().Line(line);
  interaction_.Out().Line("Type help for the commands, open PATH to open a node.");
}

int CommandSession::Run() {
  while (!interaction_.Quitting()) {
    const TreeNode* node = browser_.Node();
    std::string prompt = node ? ToTerminal(PathOf(*node)) + "> " : "> ";
    std::optional<Command> command = interaction_.Next(prompt);
    if (!command) break;
    try {
      Execute(*command);
    } catch (const std::exception& error) {
      interaction_.Fail(command->line, error);
    }
  }
  return interaction_.Aborted() ? interaction_.AbortCode() : hostcore::kExitOk;
}

void CommandSession::HandleWhileWaiting(const Command& command) {
  const VerbRow& row = RowOf(command.verb);
  if (!row.anywhere || !row.run) throw CommandError(std::string(row.word) + " does not fit here");
  (this->*row.run)(command);
}

std::vector<std::string> CommandSession::NodePaths() const {
  std::vector<std::string> paths;
  auto add = [&](const auto& self, const TreeNode& node, const std::string& below_top) -> void {
    paths.push_back(ToTerminal(PathOf(node)));
    if (!below_top.empty()) paths.push_back(ToTerminal(below_top));
    for (const auto& child : node.children)
      self(self, *child, below_top.empty() ? child->name : below_top + "/" + child->name);
  };
  for (const auto& root : browser_.Tree().Roots()) add(add, *root, "");
  return paths;
}

void CommandSession::Execute(const Command& command) {
  const VerbRow& row = RowOf(command.verb);
  // A context menu stays open only for choosing from it or checking it.
  if (!row.keeps_menu) browser_.CloseMenu();
  if (!row.run) throw CommandError(NothingWaits(row));
  (this->*row.run)(command);
}

void CommandSession::ShowTree(const Command& /*command*/) {
  for (const std::string& line : browser_.Tree().Render(browser_.Node())) interaction_.Out().Line(line);
}

void CommandSession::OpenPath(const Command& command) { Open(browser_.Tree().Find(command.text)); }

void CommandSession::Open(const TreeNode& node) {
  interaction_.Out().Line("node: " + PathOf(node));
  if (node.kind != NodeKind::Folder) interaction_.Out().Line("params: " + NodeParamText(node));
  const CallResult call = browser_.Open(node);
  if (!call.Ok()) interaction_.Out().Line(FailureText("InitViewData", call));
  else if (call.result != 0) interaction_.Out().Line("InitViewData gave result " + std::to_string(call.result));
  ShowRows();
}

void CommandSession::Up(const Command& /*command*/) {
  const TreeNode& node = browser_.CurrentNode();
  if (!node.parent) throw CommandError(node.name + " is a top node");
  Open(*node.parent);
}

void CommandSession::List(const Command& /*command*/) {
  ReadRows();
  ShowRows();
}

void CommandSession::ReadRows() {
  const CallResult call = browser_.ReadRows();
  if (!call.Ok()) interaction_.Out().Line(FailureText("InitViewData", call));
  else if (call.result != 0) interaction_.Out().Line("InitViewData gave result " + std::to_string(call.result));
}

void CommandSession::ShowRows() { ShowGrid(hostcore::DisplayColumns(browser_.Rows())); }

void CommandSession::ShowFields(const Command& /*command*/) {
  browser_.CurrentNode();
  ShowGrid(hostcore::AllColumns(browser_.Rows()));
}

void CommandSession::ShowGrid(const std::vector<hostcore::GridColumn>& columns) {
  const rt::RowSet& rows = browser_.Rows();
  if (!rows.fields.empty()) interaction_.Out().Utf8Lines(RenderGrid(rows, columns, browser_.Selected()));
  interaction_.Out().Line(CountText(rows.rows.size()));
}

void CommandSession::Select(const Command& command) {
  browser_.CurrentNode();
  const std::size_t count = browser_.Rows().rows.size();
  std::vector<bool> selected(count, command.all);
  for (const auto& [first, last] : command.ranges) {
    if (static_cast<std::size_t>(last) > count)
      throw CommandError("There is no row " + std::to_string(last) + ": the list has " + std::to_string(count));
    for (int row = first; row <= last; ++row) selected[static_cast<std::size_t>(row - 1)] = true;
  }
  browser_.Select(std::move(selected));
  std::string text;
  for (std::size_t row : browser_.SelectedRows()) text += (text.empty() ? "" : ", ") + std::to_string(row + 1);
  interaction_.Out().Line("selected: " + (text.empty() ? std::string("none") : text));
}

bool CommandSession::BuildMenu() {
  const CallResult call = browser_.BuildMenu();
  if (!call.Ok()) {
    interaction_.Out().Line(FailureText("InitRightMenu", call));
    return false;
  }
  if (call.result != 0) {
    interaction_.Out().Line("The plug-in could not build the menu (result " + std::to_string(call.result) + ")");
    return false;
  }
  return true;
}

void CommandSession::ShowMenu(const Command& /*command*/) {
  if (!BuildMenu()) return;
  const std::vector<std::size_t> rows = browser_.SelectedRows();
  std::string heading = "menu for ";
  if (rows.empty()) {
    heading += "no row";
  } else {
    heading += rows.size() == 1 ? "row " : "rows ";
    for (std::size_t i = 0; i < rows.size(); ++i) heading += (i ? ", " : "") + std::to_string(rows[i] + 1);
  }
  interaction_.Out().Line(heading + ":");
  const std::vector<MenuEntry>& entries = browser_.MenuEntries();
  if (entries.empty()) interaction_.Out().Line("  (no items)");
  else interaction_.Out().Utf8Lines(RenderMenu(entries));
}

void CommandSession::RunItem(const Command& command) {
  const std::string& item = command.text;
  if (!browser_.MenuOpen() && !BuildMenu()) throw CommandError("There is no menu to choose " + item + " from");
  const MenuEntry* entry = FindEntry(browser_.MenuEntries(), item);
  if (!entry) throw CommandError("The menu has no item " + item);
  if (entry->separator || entry->submenu) throw CommandError(entry->name + " is not a command");
  if (!entry->enabled) throw CommandError(entry->name + " is disabled");
  const std::string name = entry->name;
  browser_.CloseMenu();
  RunCommand(name);
}

void CommandSession::Exec(const Command& command) { RunCommand(command.text); }

void CommandSession::RunCommand(const std::string& name) {
  const TreeNode& node = browser_.CurrentNode();
  if (node.kind == NodeKind::Folder) throw CommandError(node.name + " is not served by a plug-in: it runs no command");
  interaction_.Out().Line("command: " + name);
  const CallResult call = browser_.RunCommand(name);
  if (interaction_.Quitting()) return;
  if (!call.Ok()) {
    interaction_.Out().Line(FailureText("ExecuteMenu", call));
    return;
  }
  interaction_.Out().Line("status: " + std::to_string(call.result) + " (" + StatusMeaning(call.result) + ")");
  switch (hostcore::RefreshFor(call)) {
    case hostcore::Refresh::Nothing: return;
    case hostcore::Refresh::TreeAndRows:
      ReloadTree();
      if (!browser_.Node()) return;
      [[fallthrough]];
    case hostcore::Refresh::Rows:
      ReadRows();
      ShowRows();
      return;
  }
}

void CommandSession::ReloadTree() {
  if (browser_.ReloadTree()) interaction_.Out().Line("tree reloaded; node: " + PathOf(*browser_.Node()));
  else interaction_.Out().Line("tree reloaded; the open node is gone");
}

void CommandSession::Sql(const Command& command) {
  rt::RowSet rows;
  try {
    rows = allow_sql_writes_ ? database_.Query(command.text) : database_.QueryReadOnly(command.text);
  } catch (const rt::EWriteRefused& error) {
    throw CommandError("sql only reads: start the console with --allow-sql-writes to change the database (" +
                       std::string(error.what()) + ")");
  }
  if (!rows.fields.empty()) interaction_.Out().Utf8Lines(RenderGrid(rows, hostcore::AllColumns(rows), {}));
  interaction_.Out().Line(CountText(rows.rows.size()));
}

void CommandSession::ShowEnvironment(const Command& /*command*/) {
  const rt::HostEnvironment& environment = rt::Environment();
  Output& out = interaction_.Out();
  out.Line("home: " + environment.base_dir);
  out.Line("user: " + environment.user_id + " " + environment.user_name);
  out.Line("computer: " + environment.computer_name);
  out.Line("subsystem: " + environment.sys_code);
  out.Line("display style: " + std::to_string(environment.display_style));
  out.Line("plug-in: " + browser_.GetPlugin().FileName());
}

void CommandSession::ShowHelp(const Command& /*command*/) {
  for (const std::string& line : HelpLines()) interaction_.Out().Line(line);
}

void CommandSession::Quit(const Command& /*command*/) { interaction_.RequestQuit(); }

void CommandSession::Expect(const Command& command) { CheckView(browser_, presenter_.LastMessage(), command); }

}  // namespace console
