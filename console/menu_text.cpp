#include "console/menu_text.h"

#include <algorithm>

#include "console/terminal_text.h"

namespace console {

using hostcore::MenuEntry;

std::vector<std::string> RenderMenu(const std::vector<MenuEntry>& entries) {
  constexpr std::size_t kMaxCaptionWidth = 40;
  std::vector<std::string> captions;
  std::size_t caption_width = 0;
  for (const MenuEntry& entry : entries) {
    captions.push_back(
        FitWidth(std::string(static_cast<std::size_t>(entry.depth) * 2, ' ') + ToTerminal(OneLine(entry.caption)),
                 kMaxCaptionWidth));
    caption_width = std::max(caption_width, DisplayWidth(captions.back()));
  }
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const MenuEntry& entry = entries[i];
    std::string number = entry.number ? std::to_string(entry.number) : std::string();
    std::string line = "  " + std::string(number.size() < 2 ? 2 - number.size() : 0, ' ') + number + "  ";
    line += PadRight(captions[i], caption_width) + "  " + ToTerminal(OneLine(entry.name));
    if (entry.is_default) line += "  (default)";
    if (!entry.enabled) line += "  (disabled)";
    if (entry.submenu) line += "  >";
    lines.push_back(line);
  }
  return lines;
}

}  // namespace console
