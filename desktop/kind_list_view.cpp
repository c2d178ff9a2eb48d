// List views (rt::TListView): the rows in a report list-view of single
// selection built as the main window's list (row_list.h). A row the person
// selects becomes the model's selection; the model's rows are shown again
// when they changed (rt::TListView::RowsChanged), its selection always.
#include "desktop/control_kind.h"

#include <commctrl.h>

#include <cstdint>
#include <memory>

#include "desktop/form_window.h"
#include "desktop/row_list.h"
#include "runtime/ui/input.h"
#include "runtime/ui/stdctrls.h"

namespace desktop::kinds {
namespace {

struct ListState : KindState {
  std::unique_ptr<RowList> rows;
  std::uint64_t rows_shown = 0;  // the model's count of changes shown
  bool shown = false;
};

void Make(FormWindow& form, rt::TControl& control, HWND parent) {
  auto rows = std::make_unique<RowList>(parent, 0, LVS_SINGLESEL);
  const HWND window = rows->Handle();
  SetWindowPos(window, nullptr, control.Left(), control.Top(), control.Width(), control.Height(),
               SWP_NOZORDER | SWP_NOACTIVATE);
  form.StateOf<ListState>(window).rows = std::move(rows);
  form.Adopt(control, window);
}

void Sync(FormWindow& form, HWND window, rt::TControl& control) {
  ShowState(window, control);
  const auto& list = dynamic_cast<const rt::TListView&>(control);
  ListState& shown = form.StateOf<ListState>(window);
  if (!shown.shown || shown.rows_shown != list.RowsChanged()) {
    shown.rows->Show(list.Rows());
    shown.rows_shown = list.RowsChanged();
    shown.shown = true;
  }
  if (shown.rows->FocusedRow() != list.ItemIndex()) shown.rows->Select(list.ItemIndex());
}

void Command(FormWindow& form, HWND window, rt::TControl& control, UINT code, const NMHDR* notification) {
  if (code == NM_SETFOCUS) form.Queue([&form] { form.TakeFocusFromWindows(); });
  if (code != LVN_ITEMCHANGED || !notification) return;
  // A row the person selected (by a click or the arrow keys): the model's
  // selection follows, read when the action runs.
  const auto& change = *reinterpret_cast<const NMLISTVIEW*>(notification);
  if ((change.uChanged & LVIF_STATE) == 0 || ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) == 0) return;
  auto& list = dynamic_cast<rt::TListView&>(control);
  RowList* rows = form.StateOf<ListState>(window).rows.get();
  form.Queue([&list, rows] {
    const int row = rows->FocusedRow();
    if (row != list.ItemIndex()) rt::input::SelectRow(list, row);
  });
}

}  // namespace

KindHandlers ListView() { return {.make = Make, .sync = Sync, .command = Command}; }

}  // namespace desktop::kinds
