// A context menu as a host offers it: the visible items of the popup menu
// that the plug-in filled, at every depth, numbered so that a person can
// pick one, the default item marked.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rt {
class TMenuItem;
}

namespace hostcore {

struct MenuEntry {
  std::string name;     // the component name: what the host passes back (GBK)
  std::string caption;  // GBK
  int depth = 0;        // 0 for a top-level item
  int number = 0;       // 1, 2, ... for the commands a person can pick; 0 for the rest
  bool is_default = false;
  bool enabled = true;
  bool separator = false;  // caption "-"
  bool submenu = false;    // holds items: opens them, runs nothing
};

// The visible items below a root item, depth first in item order. An
// invisible item hides the items it holds. Enabled leaves that are not
// separators are numbered from 1.
std::vector<MenuEntry> VisibleEntries(const rt::TMenuItem& root);

// The entry a person or script means: its number, its name (without regard
// to case or surrounding blanks) or its caption; nullptr when none matches.
const MenuEntry* FindEntry(const std::vector<MenuEntry>& entries, std::string_view item);

}  // namespace hostcore
