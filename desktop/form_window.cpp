#include "desktop/form_window.h"

#include <commctrl.h>

#include <algorithm>

#include "desktop/control_style.h"
#include "desktop/wide_text.h"
#include "desktop/window_class.h"
#include "host/form_title.h"
#include "runtime/host/sui_controls.h"
#include "runtime/ui/form.h"
#include "runtime/ui/image.h"
#include "runtime/ui/input.h"
#include "runtime/ui/stdctrls.h"

namespace desktop {
namespace {

constexpr wchar_t kFormClass[] = L"LabdocsForm";
constexpr wchar_t kPanelClass[] = L"LabdocsPanel";
constexpr wchar_t kNameProperty[] = L"labdocs.name";
// The skinned frame's title bar, drawn by a static control in the frame's
// border colour.
constexpr int kTitleStripHeight = 24;

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

bool Has(const rt::TControl& control, const std::string& setting, std::string_view value) {
  const rt::PropValue* found = control.AppearanceOf(setting);
  if (!found) return false;
  if (const auto* text = std::get_if<std::string>(found)) return *text == value;
  if (const auto* list = std::get_if<std::vector<std::string>>(found))
    return std::find(list->begin(), list->end(), value) != list->end();
  return false;
}

// The colour behind a control: its own, else its nearest parent's.
std::optional<COLORREF> BackgroundOf(const rt::TControl* control) {
  for (; control; control = control->Parent())
    if (auto colour = ColourOf(*control, "Color")) return colour;
  return std::nullopt;
}

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

HICON IconFrom(const rt::TPicture& picture) {
  // An icon file: a directory of images; the first image's bytes are what
  // the system makes an icon from.
  const std::vector<std::uint8_t>& data = picture.Data();
  if (picture.Format() != rt::PictureFormat::Icon || data.size() < 22) return nullptr;
  auto u32 = [&](std::size_t at) {
    return static_cast<DWORD>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 | static_cast<DWORD>(data[at + 3]) << 24);
  };
  const DWORD size = u32(6 + 8), offset = u32(6 + 12);
  if (offset > data.size() || size > data.size() - offset) return nullptr;
  return CreateIconFromResourceEx(const_cast<PBYTE>(data.data() + offset), size, TRUE, 0x00030000, 0, 0, 0);
}

}  // namespace

FormWindow::FormWindow(rt::TForm& form, HWND owner, QueueAction queue)
    : form_(form), queue_(std::move(queue)), owner_(owner) {
  for (const wchar_t* name : {kFormClass, kPanelClass}) RegisterWindowClass(name, &FormWindow::WindowProc);
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const bool fixed = Has(form, "BorderStyle", "bsSingle") || Has(form, "BorderStyle", "bsDialog");
  if (!fixed) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
  if (Has(form, "BorderIcons", "biMinimize") || !fixed) style |= WS_MINIMIZEBOX;
  const DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT frame{0, 0, form.Width(), form.Height()};
  if (form.ClientSized()) AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  int x = form.Left(), y = form.Top();
  if (Has(form, "Position", "poScreenCenter") || Has(form, "Position", "poDesktopCenter") ||
      Has(form, "Position", "poMainFormCenter") || Has(form, "Position", "poOwnerFormCenter")) {
    x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }
  window_ = CreateWindowExW(ex_style, kFormClass, Wide(host::FormTitle(form)).c_str(), style, x, y, width, height,
                            owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  Remember(form, window_);
  const HFONT font = MakeFont(FontOf(form));
  fonts_.push_back(font);
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
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
  SetPropW(window, kNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(Wide(control.Name()).c_str()))));
}

HWND FormWindow::MakePanel(rt::TWinControl& control, HWND parent, int x, int y, int width, int height) {
  const HWND panel = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                     x, y, width, height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  Remember(control, panel);
  return panel;
}

