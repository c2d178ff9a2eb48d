#include "console/grid.h"

#include <algorithm>

#include "console/terminal_text.h"

namespace console {
namespace {

std::string TrimRight(std::string line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

std::vector<std::string> RenderGrid(const rt::RowSet& rows, const std::vector<hostcore::GridColumn>& columns,
                                    const std::vector<bool>& selected, std::size_t max_cell_width) {
  // Cells as the terminal shows them: header first, then the rows.
  std::vector<std::vector<std::string>> cells;
  std::vector<std::string> header{"", "#"};
  for (const hostcore::GridColumn& column : columns)
    header.push_back(FitWidth(ToTerminal(OneLine(column.title)), max_cell_width));
  cells.push_back(std::move(header));
  for (std::size_t r = 0; r < rows.rows.size(); ++r) {
    std::vector<std::string> line{r < selected.size() && selected[r] ? "*" : "", std::to_string(r + 1)};
    for (const hostcore::GridColumn& column : columns) {
      const auto& values = rows.rows[r];
      const std::string text = column.field < values.size() ? rt::ValueToText(values[column.field]) : std::string();
      line.push_back(FitWidth(ToTerminal(OneLine(text)), max_cell_width));
    }
    cells.push_back(std::move(line));
  }

  std::vector<std::size_t> widths(columns.size() + 2, 0);
  for (const auto& line : cells)
    for (std::size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
  widths[0] = 1;  // the selection mark

  std::vector<std::string> lines;
  for (const auto& line : cells) {
    std::string text;
    for (std::size_t c = 0; c < line.size(); ++c) {
      if (c > 0) text += c == 1 ? " " : "  ";
      text += PadRight(line[c], widths[c]);
    }
    lines.push_back(TrimRight(std::move(text)));
  }
  return lines;
}

}  // namespace console
