// The table of the control kinds (control_kind.h): a new kind of control is
// one row here and its handlers in a kind_*.cpp. A row names the nearest
// base class that has a row of its own; classes without a row (the
// data-aware and skinned controls) take their nearest base class's.
#include "desktop/control_kind.h"

#include "runtime/services/sui_controls.h"
#include "runtime/ui/image.h"
#include "runtime/ui/stdctrls.h"

namespace desktop {

const std::vector<ControlKind>& ControlKinds() {
  static const std::vector<ControlKind> table = {
      // Holders of values and the other controls that show nothing.
      Row<rt::TControl, rt::TControl>({}),
      Row<rt::TWinControl, rt::TControl>(kinds::Panel()),
      Row<rt::TsuiForm, rt::TWinControl>(kinds::Frame()),
      Row<rt::TPageControl, rt::TWinControl>(kinds::PageControl()),
      Row<rt::TTabSheet, rt::TWinControl>(kinds::TabSheet()),
      Row<rt::TEdit, rt::TWinControl>(kinds::Edit()),
      Row<rt::TMemo, rt::TEdit>(kinds::Memo()),
      Row<rt::TComboBox, rt::TWinControl>(kinds::ComboBox()),
      Row<rt::TListView, rt::TWinControl>(kinds::ListView()),
      Row<rt::TButton, rt::TWinControl>(kinds::Button()),
      Row<rt::TLabel, rt::TControl>(kinds::Label()),
      Row<rt::TBevel, rt::TControl>(kinds::Bevel()),
      Row<rt::TImage, rt::TControl>(kinds::Image()),
  };
  return table;
}

}  // namespace desktop
