#include "console/session.h"

#include <algorithm>

#include "console/expectations.h"
#include "console/grid.h"
#include "console/menu_text.h"
#include "console/terminal_text.h"
#include "console/verbs.h"
#include "runtime/data/database.h"
#include "runtime/host/environment.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"

namespace console {
namespace {

using host::CallResult;
using host::MenuEntry;
using host::NodeKind;
using host::StatusText;
using host::TreeNode;

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

Session::Session(host::Plugin& plugin, rt::DataSession& database, Interaction& interaction, TerminalPresenter& presenter,
                 bool allow_sql_writes)
    : database_(database),
      interaction_(interaction),
      presenter_(presenter),
      allow_sql_writes_(allow_sql_writes),
      browser_(plugin, database) {
  presenter_.SetSessionHandler([this](const Command& command) { HandleWhileWaiting(command); });
}

Session::~Session() { presenter_.SetSessionHandler({}); }

void Session::Greet() {
  const rt::HostEnvironment& environment = rt::Environment();
  interaction_.Out().Line("labdocs host console: home " + environment.base_dir + ", plug-in " +
                          browser_.GetPlugin().FileName());
  interaction_.Out().Line("The view tree:");
  for (const std::string& line : browser_.Tree().Render(nullptr)) interaction_.Out().Line(line);
  interaction_.Out().Line("Type help for the commands, open PATH to open a node.");
}

int Session::Run() {
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
  return interaction_.Aborted() ? interaction_.AbortCode() : host::kExitOk;
}

void Session::HandleWhileWaiting(const Command& command) {
  const VerbRow& row = RowOf(command.verb);
  if (!row.anywhere || !row.run) throw CommandError(std::string(row.word) + " does not fit here");
  (this->*row.run)(command);
}

std::vector<std::string> Session::NodePaths() const {
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

void Session::Execute(const Command& command) {
  const VerbRow& row = RowOf(command.verb);
  // A context menu stays open only for choosing from it or checking it.
  if (!row.keeps_menu) browser_.CloseMenu();
  if (!row.run) throw CommandError(NothingWaits(row));
  (this->*row.run)(command);
}

void Session::ShowTree(const Command& /*command*/) {
  for (const std::string& line : browser_.Tree().Render(browser_.Node())) interaction_.Out().Line(line);
}

void Session::OpenPath(const Command& command) { Open(browser_.Tree().Find(command.text)); }

void Session::Open(const TreeNode& node) {
  interaction_.Out().Line("node: " + PathOf(node));
  if (node.kind != NodeKind::Folder) interaction_.Out().Line("params: " + NodeParamText(node));
  const CallResult call = browser_.Open(node);
  if (!call.Ok()) interaction_.Out().Line(FailureText("InitViewData", call));
  else if (call.result != 0) interaction_.Out().Line("InitViewData gave result " + std::to_string(call.result));
  ShowRows();
}

void Session::Up(const Command& /*command*/) {
  const TreeNode& node = browser_.CurrentNode();
  if (!node.parent) throw CommandError(node.name + " is a top node");
  Open(*node.parent);
}

void Session::List(const Command& /*command*/) {
  ReadRows();
  ShowRows();
}

void Session::ReadRows() {
  const CallResult call = browser_.ReadRows();
  if (!call.Ok()) interaction_.Out().Line(FailureText("InitViewData", call));
  else if (call.result != 0) interaction_.Out().Line("InitViewData gave result " + std::to_string(call.result));
}

void Session::ShowRows() { ShowGrid(host::DisplayColumns(browser_.Rows())); }

void Session::ShowFields(const Command& /*command*/) {
  browser_.CurrentNode();
  ShowGrid(host::AllColumns(browser_.Rows()));
}

void Session::ShowGrid(const std::vector<host::GridColumn>& columns) {
  const rt::RowSet& rows = browser_.Rows();
  if (!rows.fields.empty()) interaction_.Out().Utf8Lines(RenderGrid(rows, columns, browser_.Selected()));
  interaction_.Out().Line(CountText(rows.rows.size()));
}

void Session::Select(const Command& command) {
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

bool Session::BuildMenu() {
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

void Session::ShowMenu(const Command& /*command*/) {
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

void Session::RunItem(const Command& command) {
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

void Session::Exec(const Command& command) { RunCommand(command.text); }

void Session::RunCommand(const std::string& name) {
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
  switch (host::RefreshFor(call)) {
    case host::Refresh::Nothing: return;
    case host::Refresh::TreeAndRows:
      ReloadTree();
      if (!browser_.Node()) return;
      [[fallthrough]];
    case host::Refresh::Rows:
      ReadRows();
      ShowRows();
      return;
  }
}

void Session::ReloadTree() {
  if (browser_.ReloadTree()) interaction_.Out().Line("tree reloaded; node: " + PathOf(*browser_.Node()));
  else interaction_.Out().Line("tree reloaded; the open node is gone");
}

void Session::Sql(const Command& command) {
  rt::RowSet rows;
  try {
    rows = allow_sql_writes_ ? database_.Query(command.text) : database_.QueryReadOnly(command.text);
  } catch (const rt::EWriteRefused& error) {
    throw CommandError("sql only reads: start the console with --allow-sql-writes to change the database (" +
                       std::string(error.what()) + ")");
  }
  if (!rows.fields.empty()) interaction_.Out().Utf8Lines(RenderGrid(rows, host::AllColumns(rows), {}));
  interaction_.Out().Line(CountText(rows.rows.size()));
}

void Session::ShowEnvironment(const Command& /*command*/) {
  const rt::HostEnvironment& environment = rt::Environment();
  Output& out = interaction_.Out();
  out.Line("home: " + environment.base_dir);
  out.Line("user: " + environment.user_id + " " + environment.user_name);
  out.Line("computer: " + environment.computer_name);
  out.Line("subsystem: " + environment.sys_code);
  out.Line("display style: " + std::to_string(environment.display_style));
  out.Line("plug-in: " + browser_.GetPlugin().FileName());
}

void Session::ShowHelp(const Command& /*command*/) {
  for (const std::string& line : HelpLines()) interaction_.Out().Line(line);
}

void Session::Quit(const Command& /*command*/) { interaction_.RequestQuit(); }

void Session::Expect(const Command& command) { CheckView(browser_, presenter_.LastMessage(), command); }

}  // namespace console
