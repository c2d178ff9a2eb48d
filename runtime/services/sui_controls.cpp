#include "runtime/services/sui_controls.h"

#include <algorithm>
#include <array>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TsuiForm);
RT_REGISTER_COMPONENT(TsuiButton);
RT_REGISTER_COMPONENT(TsuiPageControl);
RT_REGISTER_COMPONENT(TsuiTabSheet);

namespace {
template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return gbk::SameText(n, name); });
}
}  // namespace

int UIStyleFromName(std::string_view name) {
  static constexpr std::array<std::string_view, 6> kStyles = {"Custom", "WinXP", "MacOS", "Protein", "DeepBlue", "GE"};
  for (std::size_t i = 0; i < kStyles.size(); ++i)
    if (gbk::SameText(kStyles[i], name)) return static_cast<int>(i);
  throw EConvertError("Unknown visual style " + std::string(name));
}

void TsuiForm::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "UIStyle")) {
    if (const auto* text = std::get_if<std::string>(&value)) ui_style_ = UIStyleFromName(*text);
    else ui_style_ = PropInt(name, value);
  } else {
    TWinControl::SetProperty(name, value);
  }
}

bool TsuiForm::AcceptsAppearance(std::string_view name) const {
  static constexpr std::array<std::string_view, 16> kNames = {
      "UIStyleAutoUpdateSub", "BorderColor",        "BorderWidth",      "TitleBarVisible",
      "TitleBarCaption",      "TitleBarControlBox", "TitleBarCloseBtn", "TitleBarSections",
      "TitleBarAppIcon",      "FormPanel",          "MenuBarColor",     "MenuBarHeight",
      "TitleFont.Name",       "TitleFont.Color",    "TitleFont.Style",  "TitleFont.Height"};
  return OneOf(kNames, name) || TWinControl::AcceptsAppearance(name);
}

bool TsuiButton::AcceptsAppearance(std::string_view name) const {
  static constexpr std::array<std::string_view, 2> kNames = {"UIStyle", "Transparent"};
  return OneOf(kNames, name) || TButton::AcceptsAppearance(name);
}

bool TsuiPageControl::AcceptsAppearance(std::string_view name) const {
  static constexpr std::array<std::string_view, 3> kNames = {"UIStyle", "BorderColor", "TabMarginLeft"};
  return OneOf(kNames, name) || TPageControl::AcceptsAppearance(name);
}

}  // namespace rt
