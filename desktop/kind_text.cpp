// The controls that show a text of the model: edits, memos (multi-line
// edits), buttons and labels.
#include "desktop/control_kind.h"

#include "desktop/form_window.h"
#include "desktop/wide_text.h"
#include "runtime/ui/input.h"
#include "runtime/ui/stdctrls.h"

namespace desktop::kinds {
namespace {

DWORD ReadOnly(const rt::TControl& control) {
  return dynamic_cast<const rt::TEdit&>(control).ReadOnly() ? ES_READONLY : 0;
}

void MakeEdit(FormWindow& form, rt::TControl& control, HWND parent) {
  form.MakeChild(control, parent, WS_EX_CLIENTEDGE, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | ReadOnly(control));
}

void MakeMemo(FormWindow& form, rt::TControl& control, HWND parent) {
  form.MakeChild(control, parent, WS_EX_CLIENTEDGE, L"EDIT",
                 WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ReadOnly(control));
}

void EditCommand(FormWindow& form, HWND window, rt::TControl& control, UINT code, const NMHDR*) {
  if (code == EN_SETFOCUS) form.Queue([&form] { form.TakeFocusFromWindows(); });
  if (code != EN_CHANGE) return;
  // The text is read when the action runs, not now: characters typed
  // meanwhile are in it, and the model never lags behind the window.
  auto& edit = dynamic_cast<rt::TEdit&>(control);
  form.Queue([&edit, window] {
    const std::string gbk = Gbk(WindowText(window));
    if (edit.Text() != gbk) rt::input::TypeText(edit, gbk);
  });
}

void MakeButton(FormWindow& form, rt::TControl& control, HWND parent) {
  form.MakeChild(control, parent, 0, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY);
}

void ButtonCommand(FormWindow& form, HWND, rt::TControl& control, UINT code, const NMHDR*) {
  if (code == BN_CLICKED) form.Queue([&control] { rt::input::Click(control); });
  if (code == BN_SETFOCUS) form.Queue([&form] { form.TakeFocusFromWindows(); });
}

void MakeLabel(FormWindow& form, rt::TControl& control, HWND parent) {
  form.MakeChild(control, parent, 0, L"STATIC", SS_LEFT);
}

}  // namespace

KindHandlers Edit() { return {.make = MakeEdit, .sync = SyncText, .command = EditCommand, .colour = FieldColours}; }

KindHandlers Memo() { return {.make = MakeMemo, .sync = SyncText, .command = EditCommand, .colour = FieldColours}; }

KindHandlers Button() { return {.make = MakeButton, .sync = SyncText, .command = ButtonCommand}; }

KindHandlers Label() { return {.make = MakeLabel, .sync = SyncText}; }

}  // namespace desktop::kinds
