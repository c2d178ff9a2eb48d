#include "runtime/services/sui_popup_menu.h"

#include <algorithm>
#include <array>

#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TsuiPopupMenu);

void TsuiPopupMenu::MenuAdded() {
  ++menu_added_count_;
  if (observer_) observer_(*this);
}

bool TsuiPopupMenu::AcceptsAppearance(std::string_view name) const {
  static constexpr std::array<std::string_view, 13> kNames = {
      "UIStyle",        "BarColor",      "BarWidth",          "Color",
      "SeparatorColor", "SelectedColor", "SelectedFontColor", "SelectedBorderColor",
      "FontName",       "FontSize",      "FontCharset",       "FontColor",
      "UseSystemFont"};
  return std::any_of(kNames.begin(), kNames.end(), [&](std::string_view n) { return gbk::SameText(n, name); }) ||
         TPopupMenu::AcceptsAppearance(name);
}

}  // namespace rt
