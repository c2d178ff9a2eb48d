// Combo boxes: a drop-down list of the model's items with a field to type
// into. What is typed reaches the model before the person's next action
// (CommitTyping), as the model may take whole entries only; an entry chosen
// from the list at once.
#include "desktop/control_kind.h"

#include <string>

#include "desktop/form_window.h"
#include "desktop/wide_text.h"
#include "runtime/ui/input.h"
#include "runtime/ui/stdctrls.h"

namespace desktop::kinds {
namespace {

// The text as last shown or handed on.
struct ComboState : KindState {
  std::wstring text;
};

std::wstring Entry(HWND window, LRESULT index) {
  std::wstring text(static_cast<std::size_t>(SendMessageW(window, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(SendMessageW(window, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

void Make(FormWindow& form, rt::TControl& control, HWND parent) {
  // The height a layout gives is the closed box's; the list drops below.
  const HWND window = CreateWindowExW(0, L"COMBOBOX", L"",
                                      WS_CHILD | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                                      control.Left(), control.Top(), control.Width(), control.Height() + 160, parent,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
  form.StateOf<ComboState>(window);
  form.Adopt(control, window);
}

void Sync(FormWindow& form, HWND window, rt::TControl& control) {
  ShowState(window, control);
  const rt::TStringList& items = dynamic_cast<rt::TComboBox&>(control).Items();
  bool same = SendMessageW(window, CB_GETCOUNT, 0, 0) == items.Count();
  for (int i = 0; same && i < items.Count(); ++i) same = Entry(window, i) == Wide(items[i]);
  if (!same) {
    // New entries leave the text as it is (the reset clears it).
    const std::wstring text = WindowText(window);
    SendMessageW(window, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < items.Count(); ++i)
      SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(items[i]).c_str()));
    SetWindowTextW(window, text.c_str());
  }
  // What is typed and not yet handed on stays; a text the model set is
  // shown.
  std::wstring& shown = form.StateOf<ComboState>(window).text;
  const std::wstring text = Wide(control.Text());
  if (WindowText(window) == shown && text != shown) {
    SetWindowTextW(window, text.c_str());
    shown = text;
  }
}

void Command(FormWindow& form, HWND window, rt::TControl& control, UINT code, const NMHDR*) {
  // Typing (CBN_EDITUPDATE) starts a round as the focus does: the
  // presenter hands the typed text on before the round's action.
  if (code == CBN_SETFOCUS || code == CBN_EDITUPDATE) form.Queue([&form] { form.TakeFocusFromWindows(); });
  if (code != CBN_SELCHANGE) return;
  // The entry chosen from the list, read when the action runs.
  auto& combo = dynamic_cast<rt::TComboBox&>(control);
  form.Queue([&combo, window] {
    const LRESULT index = SendMessageW(window, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    const std::string gbk = Gbk(Entry(window, index));
    if (combo.Text() != gbk) rt::input::TypeText(combo, gbk);
  });
}

void Commit(FormWindow& form, HWND window, rt::TControl& control) {
  std::wstring& shown = form.StateOf<ComboState>(window).text;
  const std::wstring text = WindowText(window);
  if (text == shown) return;
  shown = text;
  auto& combo = dynamic_cast<rt::TComboBox&>(control);
  if (combo.Text() != Gbk(text)) rt::input::TypeText(combo, Gbk(text));
}

}  // namespace

KindHandlers ComboBox() {
  return {.make = Make, .sync = Sync, .command = Command, .colour = FieldColours, .commit = Commit};
}

}  // namespace desktop::kinds
