// The list-view control in report mode that shows a node's rows: the
// display columns with their captions (hostcore/columns.h decides which), one
// item per row whose item data is the row's number in the browser's list,
// so that sorting by a header click never loses which row an item is.
#pragma once

#include <cstddef>
#include <vector>

#include "hostcore/columns.h"
#include "runtime/data/value.h"
#include "runtime/platform/platform.h"

namespace desktop {

class RowList {
 public:
  // Makes the control as a child of parent with the given id and any
  // further list-view styles (LVS_SINGLESEL).
  RowList(HWND parent, int id, DWORD styles = 0);
  HWND Handle() const { return list_; }

  // Shows the rows; the previous columns and items go.
  void Show(const rt::RowSet& rows);
  // Sorts by a column, ascending; a second click on the same column
  // reverses the order. Numbers compare as numbers, the rest as texts.
  void SortBy(int column);
  // One flag per row of the row set (in its order): selected or not.
  std::vector<bool> Selection() const;
  // The row number of the focused or first selected item; -1 when none.
  int FocusedRow() const;
  // Selects and focuses the item of a row number alone (-1: none), and
  // scrolls it into view.
  void Select(int row);

 private:
  static int CALLBACK Compare(LPARAM a, LPARAM b, LPARAM self);

  HWND list_;
  const rt::RowSet* rows_ = nullptr;
  std::vector<hostcore::GridColumn> columns_;
  int sort_column_ = -1;
  bool descending_ = false;
};

}  // namespace desktop
