#include "desktop/control_kind.h"

#include <stdexcept>
#include <string>
#include <unordered_map>

#include "desktop/control_style.h"
#include "desktop/form_window.h"
#include "desktop/wide_text.h"
#include "runtime/ui/controls.h"

namespace desktop {
namespace {

// The table's rows by class, with their depth below the root, checked once;
// classes without a row join as they are first met. Used by the window
// system's thread alone.
class Kinds {
 public:
  Kinds() {
    const std::vector<ControlKind>& table = ControlKinds();
    for (const ControlKind& kind : table)
      if (!by_type_.emplace(kind.type, &kind).second) Refuse("two rows for ", kind.type);
    for (const ControlKind& kind : table) depth_[&kind] = Depth(kind);
  }

  const ControlKind& Of(const rt::TControl& control) {
    const std::type_index type = typeid(control);
    if (auto found = by_type_.find(type); found != by_type_.end()) return *found->second;
    // The nearest base class with a row: of the rows whose class the
    // control's derives from, the deepest.
    const ControlKind* nearest = nullptr;
    int nearest_depth = -1;
    bool tied = false;
    for (const auto& [kind, depth] : depth_) {
      if (!kind->is(control) || depth < nearest_depth) continue;
      tied = depth == nearest_depth;
      if (!tied) nearest = kind, nearest_depth = depth;
    }
    if (!nearest || tied) Refuse("no single nearest kind for ", type);
    by_type_.emplace(type, nearest);
    return *nearest;
  }

 private:
  [[noreturn]] static void Refuse(const char* what, std::type_index type) {
    throw std::logic_error(std::string("desktop control kinds: ") + what + type.name());
  }

  // The parents lie up the classes' bases (Row), so that the walk ends at
  // the root.
  int Depth(const ControlKind& kind) const {
    int depth = 0;
    for (const ControlKind* at = &kind; at->parent != at->type; ++depth) {
      auto parent = by_type_.find(at->parent);
      if (parent == by_type_.end()) Refuse("no row for the parent of ", at->type);
      at = parent->second;
    }
    return depth;
  }

  std::unordered_map<std::type_index, const ControlKind*> by_type_;
  std::unordered_map<const ControlKind*, int> depth_;
};

}  // namespace

const ControlKind& KindOf(const rt::TControl& control) {
  static Kinds kinds;
  return kinds.Of(control);
}

void ShowState(HWND window, const rt::TControl& control) {
  ShowWindow(window, control.Visible() ? SW_SHOWNA : SW_HIDE);
  EnableWindow(window, control.Enabled());
}

void SyncText(FormWindow&, HWND window, rt::TControl& control) {
  ShowState(window, control);
  const std::wstring text = Wide(control.Text());
  if (WindowText(window) != text) SetWindowTextW(window, text.c_str());
}

HBRUSH PaintColours(FormWindow& form, const rt::TControl& control, HDC dc, COLORREF back) {
  if (auto text = ColourOf(control, "Font.Color")) SetTextColor(dc, *text);
  SetBkColor(dc, back);
  return form.Brush(back);
}

HBRUSH ParentColours(FormWindow& form, HWND, const rt::TControl& control, HDC dc) {
  return PaintColours(form, control, dc, BackgroundOf(&control).value_or(GetSysColor(COLOR_BTNFACE)));
}

HBRUSH FieldColours(FormWindow& form, HWND, const rt::TControl& control, HDC dc) {
  return PaintColours(form, control, dc, ColourOf(control, "Color").value_or(GetSysColor(COLOR_WINDOW)));
}

}  // namespace desktop
