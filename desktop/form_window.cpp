#include "desktop/form_window.h"

#include <algorithm>

#include "desktop/control_kind.h"
#include "desktop/wide_text.h"
#include "desktop/window_class.h"
#include "hostcore/form_title.h"
#include "runtime/ui/form.h"
#include "runtime/ui/input.h"

namespace desktop {
namespace {

constexpr wchar_t kFormClass[] = L"LabdocsForm";
constexpr wchar_t kPanelClass[] = L"LabdocsPanel";
constexpr wchar_t kNameProperty[] = L"labdocs.name";

// The windowed children in tab order, then the others in their order.
std::vector<rt::TControl*> ChildrenInTabOrder(const rt::TWinControl& container) {
  std::vector<rt::TControl*> children;
  for (int i = 0; i < container.ControlCount(); ++i) children.push_back(container.Controls(i));
  std::stable_sort(children.begin(), children.end(), [](rt::TControl* a, rt::TControl* b) {
    auto* wa = dynamic_cast<rt::TWinControl*>(a);
    auto* wb = dynamic_cast<rt::TWinControl*>(b);
    if (!wa || !wb) return wa && !wb;
    return wa->TabOrder() < wb->TabOrder();
  });
  return children;
}

}  // namespace

FormWindow::FormWindow(rt::TForm& form, HWND owner, QueueAction queue)
    : form_(form), queue_(std::move(queue)), owner_(owner) {
  for (const wchar_t* name : {kFormClass, kPanelClass}) RegisterWindowClass(name, &FormWindow::WindowProc);
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const bool fixed = AppearanceHas(form, "BorderStyle", "bsSingle") || AppearanceHas(form, "BorderStyle", "bsDialog");
  if (!fixed) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
  if (AppearanceHas(form, "BorderIcons", "biMinimize") || !fixed) style |= WS_MINIMIZEBOX;
  const DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT frame{0, 0, form.Width(), form.Height()};
  if (form.ClientSized()) AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  int x = form.Left(), y = form.Top();
  if (AppearanceHas(form, "Position", "poScreenCenter") || AppearanceHas(form, "Position", "poDesktopCenter") ||
      AppearanceHas(form, "Position", "poMainFormCenter") || AppearanceHas(form, "Position", "poOwnerFormCenter")) {
    x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }
  window_ = CreateWindowExW(ex_style, kFormClass, Wide(hostcore::FormTitle(form)).c_str(), style, x, y, width, height,
                            owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  Adopt(form, window_);
  Build(form, window_);
  Sync();
  if (owner_) EnableWindow(owner_, FALSE);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  Sync();
}

FormWindow::~FormWindow() {
  // The owner comes back before this window goes, so that the system
  // activates it rather than another program's window.
  if (owner_) EnableWindow(owner_, TRUE);
  for (auto& [window, control] : controls_)
    GlobalDeleteAtom(static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(window, kNameProperty))));
  DestroyWindow(window_);
  if (owner_) SetActiveWindow(owner_);
  for (HFONT font : fonts_) DeleteObject(font);
  for (auto& [colour, brush] : brushes_) DeleteObject(brush);
  for (HICON icon : icons_) DestroyIcon(icon);
}

void FormWindow::Remember(rt::TControl& control, HWND window) {
  controls_[window] = &control;
  windows_[&control] = window;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // Global atoms are how a name reaches another process: the tests find
  // the controls by their names.
  SetPropW(window, kNameProperty,
           reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(Wide(control.Name()).c_str()))));
}

void FormWindow::Adopt(rt::TControl& control, HWND window) {
  Remember(control, window);
  SetFont(window, FontOf(control));
}

void FormWindow::SetFont(HWND window, const FontStyle& font) {
  const HFONT made = MakeFont(font);
  fonts_.push_back(made);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(made), 0);
}

