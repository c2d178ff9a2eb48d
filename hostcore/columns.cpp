#include "hostcore/columns.h"

#include "runtime/text/gbk.h"

namespace hostcore {
namespace {

constexpr std::string_view kDisplayPrefix = "DISP_";

}  // namespace

std::vector<GridColumn> DisplayColumns(const rt::RowSet& rows) {
  std::vector<GridColumn> columns;
  for (std::size_t i = 0; i < rows.fields.size(); ++i) {
    const std::string& name = rows.fields[i].name;
    if (name.size() > kDisplayPrefix.size() &&
        rt::gbk::SameText(std::string_view(name).substr(0, kDisplayPrefix.size()), kDisplayPrefix))
      columns.push_back({i, name.substr(kDisplayPrefix.size())});
  }
  return columns.empty() ? AllColumns(rows) : columns;
}

std::vector<GridColumn> AllColumns(const rt::RowSet& rows) {
  std::vector<GridColumn> columns;
  for (std::size_t i = 0; i < rows.fields.size(); ++i) columns.push_back({i, rows.fields[i].name});
  return columns;
}

int FindColumn(const rt::RowSet& rows, std::string_view name) {
  for (const GridColumn& column : DisplayColumns(rows))
    if (rt::gbk::SameText(column.title, name)) return static_cast<int>(column.field);
  for (std::size_t i = 0; i < rows.fields.size(); ++i)
    if (rt::gbk::SameText(rows.fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

}  // namespace hostcore
