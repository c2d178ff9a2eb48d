#include "desktop/main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <vector>

#include "desktop/popup_menu.h"
#include "desktop/wide_text.h"
#include "desktop/window_class.h"
#include "hostcore/view_tree.h"
#include "runtime/data/session.h"

namespace desktop {
namespace {

constexpr wchar_t kClassName[] = L"LabdocsDesktop";
constexpr int kTreeId = 1, kListId = 2, kStatusId = 3;
constexpr int kTreeWidth = 260;

std::wstring Title(const hostcore::TreeNode* node) {
  return node ? L"labdocs - " + Wide(hostcore::PathOf(*node)) : std::wstring(L"labdocs");
}

}  // namespace

MainWindow::MainWindow(hostcore::Browser& browser) : browser_(browser) {
  // The procedure is replaced as the window is made.
  RegisterWindowClass(kClassName, DefWindowProcW, LoadIconW(nullptr, MAKEINTRESOURCEW(32512)));
  window_ = CreateWindowExW(0, kClassName, L"labdocs", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                            CW_USEDEFAULT, 900, 560, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::WindowProc));
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  tree_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                              TVS_SHOWSELALWAYS,
                          0, 0, 0, 0, window_, reinterpret_cast<HMENU>(kTreeId), instance, nullptr);
  list_ = std::make_unique<RowList>(window_, kListId);
  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | SBARS_TOOLTIPS, 0, 0, 0,
                            0, window_, reinterpret_cast<HMENU>(kStatusId), instance, nullptr);
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (HWND control : {tree_, list_->Handle(), status_})
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  FillTree();
  Layout();
  ShowStatus();
  ShowWindow(window_, SW_SHOWNORMAL);
  SetFocus(tree_);
}

MainWindow::~MainWindow() {
  if (IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, msg, wparam, lparam);
  // No error of the browser may cross the window system's call: each one
  // is shown where it happened.
  try {
    return self->Handle(msg, wparam, lparam);
  } catch (const std::exception& error) {
    self->Report(Wide(error.what()));
    return 0;
  }
}

LRESULT MainWindow::Handle(UINT msg, WPARAM wparam, LPARAM lparam) {
  static const UINT ping = RegisterWindowMessageW(L"labdocs.ping");
  if (msg == ping) {
    // A program that drives the host posts this after its keys and clicks:
    // the answer, a window property, tells it that the host has handled
    // everything posted before.
    SetPropW(window_, L"labdocs.ping", reinterpret_cast<HANDLE>(wparam));
    return 0;
  }
  switch (msg) {
    case WM_SIZE: Layout(); return 0;
    case WM_NOTIFY: return Notify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_CONTEXTMENU: ContextMenu(reinterpret_cast<HWND>(wparam), lparam); return 0;
    case WM_SETFOCUS: SetFocus(tree_); return 0;
    case WM_CLOSE:
      // Not while a command runs: its forms and dialogs stand on this
      // window (which a person cannot reach then: it is disabled).
      if (!busy_) DestroyWindow(window_);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window_, msg, wparam, lparam);
  }
}

bool MainWindow::PreTranslate(const MSG& message) {
  if (message.hwnd != tree_ && message.hwnd != list_->Handle() && message.hwnd != window_) return false;
  // The system's own menu for the menu key comes as it is released: the
  // key's menu is this window's, opened as it is pressed.
  if ((message.message == WM_KEYUP || message.message == WM_SYSKEYUP) && message.wParam == VK_APPS) return true;
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  auto guarded = [this](auto action) {
    try {
      action();
    } catch (const std::exception& error) {
      Report(Wide(error.what()));
    }
    return true;
  };
  if (message.wParam == VK_F5 && message.message == WM_KEYDOWN) return guarded([this] { Refresh(true); });
  if (message.wParam == VK_RETURN && message.message == WM_KEYDOWN && message.hwnd == list_->Handle())
    return guarded([this] { RunDefault(); });
  if (message.wParam == VK_TAB && message.message == WM_KEYDOWN) {
    // Tab moves between the tree and the list.
    SetFocus(message.hwnd == tree_ ? list_->Handle() : tree_);
    return true;
  }
  if (message.wParam == VK_APPS || (message.wParam == VK_F10 && shift)) {
    const HWND from = message.hwnd == window_ ? list_->Handle() : message.hwnd;
    SendMessageW(window_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(from), -1);
    return true;
  }
  return false;
}