HWND FormWindow::MakeChild(rt::TControl& control, HWND parent, DWORD ex_style, const wchar_t* window_class,
                           DWORD style) {
  const HWND window = CreateWindowExW(ex_style, window_class, Wide(control.Text()).c_str(), WS_CHILD | style,
                                      control.Left(), control.Top(), control.Width(), control.Height(), parent, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  Adopt(control, window);
  return window;
}

HWND FormWindow::MakePanel(rt::TWinControl& control, HWND parent, int x, int y, int width, int height) {
  const HWND panel = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"",
                                     WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, x, y, width, height, parent, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
  Remember(control, panel);
  return panel;
}

void FormWindow::Build(rt::TWinControl& container, HWND parent) {
  for (rt::TControl* child : ChildrenInTabOrder(container))
    if (MakeFn make = KindOf(*child).make) make(*this, *child, parent);
}

void FormWindow::Sync() {
  syncing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{syncing_};
  const std::wstring title = Wide(hostcore::FormTitle(form_));
  if (WindowText(window_) != title) SetWindowTextW(window_, title.c_str());
  for (auto& [window, control] : controls_) {
    if (control == &form_) continue;
    if (SyncFn sync = KindOf(*control).sync) sync(*this, window, *control);
    else ShowState(window, *control);
  }
  const HWND focus = GetFocus();
  if (rt::TWinControl* active = form_.ActiveControl()) {
    auto found = windows_.find(active);
    if (found != windows_.end() && focus != found->second && !IsChild(found->second, focus)) SetFocus(found->second);
  } else if (focus != window_ && !IsChild(window_, focus)) {
    SetFocus(window_);
  }
}

rt::TControl* FormWindow::ControlOf(HWND window) const {
  for (; window && window != window_; window = GetParent(window))
    if (auto found = controls_.find(window); found != controls_.end()) return found->second;
  return nullptr;
}

void FormWindow::CommitTyping() {
  for (auto& [window, control] : controls_)
    if (CommitFn commit = KindOf(*control).commit) commit(*this, window, *control);
}

void FormWindow::TakeFocusFromWindows() {
  auto* control = dynamic_cast<rt::TWinControl*>(ControlOf(GetFocus()));
  if (control && control != form_.ActiveControl() && control->CanFocus() && control->TabStop())
    rt::input::Focus(*control);
}

LRESULT CALLBACK FormWindow::WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return self ? self->Handle(window, msg, wparam, lparam) : DefWindowProcW(window, msg, wparam, lparam);
}

LRESULT FormWindow::Handle(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_COMMAND:
      if (lparam) {
        const auto from = reinterpret_cast<HWND>(lparam);
        Notify(from, ControlOf(from), HIWORD(wparam), nullptr);
      }
      return 0;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
      if (auto found = controls_.find(header.hwndFrom); found != controls_.end())
        Notify(header.hwndFrom, found->second, header.code, &header);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: {
      const auto from = reinterpret_cast<HWND>(lparam);
      const rt::TControl* control = ControlOf(from);
      if (!control) return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      const ColourFn colour = KindOf(*control).colour;
      return reinterpret_cast<LRESULT>(
          (colour ? colour : ParentColours)(*this, from, *control, reinterpret_cast<HDC>(wparam)));
    }
    case WM_ERASEBKGND:
      if (auto colour = BackgroundOf(ControlOf(window))) {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wparam), &area, Brush(*colour));
        return 1;
      }
      break;
    case WM_CLOSE:
      if (window == window_) queue_([this] { rt::input::CloseForm(form_); });
      return 0;
    default: break;
  }
  return DefWindowProcW(window, msg, wparam, lparam);
}

void FormWindow::Notify(HWND window, rt::TControl* control, UINT code, const NMHDR* notification) {
  if (syncing_ || !control || control == &form_) return;
  if (CommandFn command = KindOf(*control).command) command(*this, window, *control, code, notification);
}

HBRUSH FormWindow::Brush(COLORREF colour) {
  HBRUSH& brush = brushes_[colour];
  if (!brush) brush = CreateSolidBrush(colour);
  return brush;
}

}  // namespace desktop
