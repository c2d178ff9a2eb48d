#include "hostcore/browser.h"

#include "hostcore/row_params.h"
#include "runtime/services/plugin_abi.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/ui/application.h"

namespace hostcore {

Refresh RefreshFor(const CallResult& call) {
  if (!call.Ok()) return Refresh::Nothing;
  if (call.result == rt::plugin::kRecordsChanged) return Refresh::Rows;
  if (call.result == rt::plugin::kDirectoryDeleted || call.result == rt::plugin::kDirectoryCopied)
    return Refresh::TreeAndRows;
  return call.confirmed ? Refresh::Rows : Refresh::Nothing;
}

Browser::Browser(Plugin& plugin, rt::DataSession& database)
    : plugin_(plugin), database_(database), tree_(ViewTree::Load(database)) {}

Browser::~Browser() { CloseMenu(); }

const TreeNode& Browser::CurrentNode() const {
  if (!node_) throw BrowserError("No node is open: open one first (tree shows them)");
  return *node_;
}

std::vector<std::size_t> Browser::SelectedRows() const {
  std::vector<std::size_t> rows;
  for (std::size_t i = 0; i < selected_.size(); ++i)
    if (selected_[i]) rows.push_back(i);
  return rows;
}

void Browser::Remember(const TreeNode& node) {
  node_ = &node;
  node_path_.clear();
  for (const TreeNode* n = &node; n; n = n->parent) node_path_.insert(node_path_.begin(), {n->kind, n->id});
}

CallResult Browser::Open(const TreeNode& node) {
  Remember(node);
  return ReadRows();
}

CallResult Browser::ReadRows() {
  const TreeNode& node = CurrentNode();
  rows_ = {};
  selected_.clear();
  CallResult call{S_OK, 0, {}};
  if (node.kind == NodeKind::Directory) {
    call = plugin_.InitViewData(NodeParamText(node), &rows_);
    if (!call.Ok()) rows_ = {};
  } else {
    rows_ = HostRows(database_, node);
  }
  selected_.assign(rows_.rows.size(), false);
  return call;
}

void Browser::Select(std::vector<bool> selected) {
  CurrentNode();
  if (selected.size() != rows_.rows.size())
    throw BrowserError("The selection has " + std::to_string(selected.size()) + " rows, the list " +
                       std::to_string(rows_.rows.size()));
  selected_ = std::move(selected);
}

CallResult Browser::BuildMenu() {
  const TreeNode& node = CurrentNode();
  if (node.kind == NodeKind::Folder)
    throw BrowserError(node.name + " is not served by a plug-in: it has no context menu");
  CloseMenu();
  const std::vector<std::size_t> rows = SelectedRows();
  const std::int32_t kind = rows.empty() ? 0 : rows.size() == 1 ? 1 : 2;
  const std::string params = rows.empty() ? NodeParamText(node) : RowParamText(rows_, rows.front());

  // A fresh menu of the host's for every context menu, so that nothing of
  // an earlier one stays in it.
  menu_ = new rt::TsuiPopupMenu(&rt::Application());
  const CallResult call = plugin_.InitRightMenu(params, kind, *menu_);
  menu_built_ = true;
  menu_entries_.clear();
  if (!call.Ok() || call.result != 0) {
    CloseMenu();
    return call;
  }
  menu_entries_ = VisibleEntries(*menu_->Items());
  return call;
}

void Browser::CloseMenu() {
  if (menu_) menu_->Free();
  menu_ = nullptr;
}

CallResult Browser::RunCommand(const std::string& name) {
  const TreeNode& node = CurrentNode();
  if (node.kind == NodeKind::Folder) throw BrowserError(node.name + " is not served by a plug-in: it runs no command");
  const rt::RowSet selection = SelectionRows(rows_, SelectedRows());
  const std::uint64_t confirmed = rt::Application().ConfirmedForms();
  last_call_ = plugin_.ExecuteMenu(NodeParamText(node), selection, name);
  last_call_.confirmed = rt::Application().ConfirmedForms() != confirmed;
  has_last_call_ = true;
  return last_call_;
}

bool Browser::ReloadTree() {
  tree_ = ViewTree::Load(database_);
  node_ = nullptr;
  // The open node, or the nearest node above it that is still there.
  for (auto it = node_path_.rbegin(); it != node_path_.rend() && !node_; ++it)
    node_ = tree_.FindById(it->first, it->second);
  if (!node_) {
    node_path_.clear();
    rows_ = {};
    selected_.clear();
    return false;
  }
  Remember(*node_);
  return true;
}

}  // namespace hostcore
