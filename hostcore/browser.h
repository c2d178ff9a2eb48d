// What a host does with a view plug-in, without showing any of it: the view
// tree, the open node and the rows it lists (the plug-in's for a directory,
// the host's own for a category or folder), the selection, the context menu
// that the plug-in fills for it, and the commands run on it, followed by the
// refresh that their MenuStatus asks for. The terminal console and the
// desktop host each present a Browser their own way; neither repeats what
// it does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hostcore/context_menu.h"
#include "hostcore/plugin.h"
#include "hostcore/view_tree.h"

namespace rt {
class DataSession;
class TsuiPopupMenu;
}  // namespace rt

namespace hostcore {

// A request that the state does not allow (no node open, a row that is not
// listed, a node that no plug-in serves); the message says what to do.
class BrowserError : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

// What to read again after a command: what its MenuStatus asks for, and the
// rows after any command one of whose forms closed with OK even when its
// MenuStatus says nothing changed (an added document's record, say): the
// person sees what the form did without asking for the list again.
enum class Refresh { Nothing, Rows, TreeAndRows };
Refresh RefreshFor(const CallResult& call);

class Browser {
 public:
  // Reads the view tree; nothing is open yet.
  Browser(Plugin& plugin, rt::DataSession& database);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  Plugin& GetPlugin() { return plugin_; }
  const ViewTree& Tree() const { return tree_; }
  // The open node; nullptr when none is.
  const TreeNode* Node() const { return node_; }
  // The open node; raises BrowserError when none is.
  const TreeNode& CurrentNode() const;
  const rt::RowSet& Rows() const { return rows_; }
  const std::vector<bool>& Selected() const { return selected_; }
  // The numbers (from 0) of the selected rows, in order.
  std::vector<std::size_t> SelectedRows() const;

  // Opens a node and reads its rows (ReadRows).
  CallResult Open(const TreeNode& node);
  // Reads the open node's rows again and clears the selection. For a
  // directory the plug-in's InitViewData call is returned; a failing one
  // leaves the list empty. The host's own rows give a succeeding call.
  CallResult ReadRows();
  // Selects rows (one flag per listed row); raises BrowserError when the
  // flags do not match the list.
  void Select(std::vector<bool> selected);

  // Has the plug-in fill a fresh context menu for the selection: kind 0 with
  // the node's parameter text when no row is selected, 1 or 2 with the first
  // selected row's. On a succeeding call with result 0 the menu stays open
  // with its visible entries; otherwise it is closed. Raises BrowserError
  // for a node that no plug-in serves.
  CallResult BuildMenu();
  // The open menu's visible entries; those of the last menu built.
  const std::vector<MenuEntry>& MenuEntries() const { return menu_entries_; }
  bool MenuOpen() const { return menu_ != nullptr; }
  // Whether any menu was built since the browser began.
  bool MenuBuilt() const { return menu_built_; }
  void CloseMenu();

  // Runs a command through ExecuteMenu with the node's parameter text and
  // the selected rows. Raises BrowserError for a node that no plug-in
  // serves. The call is kept as the last one.
  CallResult RunCommand(const std::string& name);
  const CallResult* LastCall() const { return has_last_call_ ? &last_call_ : nullptr; }

  // Reads the tree again and opens the open node again, or the nearest node
  // above it that is still there; false when none is (nothing is open then).
  // The rows are not read.
  bool ReloadTree();

 private:
  void Remember(const TreeNode& node);

  Plugin& plugin_;
  rt::DataSession& database_;
  ViewTree tree_;
  const TreeNode* node_ = nullptr;
  // The open node's place, kept to find it again when the tree is reloaded.
  std::vector<std::pair<NodeKind, std::int64_t>> node_path_;
  rt::RowSet rows_;
  std::vector<bool> selected_;
  rt::TsuiPopupMenu* menu_ = nullptr;  // the open context menu, owned by the application
  std::vector<MenuEntry> menu_entries_;
  bool menu_built_ = false;
  CallResult last_call_;
  bool has_last_call_ = false;
};

}  // namespace hostcore
