// The parameter texts of listed rows and the selection packet that a command
// receives: the host describes each row by its columns, and hands the
// selected rows to the plug-in with that description in front.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "runtime/data/value.h"

namespace hostcore {

// The name of the column that carries each selected row's parameter text.
inline constexpr const char* kParamTextColumn = "ParamText";

// The parameter text of one row: an item "name=value" per column, in column
// order, each value as its text (rt::ValueToText).
std::string RowParamText(const rt::RowSet& rows, std::size_t row);

// The selected rows, in the order given, as the rows of a selection packet:
// first the column kParamTextColumn with each row's parameter text, then
// the listed columns as they are. No row selected gives the columns and no
// rows. Raises rt::Exception for a row number out of range.
rt::RowSet SelectionRows(const rt::RowSet& rows, const std::vector<std::size_t>& selected);

}  // namespace hostcore
