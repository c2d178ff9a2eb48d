// The grid in which the console shows a node's rows: their columns
// (hostcore/columns.h), one line per row, aligned by the width that each text
// takes in a UTF-8 terminal.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hostcore/columns.h"
#include "runtime/data/value.h"

namespace console {

// The lines of the grid, UTF-8, without trailing blanks: a header, then per
// row a selection mark ('*' for a selected row), its 1-based number and its
// cells. Columns are two blanks apart; a cell shows its value on one line
// (control characters escaped) cut to max_cell_width columns.
std::vector<std::string> RenderGrid(const rt::RowSet& rows, const std::vector<hostcore::GridColumn>& columns,
                                    const std::vector<bool>& selected, std::size_t max_cell_width = 40);

}  // namespace console