void FormWindow::MakeTitleStrip(rt::TWinControl& frame, HWND panel) {
  const HWND strip = CreateWindowExW(0, L"STATIC", Wide(frame.Caption()).c_str(),
                                     WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0,
                                     frame.Width(), kTitleStripHeight, panel, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(strip, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  FontStyle title = FontFrom(frame, "TitleFont", FontOf(frame));
  const HFONT font = MakeFont(title);
  fonts_.push_back(font);
  SendMessageW(strip, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  title_strips_[strip] = &frame;
}

void FormWindow::MakePages(rt::TWinControl& pages, HWND parent) {
  const HWND tab = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                   pages.Left(), pages.Top(), pages.Width(), pages.Height(), parent, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  Remember(pages, tab);
  const HFONT font = MakeFont(FontOf(pages));
  fonts_.push_back(font);
  SendMessageW(tab, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  std::vector<rt::TWinControl*>& sheets = sheets_[tab];
  for (int i = 0; i < pages.ControlCount(); ++i)
    if (auto* sheet = dynamic_cast<rt::TTabSheet*>(pages.Controls(i))) sheets.push_back(sheet);
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    std::wstring caption = Wide(sheets[i]->Caption());
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  RECT page{0, 0, pages.Width(), pages.Height()};
  SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  for (rt::TWinControl* sheet : sheets) {
    const HWND panel = MakePanel(*sheet, tab, page.left, page.top, page.right - page.left, page.bottom - page.top);
    Build(*sheet, panel);
  }
}

HWND FormWindow::Make(rt::TControl& control, HWND parent) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const std::wstring text = Wide(control.Text());
  auto make = [&](DWORD ex_style, const wchar_t* window_class, DWORD style) {
    return CreateWindowExW(ex_style, window_class, text.c_str(), WS_CHILD | style, control.Left(), control.Top(),
                           control.Width(), control.Height(), parent, nullptr, instance, nullptr);
  };
  HWND window = nullptr;
  if (auto* frame = dynamic_cast<rt::TsuiForm*>(&control)) {
    window = MakePanel(*frame, parent, frame->Left(), frame->Top(), frame->Width(), frame->Height());
    const rt::PropValue* title_bar = frame->AppearanceOf("TitleBarVisible");
    if (!title_bar || !std::holds_alternative<bool>(*title_bar) || std::get<bool>(*title_bar))
      MakeTitleStrip(*frame, window);
    Build(*frame, window);
    return window;
  }
  if (auto* pages = dynamic_cast<rt::TPageControl*>(&control)) {
    MakePages(*pages, parent);
    return windows_[pages];
  }
  if (auto* memo = dynamic_cast<rt::TMemo*>(&control)) {
    window = make(WS_EX_CLIENTEDGE, L"EDIT",
                  WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | (memo->ReadOnly() ? ES_READONLY : 0));
  } else if (auto* edit = dynamic_cast<rt::TEdit*>(&control)) {
    window = make(WS_EX_CLIENTEDGE, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | (edit->ReadOnly() ? ES_READONLY : 0));
  } else if (dynamic_cast<rt::TComboBox*>(&control)) {
    // The height a layout gives is the closed box's; the list drops below.
    window = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                             control.Left(), control.Top(), control.Width(), control.Height() + 160, parent, nullptr,
                             instance, nullptr);
    combo_texts_[window];
  } else if (dynamic_cast<rt::TListView*>(&control)) {
    window = MakeList(control, parent);
  } else if (dynamic_cast<rt::TButton*>(&control)) {
    window = make(0, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY);
  } else if (dynamic_cast<rt::TLabel*>(&control)) {
    window = make(0, L"STATIC", SS_LEFT);
  } else if (dynamic_cast<rt::TBevel*>(&control)) {
    window = make(0, L"STATIC", Has(control, "Shape", "bsTopLine") ? SS_ETCHEDHORZ : SS_ETCHEDFRAME);
    // An etched line widens itself by its edges as it is made: back to the
    // layout's size.
    SetWindowPos(window, nullptr, 0, 0, control.Width(), control.Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (auto* image = dynamic_cast<rt::TImage*>(&control)) {
    window = make(0, L"STATIC", SS_ICON | SS_CENTERIMAGE);
    if (HICON icon = IconFrom(image->Picture())) {
      icons_.push_back(icon);
      SendMessageW(window, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
  } else if (auto* container = dynamic_cast<rt::TWinControl*>(&control)) {
    window = MakePanel(*container, parent, control.Left(), control.Top(), control.Width(), control.Height());
    Build(*container, window);
    return window;
  } else {
    return nullptr;  // holders of values and other controls that show nothing
  }
  Remember(control, window);
  const HFONT font = MakeFont(FontOf(control));
  fonts_.push_back(font);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  return window;
}

HWND FormWindow::MakeList(rt::TControl& control, HWND parent) {
  auto rows = std::make_unique<RowList>(parent, 0, LVS_SINGLESEL);
  const HWND window = rows->Handle();
  SetWindowPos(window, nullptr, control.Left(), control.Top(), control.Width(), control.Height(),
               SWP_NOZORDER | SWP_NOACTIVATE);
  lists_[window].rows = std::move(rows);
  return window;
}

void FormWindow::SyncList(HWND window, const rt::TControl& control) {
  const auto& list = dynamic_cast<const rt::TListView&>(control);
  ShownList& shown = lists_[window];
  if (!shown.shown || shown.rows_shown != list.RowsChanged()) {
    shown.rows->Show(list.Rows());
    shown.rows_shown = list.RowsChanged();
    shown.shown = true;
  }
  if (shown.rows->FocusedRow() != list.ItemIndex()) shown.rows->Select(list.ItemIndex());
}

void FormWindow::Build(rt::TWinControl& container, HWND parent) {
  for (rt::TControl* child : ChildrenInTabOrder(container))
    if (!dynamic_cast<rt::TTabSheet*>(child)) Make(*child, parent);
}

void FormWindow::Sync() {
  syncing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{syncing_};
  const std::wstring title = Wide(host::FormTitle(form_));
  if (WindowText(window_) != title) SetWindowTextW(window_, title.c_str());
  for (auto& [window, control] : controls_) {
    if (control == &form_) continue;
    const bool page = dynamic_cast<rt::TTabSheet*>(control) != nullptr;
    if (!page) ShowWindow(window, control->Visible() ? SW_SHOWNA : SW_HIDE);
    EnableWindow(window, control->Enabled());
    if (lists_.count(window) != 0) SyncList(window, *control);
    if (auto* combo = dynamic_cast<rt::TComboBox*>(control)) {
      const rt::TStringList& items = combo->Items();
      bool same = SendMessageW(window, CB_GETCOUNT, 0, 0) == items.Count();
      for (int i = 0; same && i < items.Count(); ++i) {
        std::wstring item(static_cast<std::size_t>(SendMessageW(window, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        item.resize(static_cast<std::size_t>(SendMessageW(window, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
        same = item == Wide(items[i]);
      }
      if (!same) {
        // New entries leave the text as it is (the reset clears it).
        const std::wstring text = WindowText(window);
        SendMessageW(window, CB_RESETCONTENT, 0, 0);
        for (int i = 0; i < items.Count(); ++i)
          SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(items[i]).c_str()));
        SetWindowTextW(window, text.c_str());
      }
    }
    const bool shows_text = dynamic_cast<rt::TEdit*>(control) || dynamic_cast<rt::TComboBox*>(control) ||
                            dynamic_cast<rt::TButton*>(control) || dynamic_cast<rt::TLabel*>(control);
    const std::wstring text = Wide(control->Text());
    if (auto combo_text = combo_texts_.find(window); combo_text != combo_texts_.end()) {
      // What is typed into a combo box and not yet handed on stays; a
      // text the model set is shown.
      if (WindowText(window) == combo_text->second && text != combo_text->second) {
        SetWindowTextW(window, text.c_str());
        combo_text->second = text;
      }
    } else if (shows_text && WindowText(window) != text) {
      SetWindowTextW(window, text.c_str());
    }
  }
  for (auto& [tab, sheets] : sheets_) {
    auto* pages = dynamic_cast<rt::TPageControl*>(controls_[tab]);
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      const bool active = pages->ActivePage() == sheets[i];
      if (active) TabCtrl_SetCurSel(tab, static_cast<int>(i));
      ShowWindow(windows_[sheets[i]], active && sheets[i]->Visible() ? SW_SHOWNA : SW_HIDE);
    }
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
  for (auto& [window, shown] : combo_texts_) {
    const std::wstring text = WindowText(window);
    if (text == shown) continue;
    shown = text;
    auto* control = dynamic_cast<rt::TWinControl*>(ControlOf(window));
    if (control && control->Text() != Gbk(text)) rt::input::TypeText(*control, Gbk(text));
  }
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
      if (lparam) Command(reinterpret_cast<HWND>(lparam), HIWORD(wparam));
      return 0;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
      if (auto shown = lists_.find(header.hwndFrom); shown != lists_.end() && !syncing_) {
        auto* list = dynamic_cast<rt::TListView*>(ControlOf(header.hwndFrom));
        const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lparam);
        // A row the person selected (by a click or the arrow keys): the
        // model's selection follows, read when the action runs.
        if (list && header.code == LVN_ITEMCHANGED && (change.uChanged & LVIF_STATE) != 0 &&
            ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) != 0) {
          RowList* rows = shown->second.rows.get();
          queue_([list, rows] {
            const int row = rows->FocusedRow();
            if (row != list->ItemIndex()) rt::input::SelectRow(*list, row);
          });
        } else if (header.code == NM_SETFOCUS) {
          queue_([this] { TakeFocusFromWindows(); });
        }
        return 0;
      }
      auto sheets = sheets_.find(header.hwndFrom);
      if (header.code == TCN_SELCHANGE && sheets != sheets_.end() && !syncing_) {
        const int index = TabCtrl_GetCurSel(header.hwndFrom);
        auto* pages = dynamic_cast<rt::TPageControl*>(controls_[header.hwndFrom]);
        if (index >= 0 && static_cast<std::size_t>(index) < sheets->second.size()) {
          auto* sheet = dynamic_cast<rt::TTabSheet*>(sheets->second[static_cast<std::size_t>(index)]);
          queue_([pages, sheet] { pages->SetActivePage(sheet); });
        }
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
      return Colour(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
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
    default:
      break;
  }
  return DefWindowProcW(window, msg, wparam, lparam);
}

void FormWindow::Command(HWND window, int code) {
  if (syncing_) return;
  rt::TControl* control = ControlOf(window);
  if (!control || control == &form_) return;
  switch (code) {
    case BN_CLICKED:
      if (dynamic_cast<rt::TButton*>(control)) queue_([control] { rt::input::Click(*control); });
      break;
    case BN_SETFOCUS:
    case EN_SETFOCUS:
    case CBN_SETFOCUS:
      queue_([this] { TakeFocusFromWindows(); });
      break;
    case EN_CHANGE:       // an edit's or a memo's (a combo box's typing: CommitTyping)
    case CBN_SELCHANGE: {  // an entry chosen from a combo box's list
      auto* typed = dynamic_cast<rt::TWinControl*>(control);
      if (!typed) break;
      // The text is read when the action runs, not now: characters typed
      // meanwhile are in it, and the model never lags behind the window.
      const bool chosen = code == CBN_SELCHANGE;
      queue_([typed, window, chosen] {
        std::wstring text = WindowText(window);
        if (chosen) {
          const LRESULT index = SendMessageW(window, CB_GETCURSEL, 0, 0);
          if (index == CB_ERR) return;
          text.assign(static_cast<std::size_t>(SendMessageW(window, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
          text.resize(static_cast<std::size_t>(
              SendMessageW(window, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
        }
        const std::string gbk = Gbk(text);
        if (typed->Text() != gbk) rt::input::TypeText(*typed, gbk);
      });
      break;
    }
    default:
      break;
  }
}

LRESULT FormWindow::Colour(HWND window, HDC dc) {
  if (auto strip = title_strips_.find(window); strip != title_strips_.end()) {
    const COLORREF back = ColourOf(*strip->second, "BorderColor").value_or(GetSysColor(COLOR_ACTIVECAPTION));
    SetTextColor(dc, ColourOf(*strip->second, "TitleFont.Color").value_or(GetSysColor(COLOR_CAPTIONTEXT)));
    SetBkColor(dc, back);
    return reinterpret_cast<LRESULT>(Brush(back));
  }
  rt::TControl* control = ControlOf(window);
  if (!control) return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  const bool field = dynamic_cast<rt::TEdit*>(control) || dynamic_cast<rt::TComboBox*>(control);
  const COLORREF back = field ? ColourOf(*control, "Color").value_or(GetSysColor(COLOR_WINDOW))
                              : BackgroundOf(control).value_or(GetSysColor(COLOR_BTNFACE));
  if (auto text = ColourOf(*control, "Font.Color")) SetTextColor(dc, *text);
  SetBkColor(dc, back);
  return reinterpret_cast<LRESULT>(Brush(back));
}

HBRUSH FormWindow::Brush(COLORREF colour) {
  HBRUSH& brush = brushes_[colour];
  if (!brush) brush = CreateSolidBrush(colour);
  return brush;
}

}  // namespace desktop