LRESULT MainWindow::Notify(const NMHDR& header) {
  if (header.hwndFrom == tree_ && header.code == TVN_SELCHANGEDW && !filling_tree_) {
    const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
    OpenNode(reinterpret_cast<const hostcore::TreeNode*>(change.itemNew.lParam));
  } else if (header.hwndFrom == list_->Handle()) {
    switch (header.code) {
      case LVN_COLUMNCLICK: list_->SortBy(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem); break;
      case LVN_ITEMCHANGED: ShowStatus(); break;
      case NM_DBLCLK: RunDefault(); break;
      default: break;
    }
  }
  return 0;
}

void MainWindow::Layout() {
  RECT client;
  GetClientRect(window_, &client);
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT status;
  GetWindowRect(status_, &status);
  const int status_height = status.bottom - status.top;
  const int height = client.bottom - status_height;
  // The node's path, the row count, how the database is reached, and the
  // database with it (rt::StatusLine; cut when long, whole in its tooltip).
  const int path_end = client.right * 2 / 5;
  const int parts[] = {path_end, path_end + 110, path_end + 110 + 150, -1};
  SendMessageW(status_, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(parts));
  MoveWindow(tree_, 0, 0, kTreeWidth, height, TRUE);
  MoveWindow(list_->Handle(), kTreeWidth + 4, 0, client.right - kTreeWidth - 4, height, TRUE);
}

void MainWindow::FillTree() {
  filling_tree_ = true;
  TreeView_DeleteAllItems(tree_);
  HTREEITEM open_item = nullptr;
  auto add = [&](auto& self, const hostcore::TreeNode& node, HTREEITEM parent) -> void {
    std::wstring text = Wide(node.name);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = text.data();
    insert.item.lParam = reinterpret_cast<LPARAM>(&node);
    const auto item =
        reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (&node == browser_.Node()) open_item = item;
    for (const auto& child : node.children) self(self, *child, item);
    if (node.kind != hostcore::NodeKind::Directory) TreeView_Expand(tree_, item, TVE_EXPAND);
  };
  for (const auto& root : browser_.Tree().Roots()) add(add, *root, TVI_ROOT);
  if (open_item) TreeView_SelectItem(tree_, open_item);
  filling_tree_ = false;
}

void MainWindow::SelectTreeNode(const hostcore::TreeNode* node) {
  // Found by walking the items: the tree holds a few hundred at most.
  auto find = [&](auto& self, HTREEITEM item) -> HTREEITEM {
    for (; item; item = TreeView_GetNextSibling(tree_, item)) {
      TVITEMW data{};
      data.mask = TVIF_PARAM;
      data.hItem = item;
      SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
      if (reinterpret_cast<const hostcore::TreeNode*>(data.lParam) == node) return item;
      if (HTREEITEM found = self(self, TreeView_GetChild(tree_, item))) return found;
    }
    return nullptr;
  };
  if (HTREEITEM item = find(find, TreeView_GetRoot(tree_))) TreeView_SelectItem(tree_, item);
}

void MainWindow::OpenNode(const hostcore::TreeNode* node) {
  if (!node) return;
  const hostcore::CallResult call = browser_.Open(*node);
  ShowRows();
  Failed("InitViewData", call);
}

void MainWindow::ShowRows() {
  list_->Show(browser_.Rows());
  SetWindowTextW(window_, Title(browser_.Node()).c_str());
  ShowStatus();
}

void MainWindow::ShowStatus() {
  const hostcore::TreeNode* node = browser_.Node();
  const std::wstring path = node ? Wide(hostcore::PathOf(*node)) : std::wstring();
  std::size_t selected = 0;
  for (bool s : list_->Selection()) selected += s ? 1 : 0;
  std::wstring count = std::to_wstring(browser_.Rows().rows.size()) + L" 行";
  if (selected) count += L"，选中 " + std::to_wstring(selected);
  SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(path.c_str()));
  SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(count.c_str()));
  // The session the browser reads: whether it is encrypted and its server
  // verified stays as the connection was made (a lost connection is made
  // again with the same setting).
  const rt::DataSession& session = rt::CurrentDataSession();
  const std::wstring reach = Wide(rt::ReachText(session.Reached()));
  const std::wstring database = Wide(rt::StatusLine(session));
  SendMessageW(status_, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(reach.c_str()));
  SendMessageW(status_, SB_SETTEXTW, 3, reinterpret_cast<LPARAM>(database.c_str()));
  SendMessageW(status_, SB_SETTIPTEXTW, 3, reinterpret_cast<LPARAM>(database.c_str()));
}

