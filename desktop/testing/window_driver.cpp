#include "desktop/testing/window_driver.h"

#include <commctrl.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace desktop::testing {
namespace {

constexpr auto kTimeout = std::chrono::seconds(30);
constexpr UINT kSendTimeoutMs = 10000;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

template <class F>
auto WaitFor(F found, const std::string& what) {
  const auto until = std::chrono::steady_clock::now() + kTimeout;
  while (true) {
    if (auto result = found()) return result;
    if (std::chrono::steady_clock::now() > until) throw std::runtime_error("timed out waiting for " + what);
    ::Sleep(50);
  }
}

LRESULT Send(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, msg, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

// Memory in the host's process, for the messages of common controls that
// carry pointers.
class Remote {
 public:
  Remote(DWORD process_id, std::size_t size) : size_(size) {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
    if (!process_) throw std::runtime_error("the host's process cannot be opened");
    address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~Remote() {
    VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    CloseHandle(process_);
  }
  Remote(const Remote&) = delete;
  Remote& operator=(const Remote&) = delete;
  LPARAM At(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(static_cast<char*>(address_) + offset); }
  void Write(const void* data, std::size_t size, std::size_t offset = 0) {
    WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
  }
  void Read(void* data, std::size_t size, std::size_t offset = 0) const {
    ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
  }
  std::wstring ReadText(std::size_t offset) const {
    std::wstring text((size_ - offset) / sizeof(wchar_t), L'\0');
    Read(text.data(), text.size() * sizeof(wchar_t), offset);
    return text.c_str();
  }

 private:
  HANDLE process_;
  void* address_;
  std::size_t size_;
};

constexpr std::size_t kTextOffset = 256, kRemoteSize = 4096;

struct OwnWindowSearch {
  DWORD process;
  const wchar_t* window_class;
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK FindOwn(HWND window, LPARAM data) {
  auto& s = *reinterpret_cast<OwnWindowSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (process != s.process || !IsWindowVisible(window) || std::wstring(name) != s.window_class) return TRUE;
  if (s.title) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    if (*s.title != text) return TRUE;
  }
  s.found = window;
  return FALSE;
}

struct NamedControlSearch {
  const std::wstring& name;
  HWND found;
};

// A control of a form by the name the host gives its window (an atom).
BOOL CALLBACK FindNamed(HWND window, LPARAM data) {
  auto& s = *reinterpret_cast<NamedControlSearch*>(data);
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(window, L"labdocs.name")));
  wchar_t text[256] = {};
  // Atoms keep the letter case of their first use, and component names
  // compare without regard to it.
  if (atom && GlobalGetAtomNameW(atom, text, 256) && _wcsicmp(s.name.c_str(), text) == 0) {
    s.found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

DesktopProcess::DesktopProcess(const std::wstring& program, const std::wstring& home, const std::wstring& options) {
  std::wstring command = L"\"" + program + L"\" --home \"" + home + L"\"";
  if (!options.empty()) command += L" " + options;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process_))
    throw std::runtime_error("the desktop host cannot be started: " + Narrow(program));
  main_ = WaitFor([&] { return FindOwnWindow(L"LabdocsDesktop", nullptr); }, "the main window");
  Settle();
}

DesktopProcess::~DesktopProcess() {
  if (!process_.hProcess) return;
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    Close();
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

DWORD DesktopProcess::Close() {
  PostMessageW(main_, WM_CLOSE, 0, 0);
  WaitForSingleObject(process_.hProcess, 15000);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

HWND DesktopProcess::FindOwnWindow(const wchar_t* window_class, const std::wstring* title) const {
  OwnWindowSearch search{process_.dwProcessId, window_class, title, nullptr};
  EnumWindows(&FindOwn, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND DesktopProcess::Tree() const { return FindWindowExW(main_, nullptr, WC_TREEVIEWW, nullptr); }
HWND DesktopProcess::List() const { return FindWindowExW(main_, nullptr, WC_LISTVIEWW, nullptr); }

void DesktopProcess::Settle() const {
  // The host answers a posted ping once it has handled everything posted
  // before it (desktop/main_window.cpp). A nested loop that does not hand
  // on other windows' messages (a popup menu's) leaves it unanswered for a
  // while: the wait then ends without an error.
  static const UINT ping = RegisterWindowMessageW(L"labdocs.ping");
  static WPARAM count = 0;
  const WPARAM mine = ++count;
  PostMessageW(main_, ping, mine, 0);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (reinterpret_cast<WPARAM>(GetPropW(main_, L"labdocs.ping")) != mine && std::chrono::steady_clock::now() < until)
    ::Sleep(10);
  Send(main_, WM_NULL, 0, 0);
}

void DesktopProcess::OpenNode(const std::vector<std::wstring>& path) {
  const HWND tree = Tree();
  Remote remote(Id(), kRemoteSize);
  auto text_of = [&](LPARAM item) {
    TVITEMW data{};
    data.mask = TVIF_TEXT;
    data.hItem = reinterpret_cast<HTREEITEM>(item);
    data.pszText = reinterpret_cast<wchar_t*>(remote.At(kTextOffset));
    data.cchTextMax = 256;
    remote.Write(&data, sizeof data);
    Send(tree, TVM_GETITEMW, 0, remote.At());
    return remote.ReadText(kTextOffset);
  };
  LPARAM item = Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  for (std::size_t depth = 0; depth < path.size(); ++depth) {
    while (item && text_of(item) != path[depth]) item = Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, item);
    if (!item) throw std::runtime_error("no tree node " + Narrow(path[depth]));
    if (depth + 1 < path.size()) item = Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, item);
  }
  PostMessageW(tree, TVM_SELECTITEM, TVGN_CARET, item);
  Settle();
}

int DesktopProcess::RowCount() const { return static_cast<int>(Send(List(), LVM_GETITEMCOUNT, 0, 0)); }

std::wstring DesktopProcess::Cell(int row, int column) const {
  Remote remote(Id(), kRemoteSize);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<wchar_t*>(remote.At(kTextOffset));
  item.cchTextMax = 1000;
  remote.Write(&item, sizeof item);
  Send(List(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), remote.At());
  return remote.ReadText(kTextOffset);
}

int DesktopProcess::FindRow(int column, const std::wstring& text) const {
  for (int row = 0, rows = RowCount(); row < rows; ++row)
    if (Cell(row, column) == text) return row;
  return -1;
}

void DesktopProcess::SelectRows(const std::vector<int>& rows) {
  Remote remote(Id(), kRemoteSize);
  auto set = [&](int row, UINT state) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = state;
    remote.Write(&item, sizeof item);
    Send(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), remote.At());
  };
  set(-1, 0);
  for (int row : rows) set(row, LVIS_SELECTED | LVIS_FOCUSED);
  Settle();
}

std::wstring DesktopProcess::ColumnTitle(int column) const {
  Remote remote(Id(), kRemoteSize);
  LVCOLUMNW data{};
  data.mask = LVCF_TEXT;
  data.pszText = reinterpret_cast<wchar_t*>(remote.At(kTextOffset));
  data.cchTextMax = 256;
  remote.Write(&data, sizeof data);
  Send(List(), LVM_GETCOLUMNW, static_cast<WPARAM>(column), remote.At());
  return remote.ReadText(kTextOffset);
}

void DesktopProcess::ClickHeader(int column) {
  const HWND header = reinterpret_cast<HWND>(Send(List(), LVM_GETHEADER, 0, 0));
  Remote remote(Id(), kRemoteSize);
  Send(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), remote.At());
  RECT place{};
  remote.Read(&place, sizeof place);
  const LPARAM at = MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
  PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(header, WM_LBUTTONUP, 0, at);
  Settle();
}

