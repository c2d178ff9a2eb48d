// The desktop host's main window: the view tree (a tree-view control) on
// the left, the open node's rows (desktop/row_list.h) on the right, a
// status bar with the node, the row count and the database with how it is
// reached (encrypted, the server verified: rt::StatusLine). Right-click,
// the menu key or Shift+F10 opens the context menu that the plug-in fills
// through the host's browser; double-click or Enter runs its default item
// (on a category or folder it opens the row's node instead); after a
// command the list, or the tree and the list, are read again as its
// MenuStatus says; F5 reads both again; Tab moves between the tree and the
// list. A failing call shows the plug-in's reason in a message box.
#pragma once

#include <memory>
#include <string>

#include "desktop/row_list.h"
#include "hostcore/browser.h"
#include "runtime/platform/platform.h"

namespace desktop {

class MainWindow {
 public:
  explicit MainWindow(hostcore::Browser& browser);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_; }
  // Keys the main window takes before the focused control does (F5, Tab,
  // Enter on the list, the menu key, Shift+F10); true when the message was
  // used.
  bool PreTranslate(const MSG& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT Notify(const NMHDR& header);

  void Layout();
  void FillTree();
  void SelectTreeNode(const hostcore::TreeNode* node);
  void OpenNode(const hostcore::TreeNode* node);
  void ShowRows();
  void ShowStatus();
  void ContextMenu(HWND from, LPARAM position);
  void RunDefault();
  void RunCommand(const std::string& name);
  void Refresh(bool tree);
  // Reports a failing call in a message box; true when it failed.
  bool Failed(const char* function, const hostcore::CallResult& call);
  void Report(const std::wstring& text);

  hostcore::Browser& browser_;
  HWND window_ = nullptr;
  HWND tree_ = nullptr;
  HWND status_ = nullptr;
  std::unique_ptr<RowList> list_;
  bool filling_tree_ = false;
  bool busy_ = false;  // a command runs
};

}  // namespace desktop
