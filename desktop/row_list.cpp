#include "desktop/row_list.h"

#include <commctrl.h>

#include "desktop/wide_text.h"

namespace desktop {
namespace {

// A cell's text on one line: line breaks show as blanks.
std::wstring CellText(const rt::Value& value) {
  std::wstring text = Wide(rt::ValueToText(value));
  for (wchar_t& c : text)
    if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
  return text;
}

}  // namespace

RowList::RowList(HWND parent, int id, DWORD styles) {
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | styles, 0, 0, 0, 0,
                          parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                          nullptr);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
}

void RowList::Show(const rt::RowSet& rows) {
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list_);
  while (ListView_DeleteColumn(list_, 0)) {
  }
  rows_ = &rows;
  columns_ = hostcore::DisplayColumns(rows);
  sort_column_ = -1;
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    std::wstring title = Wide(columns_[c].title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = title.data();
    column.cx = 120;
    column.iSubItem = static_cast<int>(c);
    SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  for (std::size_t r = 0; r < rows.rows.size(); ++r) {
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      std::wstring text = CellText(rows.rows[r][columns_[c].field]);
      LVITEMW item{};
      item.iItem = static_cast<int>(r);
      item.iSubItem = static_cast<int>(c);
      item.pszText = text.data();
      if (c == 0) {
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.lParam = static_cast<LPARAM>(r);
        SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      } else {
        item.mask = LVIF_TEXT;
        SendMessageW(list_, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
      }
    }
  }
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    // As wide as the widest cell, and never narrower than the caption.
    ListView_SetColumnWidth(list_, static_cast<int>(c), LVSCW_AUTOSIZE);
    const std::wstring title = Wide(columns_[c].title);
    const int caption =
        static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(title.c_str()))) + 24;
    if (ListView_GetColumnWidth(list_, static_cast<int>(c)) < caption)
      ListView_SetColumnWidth(list_, static_cast<int>(c), caption);
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void RowList::SortBy(int column) {
  if (!rows_ || column < 0 || column >= static_cast<int>(columns_.size())) return;
  descending_ = column == sort_column_ ? !descending_ : false;
  sort_column_ = column;
  ListView_SortItems(list_, &RowList::Compare, reinterpret_cast<LPARAM>(this));
}

int CALLBACK RowList::Compare(LPARAM a, LPARAM b, LPARAM self) {
  const auto& list = *reinterpret_cast<const RowList*>(self);
  const std::size_t field = list.columns_[static_cast<std::size_t>(list.sort_column_)].field;
  const rt::Value& x = list.rows_->rows[static_cast<std::size_t>(a)][field];
  const rt::Value& y = list.rows_->rows[static_cast<std::size_t>(b)][field];
  int order;
  if (std::holds_alternative<std::int64_t>(x) && std::holds_alternative<std::int64_t>(y)) {
    const auto i = std::get<std::int64_t>(x), j = std::get<std::int64_t>(y);
    order = i < j ? -1 : i > j ? 1 : 0;
  } else {
    // Texts in the Chinese (PRC) order.
    order = CompareStringW(MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_CHINESE_PRC), 0,
                           CellText(x).c_str(), -1, CellText(y).c_str(), -1) -
            CSTR_EQUAL;
  }
  if (order == 0) order = a < b ? -1 : a > b ? 1 : 0;
  return list.descending_ ? -order : order;
}

std::vector<bool> RowList::Selection() const {
  std::vector<bool> selected(rows_ ? rows_->rows.size() : 0, false);
  for (int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED); i >= 0;
       i = ListView_GetNextItem(list_, i, LVNI_SELECTED)) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = i;
    if (SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) &&
        static_cast<std::size_t>(item.lParam) < selected.size())
      selected[static_cast<std::size_t>(item.lParam)] = true;
  }
  return selected;
}

int RowList::FocusedRow() const {
  int i = ListView_GetNextItem(list_, -1, LVNI_FOCUSED | LVNI_SELECTED);
  if (i < 0) i = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
  if (i < 0) return -1;
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = i;
  return SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? static_cast<int>(item.lParam) : -1;
}

void RowList::Select(int row) {
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  if (row < 0) return;
  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = row;
  const int item =
      static_cast<int>(SendMessageW(list_, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
  if (item < 0) return;
  ListView_SetItemState(list_, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list_, item, FALSE);
}

}  // namespace desktop
