// What a control's appearance settings (rt::TControl::Appearance) give the
// window system: its font (name, height, character set, style; a control
// without one of these takes its parent's, as ParentFont has it) and its
// colours.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/platform/platform.h"

namespace rt {
class TControl;
}

namespace desktop {

struct FontStyle {
  std::string name = "MS Shell Dlg";  // GBK
  int height = -11;
  int charset = DEFAULT_CHARSET;
  bool bold = false, italic = false, underline = false;
  friend bool operator==(const FontStyle&, const FontStyle&) = default;
};

// The font a control shows, its own settings over its parents'.
FontStyle FontOf(const rt::TControl& control);
// A font setting by prefix ("Font" or "TitleFont").
FontStyle FontFrom(const rt::TControl& control, const std::string& prefix, FontStyle base);
HFONT MakeFont(const FontStyle& font);

// A colour setting ("Color", "Font.Color", ...) as the window system's
// colour: a number (0x00BBGGRR) or a named colour (clWhite, clBtnFace, ...).
std::optional<COLORREF> ColourOf(const rt::TControl& control, const std::string& name);
// The colour behind a control: its own Color, else its nearest parent's.
std::optional<COLORREF> BackgroundOf(const rt::TControl* control);

// A setting of the control is the value or a set holding it ("BorderStyle"
// is "bsSingle", "BorderIcons" holds "biMinimize").
bool AppearanceHas(const rt::TControl& control, const std::string& setting, std::string_view value);

}  // namespace desktop
