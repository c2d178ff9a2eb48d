// Containers: the skinned frame (a panel in its colour with a title strip)
// and every other windowed control without a kind of its own (a panel).
#include "desktop/control_kind.h"

#include <variant>

#include "desktop/control_style.h"
#include "desktop/form_window.h"
#include "desktop/wide_text.h"
#include "runtime/ui/controls.h"

namespace desktop::kinds {
namespace {

// The skinned frame's title bar, drawn by a static control in the frame's
// border colour.
constexpr int kTitleStripHeight = 24;

void MakePanel(FormWindow& form, rt::TControl& control, HWND parent) {
  auto& container = dynamic_cast<rt::TWinControl&>(control);
  const HWND window = form.MakePanel(container, parent, control.Left(), control.Top(), control.Width(),
                                     control.Height());
  form.Build(container, window);
}

void MakeTitleStrip(FormWindow& form, rt::TControl& frame, HWND panel) {
  const HWND strip = CreateWindowExW(0, L"STATIC", Wide(frame.Caption()).c_str(),
                                     WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0,
                                     frame.Width(), kTitleStripHeight, panel, nullptr, GetModuleHandleW(nullptr),
                                     nullptr);
  SetWindowLongPtrW(strip, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
  form.SetFont(strip, FontFrom(frame, "TitleFont", FontOf(frame)));
}

void MakeFrame(FormWindow& form, rt::TControl& control, HWND parent) {
  auto& frame = dynamic_cast<rt::TWinControl&>(control);
  const HWND window = form.MakePanel(frame, parent, frame.Left(), frame.Top(), frame.Width(), frame.Height());
  const rt::PropValue* title_bar = frame.AppearanceOf("TitleBarVisible");
  if (!title_bar || !std::holds_alternative<bool>(*title_bar) || std::get<bool>(*title_bar))
    MakeTitleStrip(form, frame, window);
  form.Build(frame, window);
}

// Of the frame's windows only its title strip asks for colours: the
// border colour behind the title font's.
HBRUSH FrameColours(FormWindow& form, HWND, const rt::TControl& frame, HDC dc) {
  const COLORREF back = ColourOf(frame, "BorderColor").value_or(GetSysColor(COLOR_ACTIVECAPTION));
  SetTextColor(dc, ColourOf(frame, "TitleFont.Color").value_or(GetSysColor(COLOR_CAPTIONTEXT)));
  SetBkColor(dc, back);
  return form.Brush(back);
}

}  // namespace

KindHandlers Panel() { return {.make = MakePanel}; }

KindHandlers Frame() { return {.make = MakeFrame, .colour = FrameColours}; }

}  // namespace desktop::kinds
