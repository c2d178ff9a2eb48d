#include "desktop/popup_menu.h"

#include "desktop/wide_text.h"

namespace desktop {

int TrackContextMenu(HWND owner, const std::vector<hostcore::MenuEntry>& entries, POINT at) {
  // One menu per depth: an entry that holds items opens the next depth.
  std::vector<HMENU> menus{CreatePopupMenu()};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const hostcore::MenuEntry& entry = entries[i];
    menus.resize(static_cast<std::size_t>(entry.depth) + 1);
    HMENU menu = menus.back();
    const UINT id = static_cast<UINT>(i) + 1;
    if (entry.separator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else if (entry.submenu) {
      HMENU sub = CreatePopupMenu();
      AppendMenuW(menu, MF_POPUP | (entry.enabled ? 0 : MF_GRAYED), reinterpret_cast<UINT_PTR>(sub),
                  Wide(entry.caption).c_str());
      menus.push_back(sub);
    } else {
      AppendMenuW(menu, MF_STRING | (entry.enabled ? 0 : MF_GRAYED), id, Wide(entry.caption).c_str());
      if (entry.is_default) SetMenuDefaultItem(menu, id, FALSE);
    }
  }
  SetForegroundWindow(owner);
  const int chosen = static_cast<int>(
      TrackPopupMenu(menus.front(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, at.x, at.y, 0, owner, nullptr));
  DestroyMenu(menus.front());
  return chosen - 1;
}

}  // namespace desktop
