// One model form as real windows: a top-level window of the form's size
// (its client area when the layout gives ClientWidth/ClientHeight), and one
// system control per control of the form at the place its layout gives,
// relative to its parent: the skinned frame as a panel in its colour with a
// title strip, buttons, edits, memos, combo boxes, list views (row_list.h),
// labels, bevels, images, page controls with their sheets. Each control's window carries the
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

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "desktop/row_list.h"
#include "runtime/platform/platform.h"

namespace rt {
class TControl;
class TForm;
class TWinControl;
}  // namespace rt

namespace desktop {

using QueueAction = std::function<void(std::function<void()>)>;

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
  // Gives the model what was typed into combo boxes since it last saw them.
  void CommitTyping();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  void Command(HWND control, int code);
  LRESULT Colour(HWND control, HDC dc);

  void Build(rt::TWinControl& container, HWND parent);
  HWND Make(rt::TControl& control, HWND parent);
  HWND MakePanel(rt::TWinControl& control, HWND parent, int x, int y, int width, int height);
  void MakeTitleStrip(rt::TWinControl& frame, HWND panel);
  void MakePages(rt::TWinControl& pages, HWND parent);
  HWND MakeList(rt::TControl& control, HWND parent);
  void SyncList(HWND window, const rt::TControl& control);
  void Remember(rt::TControl& control, HWND window);
  HBRUSH Brush(COLORREF colour);

  rt::TForm& form_;
  QueueAction queue_;
  HWND owner_;
  HWND window_ = nullptr;
  std::map<HWND, rt::TControl*> controls_;
  std::map<const rt::TControl*, HWND> windows_;
  // A page control's tab control and its sheets' panels, in tab order.
  std::map<HWND, std::vector<rt::TWinControl*>> sheets_;
  std::map<HWND, rt::TWinControl*> title_strips_;  // a skinned frame's title bar
  std::map<COLORREF, HBRUSH> brushes_;
  std::vector<HFONT> fonts_;
  std::vector<HICON> icons_;
  // Each combo box's text as last shown or handed on. A combo box may take
  // only whole entries (a strict one clears a text that is none), so what
  // is typed there reaches the model before the person's next action.
  std::map<HWND, std::wstring> combo_texts_;
  // Each list view's control, and the model's count of its rows' changes
  // that it shows (rt::TListView::RowsChanged).
  struct ShownList {
    std::unique_ptr<RowList> rows;
    std::uint64_t rows_shown = 0;
    bool shown = false;
  };
  std::map<HWND, ShownList> lists_;
  bool syncing_ = false;
};

}  // namespace desktop
