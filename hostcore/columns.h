// The columns in which a host shows a node's rows: the display columns (the
// "DISP_" columns, titled without the prefix), or every field.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/value.h"

namespace hostcore {

struct GridColumn {
  std::size_t field = 0;  // index among the row set's fields
  std::string title;      // GBK
};

// The display columns: every field whose name starts with "DISP_" (letters
// in any case), titled with the rest of its name. A row set without such a
// field shows all its fields under their names.
std::vector<GridColumn> DisplayColumns(const rt::RowSet& rows);

// The field a column name means: a display column's title, or any field's
// full name, without regard to the case of ASCII letters. -1 when none.
int FindColumn(const rt::RowSet& rows, std::string_view name);

// Every field under its own name.
std::vector<GridColumn> AllColumns(const rt::RowSet& rows);

}  // namespace hostcore