void DesktopProcess::MenuKey() { PostMessageW(List(), WM_KEYDOWN, VK_APPS, 0); }

namespace {

// A point on a row of a list-view, in its client coordinates.
LPARAM PointOnRow(DWORD process, HWND list, int row) {
  Remote remote(process, kRemoteSize);
  RECT place{};
  place.left = LVIR_LABEL;
  remote.Write(&place, sizeof place);
  Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), remote.At());
  remote.Read(&place, sizeof place);
  return MAKELPARAM(place.left + 4, (place.top + place.bottom) / 2);
}

}  // namespace

void DesktopProcess::RightClickRow(int row) {
  const LPARAM at = PointOnRow(Id(), List(), row);
  PostMessageW(List(), WM_RBUTTONDOWN, MK_RBUTTON, at);
  PostMessageW(List(), WM_RBUTTONUP, 0, at);
}

void DesktopProcess::DoubleClickRow(int row) {
  const LPARAM at = PointOnRow(Id(), List(), row);
  PostMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(List(), WM_LBUTTONUP, 0, at);
  PostMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(List(), WM_LBUTTONUP, 0, at);
  Settle();
}

void DesktopProcess::PickMenuItem(int index) {
  const HWND menu = WaitFor([&] { return FindOwnWindow(L"#32768", nullptr); }, "the popup menu");
  for (int i = 0; i <= index; ++i) PressKey(menu, VK_DOWN);
  PressKey(menu, VK_RETURN);
  WaitFor([&] { return FindOwnWindow(L"#32768", nullptr) == nullptr; }, "the popup menu to close");
}

