// Page controls: a tab control with a panel per sheet, of which the active
// page's shows; the tab the person chooses becomes the model's active page.
#include "desktop/control_kind.h"

#include <commctrl.h>

#include <vector>

#include "desktop/form_window.h"
#include "desktop/wide_text.h"
#include "runtime/ui/stdctrls.h"

namespace desktop::kinds {
namespace {

// The sheets in tab order.
std::vector<rt::TTabSheet*> SheetsOf(const rt::TWinControl& pages) {
  std::vector<rt::TTabSheet*> sheets;
  for (int i = 0; i < pages.ControlCount(); ++i)
    if (auto* sheet = dynamic_cast<rt::TTabSheet*>(pages.Controls(i))) sheets.push_back(sheet);
  return sheets;
}

void Make(FormWindow& form, rt::TControl& control, HWND parent) {
  auto& pages = dynamic_cast<rt::TPageControl&>(control);
  const HWND tab = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                   pages.Left(), pages.Top(), pages.Width(), pages.Height(), parent, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  form.Adopt(pages, tab);
  const std::vector<rt::TTabSheet*> sheets = SheetsOf(pages);
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    std::wstring caption = Wide(sheets[i]->Caption());
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  RECT page{0, 0, pages.Width(), pages.Height()};
  SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  for (rt::TTabSheet* sheet : sheets) {
    const HWND panel = form.MakePanel(*sheet, tab, page.left, page.top, page.right - page.left, page.bottom - page.top);
    form.Build(*sheet, panel);
  }
}

void Sync(FormWindow&, HWND window, rt::TControl& control) {
  ShowState(window, control);
  auto& pages = dynamic_cast<rt::TPageControl&>(control);
  const std::vector<rt::TTabSheet*> sheets = SheetsOf(pages);
  for (std::size_t i = 0; i < sheets.size(); ++i)
    if (pages.ActivePage() == sheets[i]) TabCtrl_SetCurSel(window, static_cast<int>(i));
}

void Command(FormWindow& form, HWND window, rt::TControl& control, UINT code, const NMHDR*) {
  if (code != TCN_SELCHANGE) return;
  auto& pages = dynamic_cast<rt::TPageControl&>(control);
  const std::vector<rt::TTabSheet*> sheets = SheetsOf(pages);
  const int index = TabCtrl_GetCurSel(window);
  if (index < 0 || static_cast<std::size_t>(index) >= sheets.size()) return;
  rt::TTabSheet* sheet = sheets[static_cast<std::size_t>(index)];
  form.Queue([&pages, sheet] { pages.SetActivePage(sheet); });
}

// A sheet shows when it is its page control's active page (and visible);
// its page control makes it.
void SyncSheet(FormWindow&, HWND window, rt::TControl& control) {
  const auto* pages = dynamic_cast<const rt::TPageControl*>(control.Parent());
  const bool active = pages && pages->ActivePage() == &control;
  ShowWindow(window, active && control.Visible() ? SW_SHOWNA : SW_HIDE);
  EnableWindow(window, control.Enabled());
}

}  // namespace

KindHandlers PageControl() { return {.make = Make, .sync = Sync, .command = Command}; }

KindHandlers TabSheet() { return {.sync = SyncSheet}; }

}  // namespace desktop::kinds
