#include "runtime/ui/application.h"

#include "runtime/errors.h"
#include "runtime/ui/controls.h"

namespace rt {

TApplication& Application() {
  // Made once and never destroyed: plug-ins may still hold forms it owns
  // while the process ends.
  static TApplication* application = new TApplication();
  return *application;
}

Presenter& TApplication::GetPresenter() const {
  if (!presenter_) throw EInvalidOperation("No presenter is set to show the user interface");
  return *presenter_;
}

void TApplication::HandleException(const std::exception& error) {
  if (presenter_) presenter_->ShowError(error.what());
}

HWND TApplication::AllocateHandle(TWinControl* control) {
  HWND handle = next_handle_++;
  windows_[handle] = control;
  return handle;
}

void TApplication::ReleaseHandle(HWND handle) { windows_.erase(handle); }

TWinControl* TApplication::FindControl(HWND handle) const {
  auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : it->second;
}

bool TApplication::Post(HWND window, const TMessage& message) {
  if (!FindControl(window)) return false;
  queue_.push_back({window, message});
  return true;
}

void TApplication::ProcessMessages() {
  while (!queue_.empty()) {
    Posted posted = queue_.front();
    queue_.pop_front();
    // The window may have gone since the message was posted.
    TWinControl* control = FindControl(posted.window);
    if (!control) continue;
    try {
      control->WndProc(posted.message);
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }
}

bool PostMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  return Application().Post(window, TMessage{msg, wparam, lparam, 0});
}

}  // namespace rt
