// Forms: top-level windows built from a layout, shown modelessly or modally.
//
// A form class publishes its handlers and component fields by name in its
// C++ constructor, and does its own set-up in a Create function that calls
// its base class's Create first. CreateForm runs the whole sequence:
//   1. the C++ constructors (publishing only),
//   2. Create: the layout is loaded (components built, fields bound, events
//      bound); when the layout sets OldCreateOrder, the creation handler
//      OnCreate runs right there, before the rest of every Create,
//   3. AfterConstruction: without OldCreateOrder, OnCreate runs now, after
//      every class's construction steps.
// OnDestroy runs when the form is freed, if OnCreate ran. Errors raised in
// OnCreate and OnDestroy go to the application's error display.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/controls.h"
#include "runtime/ui/layout.h"

namespace rt {

enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

using TMessageHandler = std::function<void(TMessage& message)>;

class TForm : public TWinControl {
 public:
  RT_COMPONENT_CLASS(TForm)
  explicit TForm(TComponent* owner);
  ~TForm() override;

  void BeforeDestruction() override;
  void AfterConstruction();

  bool OldCreateOrder() const { return old_create_order_; }
  bool KeyPreview() const { return key_preview_; }
  // The layout gave the size of the client area (ClientWidth or
  // ClientHeight) rather than the window's outer size; Width and Height
  // hold that size either way.
  bool ClientSized() const { return client_sized_; }

  // Focus.
  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* control);
  // Moves the focus to the next (or previous) control in tab order that can
  // take it; from the first one when none has it.
  void SelectNext(TWinControl* current, bool forward);
  void ControlDestroying(TControl* control);

  // Showing.
  void SetVisible(bool visible) override;
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Shows the form modally and runs a message loop until the modal result
  // is non-zero; returns it. Errors raised by handlers during the loop go
  // to the application's error display and the form stays open.
  int ShowModal();
  bool Modal() const { return modal_; }
  int GetModalResult() const { return modal_result_; }
  void SetModalResult(int result) { modal_result_ = result; }
  // Closes the form: a modal form ends its showing with mrCancel.
  void Close();

  // Keys: a key pressed on the focused control (or the form when none has
  // the focus). With KeyPreview the form's OnKeyDown sees it first.
  void DispatchKey(Word key, TShiftState shift);

  // Sizing as the window system does it: the form is asked for its limits
  // (WM_GETMINMAXINFO) and the request is kept within them.
  void SetBounds(int left, int top, int width, int height) override;
  void Maximize();

  void WndProc(TMessage& message) override;
  // Sends a message to the form's handlers at once.
  LPARAM Perform(UINT msg, WPARAM wparam, LPARAM lparam);

  TNotifyEvent OnCreate, OnDestroy, OnShow, OnHide;

  void SetProperty(std::string_view name, const PropValue& value) override;
  void SetEvent(std::string_view event, TNotifyEvent handler) override;

 protected:
  // Loads a layout into this form: components, published fields, events.
  void LoadLayout(const Layout& layout);

  // Publishing, for the C++ constructors of form classes. A class publishes
  // a handler under the name a layout binds; a subclass that publishes the
  // same name replaces the base class's handler.
  void PublishMethod(std::string name, TNotifyEvent handler);
  void PublishKeyMethod(std::string name, TKeyEvent handler);
  void PublishMessage(UINT msg, TMessageHandler handler);
  template <class T>
  void PublishField(std::string name, T*& field) {
    // False when the component is not of the field's class.
    fields_[std::move(name)] = [&field](TComponent* c) { return (field = dynamic_cast<T*>(c)) != nullptr; };
  }

  virtual void DoCreate();
  virtual void DoDestroy();
  virtual void DoShow();

  // The window system's limits before the form changes them.
  virtual MINMAXINFO DefaultMinMaxInfo() const;
  bool AcceptsAppearance(std::string_view name) const override;

 private:
  void HandleKey(TWinControl* target, Word key, TShiftState shift);
  void BindEvents(TComponent& component, const std::vector<EventBinding>& events);

  bool old_create_order_ = false;
  bool key_preview_ = false;
  bool client_sized_ = false;
  bool created_ = false;
  bool destroying_ = false;
  bool modal_ = false;
  int modal_result_ = mrNone;
  TWinControl* active_control_ = nullptr;
  // By name, without regard to case.
  std::map<std::string, TNotifyEvent, gbk::TextLess> methods_;
  std::map<std::string, TKeyEvent, gbk::TextLess> key_methods_;
  std::map<UINT, TMessageHandler> message_handlers_;
  std::map<std::string, std::function<bool(TComponent*)>, gbk::TextLess> fields_;
};

// Runs the construction sequence of a form class F:
//   auto* form = CreateForm<TMyForm>(owner, args...);
// calls form->Create(args...) after the C++ constructor. On an error the form
// is freed and the error passed on.
template <class F, class... Args>
F* CreateForm(TComponent* owner, Args&&... args) {
  F* form = new F(owner);
  try {
    form->Create(std::forward<Args>(args)...);
    form->AfterConstruction();
  } catch (...) {
    form->Free();
    throw;
  }
  return form;
}

}  // namespace rt