void MainWindow::ContextMenu(HWND from, LPARAM position) {
  if (!browser_.Node() || browser_.Node()->kind == hostcore::NodeKind::Folder) return;
  POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  if (from == tree_) {
    // The menu of the node under the pointer (or the selected one), with
    // no row selected.
    if (position != -1) {
      TVHITTESTINFO hit{};
      hit.pt = at;
      ScreenToClient(tree_, &hit.pt);
      if (HTREEITEM item = TreeView_HitTest(tree_, &hit)) TreeView_SelectItem(tree_, item);
    }
    browser_.Select(std::vector<bool>(browser_.Rows().rows.size(), false));
    ListView_SetItemState(list_->Handle(), -1, 0, LVIS_SELECTED);
  } else {
    browser_.Select(list_->Selection());
  }
  if (position == -1) {
    RECT place{};
    GetWindowRect(from, &place);
    at = {place.left + 16, place.top + 16};
    const int item = ListView_GetNextItem(list_->Handle(), -1, LVNI_FOCUSED | LVNI_SELECTED);
    if (from == list_->Handle() && item >= 0 && ListView_GetItemRect(list_->Handle(), item, &place, LVIR_LABEL)) {
      at = {place.left + 8, place.bottom};
      ClientToScreen(list_->Handle(), &at);
    }
  }
  const hostcore::CallResult call = browser_.BuildMenu();
  if (Failed("InitRightMenu", call) || !browser_.MenuOpen()) return;
  const std::vector<hostcore::MenuEntry> entries = browser_.MenuEntries();
  const int chosen = TrackContextMenu(window_, entries, at);
  browser_.CloseMenu();
  if (chosen >= 0) RunCommand(entries[static_cast<std::size_t>(chosen)].name);
}

void MainWindow::RunDefault() {
  const hostcore::TreeNode* node = browser_.Node();
  if (!node) return;
  if (node->kind != hostcore::NodeKind::Directory) {
    // A category lists its directories and a folder its nodes: the row's
    // node is opened.
    const int row = list_->FocusedRow();
    if (row < 0 || browser_.Rows().fields.empty()) return;
    const std::string id = rt::ValueToText(browser_.Rows().rows[static_cast<std::size_t>(row)][0]);
    for (const auto& child : node->children)
      if (std::to_string(child->id) == id) SelectTreeNode(child.get());
    return;
  }
  browser_.Select(list_->Selection());
  if (browser_.SelectedRows().empty()) return;
  const hostcore::CallResult call = browser_.BuildMenu();
  if (Failed("InitRightMenu", call) || !browser_.MenuOpen()) return;
  std::string name;
  for (const hostcore::MenuEntry& entry : browser_.MenuEntries())
    if (entry.is_default && entry.enabled && !entry.submenu) name = entry.name;
  browser_.CloseMenu();
  if (!name.empty()) RunCommand(name);
}

void MainWindow::RunCommand(const std::string& name) {
  busy_ = true;
  hostcore::CallResult call;
  try {
    call = browser_.RunCommand(name);
  } catch (...) {
    busy_ = false;
    throw;
  }
  busy_ = false;
  if (Failed("ExecuteMenu", call)) return;
  switch (hostcore::RefreshFor(call)) {
    case hostcore::Refresh::Nothing: break;
    case hostcore::Refresh::Rows: Refresh(false); break;
    case hostcore::Refresh::TreeAndRows: Refresh(true); break;
  }
  SetFocus(list_->Handle());
}

void MainWindow::Refresh(bool tree) {
  if (tree) {
    browser_.ReloadTree();
    FillTree();
  }
  hostcore::CallResult call;
  if (browser_.Node()) call = browser_.ReadRows();
  ShowRows();
  if (browser_.Node()) Failed("InitViewData", call);
}

bool MainWindow::Failed(const char* function, const hostcore::CallResult& call) {
  if (call.Ok()) return false;
  std::wstring text = Wide(function) + L" 失败 (" + Wide(hostcore::StatusText(call.status)) + L")";
  if (!call.error.empty()) text += L"\n\n" + Wide(call.error);
  Report(text);
  return true;
}

void MainWindow::Report(const std::wstring& text) {
  MessageBoxW(window_, text.c_str(), L"labdocs", MB_OK | MB_ICONERROR);
}

}  // namespace desktop
