// One model form as real windows: a top-level window of the form's size
// (its client area when the layout gives ClientWidth/ClientHeight), and one
// system control per control of the form at the place its layout gives,
// relative to its parent, made by the control's kind (control_kind.h): the
// skinned frame as a panel in its colour with a title strip, buttons,
// edits, memos, combo boxes, list views (row_list.h), labels, bevels,
// images, page controls with their sheets. Each control's window carries the
// control's name as the window property "labdocs.name" (an atom), so that
// a test finds it as a person finds it by its place.
//
// Both ways in step: Sync shows the model (texts, visibility, enabled
// state, the focus, the active page); what the user does in the windows
// (clicks, typing, focus, closing, choosing a page) becomes an action on the
// model, queued through the given function and run by the presenter
// outside the window procedure, so that the model's errors never cross the
// window system's calls.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "desktop/control_style.h"
#include "runtime/platform/platform.h"

namespace rt {
class TControl;
class TForm;
class TWinControl;
}  // namespace rt

namespace desktop {

using QueueAction = std::function<void(std::function<void()>)>;

// What a control kind keeps for one of its windows beyond the model (what
// the window shows of it).
struct KindState {
  virtual ~KindState() = default;
};

class FormWindow {
 public:
  FormWindow(rt::TForm& form, HWND owner, QueueAction queue);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  HWND Handle() const { return window_; }
  rt::TForm& Form() const { return form_; }
  // Shows the model's state in the windows.
  void Sync();
  // The model control a window shows; nullptr when none.
  rt::TControl* ControlOf(HWND window) const;
  // Brings the model's focus to the control whose window has the system's
  // focus (a person may have clicked into it).
  void TakeFocusFromWindows();
  // Hands the model what the windows hold and it has not heard of (what
  // was typed into combo boxes since it last saw them).
  void CommitTyping();

  // What the control kinds make their windows with.
  // Makes the control's window of a system class at the control's place
  // with its text, and adopts it.
  HWND MakeChild(rt::TControl& control, HWND parent, DWORD ex_style, const wchar_t* window_class, DWORD style);
  // Makes a panel (a window of this program's) for a container.
  HWND MakePanel(rt::TWinControl& control, HWND parent, int x, int y, int width, int height);
  // Makes the container's children in its window, in tab order.
  void Build(rt::TWinControl& container, HWND parent);
  // Takes a window as the control's and gives it the control's font.
  void Adopt(rt::TControl& control, HWND window);
  void SetFont(HWND window, const FontStyle& font);
  // Keeps an icon a window shows until the form goes.
  void KeepIcon(HICON icon) { icons_.push_back(icon); }
  HBRUSH Brush(COLORREF colour);
  void Queue(std::function<void()> action) { queue_(std::move(action)); }
  // What a kind keeps for a window, made on first use.
  template <class State>
  State& StateOf(HWND window) {
    std::unique_ptr<KindState>& state = states_[window];
    if (!state) state = std::make_unique<State>();
    return dynamic_cast<State&>(*state);
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  // Hands a window's notification to its control's kind.
  void Notify(HWND window, rt::TControl* control, UINT code, const NMHDR* notification);
  // Takes a window as the control's (its name, its way to this form).
  void Remember(rt::TControl& control, HWND window);

  rt::TForm& form_;
  QueueAction queue_;
  HWND owner_;
  HWND window_ = nullptr;
  std::map<HWND, rt::TControl*> controls_;
  std::map<const rt::TControl*, HWND> windows_;
  std::map<HWND, std::unique_ptr<KindState>> states_;
  std::map<COLORREF, HBRUSH> brushes_;
  std::vector<HFONT> fonts_;
  std::vector<HICON> icons_;
  bool syncing_ = false;
};

}  // namespace desktop
