// The context menu as the system's popup menu: the visible entries that the
// plug-in filled (hostcore/context_menu.h), items that hold items as submenus,
// separators, disabled items grayed, the default item in bold.
#pragma once

#include <vector>

#include "hostcore/context_menu.h"
#include "runtime/platform/platform.h"

namespace desktop {

// Shows the menu at a screen position and waits for the user; returns the
// index of the chosen entry, -1 when the menu was dismissed.
int TrackContextMenu(HWND owner, const std::vector<hostcore::MenuEntry>& entries, POINT at);

}  // namespace desktop
