#include "runtime/ui/input.h"

#include "runtime/errors.h"
#include "runtime/ui/application.h"
#include "runtime/ui/form.h"
#include "runtime/ui/stdctrls.h"

namespace rt::input {
namespace {

bool Reachable(const TControl& control) {
  for (const TControl* c = &control; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

}  // namespace

void PressKey(TForm& form, Word key, TShiftState shift) {
  TApplication& app = Application();
  TShiftState held = app.KeyboardState();
  app.SetKeyboardState(shift);
  struct Release {
    TApplication& app;
    TShiftState held;
    ~Release() { app.SetKeyboardState(held); }
  } release{app, held};
  form.DispatchKey(key, shift);
  app.ProcessMessages();
}

void Focus(TWinControl& control) { control.SetFocus(); }

void TypeText(TWinControl& control, std::string text) {
  control.SetFocus();
  control.SetText(std::move(text));
}

void Click(TControl& control) {
  if (!Reachable(control)) throw EInvalidOperation(control.Name() + " cannot be clicked: it is hidden or disabled");
  if (auto* win = dynamic_cast<TWinControl*>(&control); win && win->TabStop()) win->SetFocus();
  control.Click();
}

void SelectRow(TListView& list, int row) {
  if (row < -1 || row >= static_cast<int>(list.Rows().rows.size()))
    throw EInvalidOperation(list.Name() + " has no row " + std::to_string(row + 1));
  list.SetFocus();
  list.SetItemIndex(row);
}

void Resize(TForm& form, int width, int height) { form.SetBounds(form.Left(), form.Top(), width, height); }

void Maximize(TForm& form) { form.Maximize(); }

void CloseForm(TForm& form) { form.Close(); }

}  // namespace rt::input
