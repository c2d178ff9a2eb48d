// The application object: one per process, shared by the host and its
// plug-ins. It owns the message queue, the window handles, the state of the
// modifier keys and the error display, and knows the presenter.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <string>

#include "runtime/ui/component.h"
#include "runtime/ui/messages.h"
#include "runtime/ui/presenter.h"

namespace rt {

class TWinControl;

class TApplication : public TComponent {
 public:
  RT_COMPONENT_CLASS(TApplication)
  TApplication() : TComponent(nullptr) {}

  // The presenter; one must be set before a form is shown or a message given.
  Presenter& GetPresenter() const;
  void SetPresenter(Presenter* presenter) { presenter_ = presenter; }
  bool HasPresenter() const { return presenter_ != nullptr; }

  // The application's error display: shows the error through the presenter.
  void HandleException(const std::exception& error);

  // Window handles of the controls that have a window.
  HWND AllocateHandle(TWinControl* control);
  void ReleaseHandle(HWND handle);
  TWinControl* FindControl(HWND handle) const;

  // The message queue.
  bool Post(HWND window, const TMessage& message);
  // Dispatches every queued message, including those that handlers post
  // while this runs. An error in a handler goes to the error display.
  void ProcessMessages();
  std::size_t PendingMessages() const { return queue_.size(); }

  // How many modal forms closed with OK (mrOk) since the process began: a
  // host compares the count around a plug-in's command to learn whether
  // the person confirmed a form in it.
  std::uint64_t ConfirmedForms() const { return confirmed_forms_; }
  void FormConfirmed() { ++confirmed_forms_; }

  // The modifier keys as they are held right now.
  TShiftState KeyboardState() const { return keyboard_state_; }
  void SetKeyboardState(TShiftState state) { keyboard_state_ = state; }

 private:
  struct Posted {
    HWND window;
    TMessage message;
  };
  Presenter* presenter_ = nullptr;
  std::deque<Posted> queue_;
  std::map<HWND, TWinControl*> windows_;
  HWND next_handle_ = 0x100;
  TShiftState keyboard_state_ = 0;
  std::uint64_t confirmed_forms_ = 0;
};

// The process's application object.
TApplication& Application();

}  // namespace rt
