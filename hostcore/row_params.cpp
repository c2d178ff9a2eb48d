#include "hostcore/row_params.h"

#include <utility>

#include "hostcore/param_text_writer.h"
#include "runtime/errors.h"

namespace hostcore {

std::string RowParamText(const rt::RowSet& rows, std::size_t row) {
  const std::vector<rt::Value>& values = rows.rows.at(row);
  std::vector<std::pair<std::string, std::string>> items;
  items.reserve(rows.fields.size());
  for (std::size_t i = 0; i < rows.fields.size() && i < values.size(); ++i)
    items.emplace_back(rows.fields[i].name, rt::ValueToText(values[i]));
  return BuildParamText(items);
}

rt::RowSet SelectionRows(const rt::RowSet& rows, const std::vector<std::size_t>& selected) {
  rt::RowSet selection;
  selection.fields.push_back({kParamTextColumn, rt::FieldType::Text});
  selection.fields.insert(selection.fields.end(), rows.fields.begin(), rows.fields.end());
  for (std::size_t row : selected) {
    if (row >= rows.rows.size()) throw rt::Exception("There is no row " + std::to_string(row + 1));
    std::vector<rt::Value> values;
    values.reserve(selection.fields.size());
    values.emplace_back(RowParamText(rows, row));
    values.insert(values.end(), rows.rows[row].begin(), rows.rows[row].end());
    selection.rows.push_back(std::move(values));
  }
  return selection;
}

}  // namespace hostcore
