// For tests and test plug-ins: a menu item added to a menu as a plug-in
// adds one.
#pragma once

#include <string>

#include "runtime/ui/menus.h"

namespace hostcore::testing {

inline rt::TMenuItem* Add(rt::TMenuItem* parent, const char* name, const std::string& caption, bool visible = true) {
  auto* item = new rt::TMenuItem(nullptr);
  item->SetName(name);
  item->SetCaption(caption);
  item->SetVisible(visible);
  parent->Add(item);
  return item;
}

}  // namespace hostcore::testing
