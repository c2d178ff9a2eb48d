#include "hostcore/context_menu.h"

#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/menus.h"

namespace hostcore {
namespace {

void Collect(const rt::TMenuItem& parent, int depth, std::vector<MenuEntry>& entries, int& number) {
  for (int i = 0; i < parent.Count(); ++i) {
    const rt::TMenuItem& item = *parent.Items(i);
    if (!item.Visible()) continue;
    MenuEntry entry;
    entry.name = item.Name();
    entry.caption = item.Caption();
    entry.depth = depth;
    entry.is_default = item.Default();
    entry.enabled = item.Enabled();
    entry.separator = entry.caption == "-";
    entry.submenu = item.Count() > 0;
    if (entry.enabled && !entry.separator && !entry.submenu) entry.number = ++number;
    entries.push_back(entry);
    if (entry.submenu) Collect(item, depth + 1, entries, number);
  }
}

}  // namespace

std::vector<MenuEntry> VisibleEntries(const rt::TMenuItem& root) {
  std::vector<MenuEntry> entries;
  int number = 0;
  Collect(root, 0, entries, number);
  return entries;
}

const MenuEntry* FindEntry(const std::vector<MenuEntry>& entries, std::string_view item) {
  const std::string_view wanted = rt::gbk::Trim(item);
  int number = 0;
  if (rt::TryStrToInt(wanted, number)) {
    for (const MenuEntry& entry : entries)
      if (entry.number == number) return &entry;
    return nullptr;
  }
  for (const MenuEntry& entry : entries)
    if (rt::gbk::SameText(rt::gbk::Trim(entry.name), wanted)) return &entry;
  for (const MenuEntry& entry : entries)
    if (entry.caption == wanted) return &entry;
  return nullptr;
}

}  // namespace hostcore
