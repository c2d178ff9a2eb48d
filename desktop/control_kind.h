// The kinds of model controls a form window shows, one row per class of the
// form model (runtime/ui, runtime/services) in one table (control_kinds.cpp):
// how a control of the class becomes windows, how they show the model's
// state, what the person does in them becomes on the model, and the
// colours they are drawn in. A control takes the row of its own class; a
// class without one takes the row of its nearest base class that has one (a
// data-aware edit is an edit, a skinned button a button), so that the
// rows' order never matters and a memo is never taken for an edit. Each
// kind's handlers lie together in its own file (kind_*.cpp).
#pragma once

#include <typeindex>
#include <typeinfo>
#include <type_traits>
#include <vector>

#include "runtime/platform/platform.h"

namespace rt {
class TControl;
}

namespace desktop {

class FormWindow;

// Makes the control's windows as children of parent, each adopted by the
// form window (FormWindow::Adopt); a container builds its children in it.
using MakeFn = void (*)(FormWindow& form, rt::TControl& control, HWND parent);
// Shows the model's state in the control's window.
using SyncFn = void (*)(FormWindow& form, HWND window, rt::TControl& control);
// What the control's window notifies: a WM_COMMAND code (notification
// null) or a WM_NOTIFY header. Never called while the windows show the
// model (their changes then are the model's own).
using CommandFn = void (*)(FormWindow& form, HWND window, rt::TControl& control, UINT code, const NMHDR* notification);
// Sets a window's text and background colours as it asks for them
// (WM_CTLCOLOR...); returns the background's brush.
using ColourFn = HBRUSH (*)(FormWindow& form, HWND window, const rt::TControl& control, HDC dc);
// Hands the model what the window holds and has not told it (a combo box's
// typing).
using CommitFn = void (*)(FormWindow& form, HWND window, rt::TControl& control);

struct KindHandlers {
  MakeFn make = nullptr;        // none: the control shows nothing
  SyncFn sync = nullptr;        // none: ShowState
  CommandFn command = nullptr;  // none: its notifications change nothing
  ColourFn colour = nullptr;    // none: ParentColours
  CommitFn commit = nullptr;    // none: it keeps nothing from the model
};

struct ControlKind : KindHandlers {
  std::type_index type;    // the model's class
  std::type_index parent;  // its nearest base class with a row (the root: itself)
  // The control is of the class or of one derived from it.
  bool (*is)(const rt::TControl& control) = nullptr;
};

// A row of the table: the class, its nearest base class with a row, and the
// kind's handlers.
template <class T, class Parent>
ControlKind Row(KindHandlers handlers) {
  static_assert(std::is_base_of_v<Parent, T>, "a kind's parent is a base class of its class");
  return {handlers, typeid(T), typeid(Parent), [](const rt::TControl& control) {
            if constexpr (std::is_same_v<T, rt::TControl>) return true;
            else return dynamic_cast<const T*>(&control) != nullptr;
          }};
}

// The table, in any order (control_kinds.cpp).
const std::vector<ControlKind>& ControlKinds();
// The kind of a control: its class's row, else its nearest base class's.
// Throws std::logic_error when the table is inconsistent or two rows are
// equally near.
const ControlKind& KindOf(const rt::TControl& control);

// What every control's window shows: the model's visibility and enabled
// state.
void ShowState(HWND window, const rt::TControl& control);
// The state and the control's text (buttons, labels, edits).
void SyncText(FormWindow& form, HWND window, rt::TControl& control);
// The colours of a window over its parent: the nearest Color up the
// parents, else the dialog face; the control's Font.Color.
HBRUSH ParentColours(FormWindow& form, HWND window, const rt::TControl& control, HDC dc);
// The colours of a field the person types into: its own Color, else the
// system's window colour; its Font.Color.
HBRUSH FieldColours(FormWindow& form, HWND window, const rt::TControl& control, HDC dc);
// Sets the control's Font.Color (when it has one) and a background.
HBRUSH PaintColours(FormWindow& form, const rt::TControl& control, HDC dc, COLORREF back);

// The kinds' handlers, each in its own file.
namespace kinds {
KindHandlers Panel();        // kind_containers.cpp: any other windowed control
KindHandlers Frame();        // kind_containers.cpp: the skinned frame
KindHandlers PageControl();  // kind_pages.cpp
KindHandlers TabSheet();     // kind_pages.cpp
KindHandlers Edit();         // kind_text.cpp
KindHandlers Memo();         // kind_text.cpp
KindHandlers Button();       // kind_text.cpp
KindHandlers Label();        // kind_text.cpp
KindHandlers ComboBox();     // kind_combo_box.cpp
KindHandlers ListView();     // kind_list_view.cpp
KindHandlers Bevel();        // kind_pictures.cpp
KindHandlers Image();        // kind_pictures.cpp
}  // namespace kinds

}  // namespace desktop
