// A context menu as the console shows it in the terminal.
#pragma once

#include <string>
#include <vector>

#include "hostcore/context_menu.h"

namespace console {

// The menu as lines (UTF-8), one per entry, captions cut to 40 columns:
//   "  1  打开文档  miOpenFile  (default)"
std::vector<std::string> RenderMenu(const std::vector<hostcore::MenuEntry>& entries);

}  // namespace console