void DesktopProcess::PressKey(HWND window, UINT key) {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
  ::Sleep(60);
}

HWND DesktopProcess::Focused() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info);
  return info.hwndFocus ? info.hwndFocus : info.hwndActive;
}

void DesktopProcess::Key(UINT key, int times) {
  for (int i = 0; i < times; ++i) {
    Settle();
    PressKey(Focused(), key);
  }
  Settle();
}

void DesktopProcess::TypeKeys(const std::wstring& text) {
  Settle();
  const HWND focus = Focused();
  for (wchar_t c : text) PostMessageW(focus, WM_CHAR, c, 1);
  Settle();
}

HWND DesktopProcess::WaitForm(const std::wstring& title) const {
  const HWND form = WaitFor([&] { return FindOwnWindow(L"LabdocsForm", title.empty() ? nullptr : &title); },
                            "the form " + Narrow(title));
  // The form's own showing handlers run after its window appears.
  Settle();
  return form;
}

void DesktopProcess::WaitNoForm() const {
  WaitFor([&] { return FindOwnWindow(L"LabdocsForm", nullptr) == nullptr; }, "the forms to close");
  Settle();
}

void DesktopProcess::WaitClosed(HWND window) const {
  WaitFor([&] { return !IsWindow(window); }, "a window to close");
  Settle();
}

HWND DesktopProcess::WaitDialog() const {
  return WaitFor([&] { return FindOwnWindow(L"#32770", nullptr); }, "a dialog");
}

HWND DesktopProcess::FindControl(HWND form, const std::wstring& name) const {
  NamedControlSearch search{name, nullptr};
  EnumChildWindows(form, &FindNamed, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND DesktopProcess::Control(HWND form, const std::wstring& name) const {
  const HWND found = FindControl(form, name);
  if (!found) throw std::runtime_error("no control " + Narrow(name));
  return found;
}

std::wstring DesktopProcess::Text(HWND window) const {
  std::wstring text(4096, L'\0');
  const LRESULT size = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(size));
  return text;
}

std::wstring DesktopProcess::DialogText(HWND dialog) const {
  std::vector<HWND> statics;
  for (HWND child = FindWindowExW(dialog, nullptr, L"Static", nullptr); child;
       child = FindWindowExW(dialog, child, L"Static", nullptr))
    statics.push_back(child);
  std::wstring text;
  for (HWND child : statics) {
    const std::wstring part = Text(child);
    if (!part.empty()) text += (text.empty() ? L"" : L"\n") + part;
  }
  return text;
}

void DesktopProcess::PressButton(HWND dialog, int id) {
  const HWND button = GetDlgItem(dialog, id);
  if (!button) throw std::runtime_error("the dialog has no button " + std::to_string(id));
  Click(button);
}

void DesktopProcess::Click(HWND button) {
  PostMessageW(button, BM_CLICK, 0, 0);
  ::Sleep(100);
}

void DesktopProcess::Type(HWND control, const std::wstring& text) {
  // A combo box gets the text in its edit at once, as pasted: typed
  // character by character, its list would complete each one to an entry.
  if (HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr)) {
    Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Settle();
    return;
  }
  // All of the text is selected and the characters typed over it; a line
  // break is the Enter key's character.
  Send(control, EM_SETSEL, 0, -1);
  if (text.empty()) PostMessageW(control, WM_CHAR, VK_BACK, 1);
  for (wchar_t c : text)
    if (c != L'\n') PostMessageW(control, WM_CHAR, c, 1);
  Settle();
}

void DesktopProcess::ChooseFile(HWND dialog, const std::wstring& path) {
  // The file name box: a combo box in the explorer-style dialog, an edit
  // in the old one.
  HWND name = GetDlgItem(dialog, 0x47c);
  if (!name) name = GetDlgItem(dialog, 0x480);
  if (!name) throw std::runtime_error("the file dialog has no file name box");
  Send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PressButton(dialog, IDOK);
  WaitClosed(dialog);
}

}  // namespace desktop::testing
