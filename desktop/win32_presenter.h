// The desktop host's presenter: the user-interface model in the system's
// own windows. Each form the plug-in shows becomes a FormWindow
// (desktop/form_window.h), owned by the window below it and modal over it;
// Interact runs the system's message loop until the person does something
// the model must hear of, and performs it through the input functions, so
// that the form handles it as it handles any user's (Enter, Escape and Tab
// go to the form's own key handling). Messages and questions are message
// boxes; the file dialogs are the common open and save dialogs with the
// model's filter, default extension, proposed name and options.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "desktop/form_window.h"
#include "runtime/platform/platform.h"
#include "runtime/ui/presenter.h"

namespace desktop {

class Win32Presenter : public rt::Presenter {
 public:
  // owner: the main window, below every form.
  explicit Win32Presenter(HWND owner) : owner_(owner) {}
  ~Win32Presenter() override;

  void FormShown(rt::TForm& form) override;
  void FormHidden(rt::TForm& form) override;
  bool Interact(rt::TForm& modal_form) override;
  void ShowMessage(rt::MessageKind kind, std::string_view text) override;
  int Confirm(std::string_view text, int buttons) override;
  bool ExecuteOpenDialog(rt::TOpenDialog& dialog) override;
  bool ExecuteSaveDialog(rt::TSaveDialog& dialog) override;
  void ShowError(std::string_view message) override;

 private:
  // The window a new window or a message box belongs to: the top form's,
  // else the main window.
  HWND TopWindow() const;
  // A key for the form's own key handling; true when it was taken.
  bool FormKey(FormWindow& window, const MSG& message);

  HWND owner_;
  std::vector<std::unique_ptr<FormWindow>> windows_;  // in the order shown
  std::deque<std::function<void()>> actions_;
};

}  // namespace desktop
