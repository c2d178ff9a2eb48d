// The record form's commands as a context menu: hiding, letting a hook show
// the fitting items, copying them into the host's menu, and running a
// command found by its item's name.
#include "module/framework/record_form.h"
#include "module/service_calls/result_check.h"
#include "runtime/services/data_service.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/menus.h"

namespace labdocs {

std::int32_t TfrmClsfrmConfig::BuildRightMenu(std::int32_t menu_kind, rt::TsuiPopupMenu* host_menu) {
  std::int32_t result = 1;
  try {
    if (!host_menu) throw rt::Exception("No host menu to fill");
    HideMenuItems(pmMenu->Items());
    switch (menu_kind) {
      case 0: PrepareMenuNoSelection(); break;
      case 1: PrepareMenuSingleSelection(); break;
      case 2: PrepareMenuMultiSelection(); break;
      default: break;
    }
    CopyMenuItems(host_menu->Items(), pmMenu->Items());
    host_menu->MenuAdded();
    result = 0;
  } catch (...) {
    // A menu that cannot be built is no error for the host: it gets no
    // commands, or those copied before the failure.
  }
  return result;
}

std::int32_t TfrmClsfrmConfig::ExecuteMenuItem(std::string_view name) {
  rt::TMenuItem* item = FindMenuItem(pmMenu->Items(), name);
  if (!item) return 1;
  int prepared = 0;
  OleCheck(objDataCtrl->InitControls(pcMain, &prepared));
  // The item's action or click handler; an item with neither runs nothing.
  item->Click();
  if (FListCopied) return 4;
  if (FListDeleted) return 3;
  if (FDataChanged) return 2;
  return 0;
}

void TfrmClsfrmConfig::HideMenuItems(rt::TMenuItem* parent) {
  const int count = parent->Count();
  for (int i = 0; i < count; ++i) {
    rt::TMenuItem* item = parent->Items(i);
    if (item->Count() > 0) HideMenuItems(item);
    item->SetVisible(false);
  }
}

void TfrmClsfrmConfig::CopyMenuItems(rt::TMenuItem* destination, rt::TMenuItem* source) {
  const int count = source->Count();
  for (int i = 0; i < count; ++i) {
    rt::TMenuItem* item = source->Items(i);
    CopyMenuItem(destination, item);
    if (item->Count() > 0) CopyMenuItems(destination->Items(destination->Count() - 1), item);
  }
}

void TfrmClsfrmConfig::CopyMenuItem(rt::TMenuItem* destination, rt::TMenuItem* source) {
  // The copy has no owner: from now on it belongs to the host's menu.
  auto* copy = new rt::TMenuItem(nullptr);
  try {
    copy->SetCaption(source->Caption());
    copy->SetName(source->Name());
    copy->SetVisible(source->Visible());
    copy->SetEnabled(source->Enabled());
    copy->SetDefault(source->Default());
    destination->Add(copy);
  } catch (...) {
    copy->Free();
    throw;
  }
}

rt::TMenuItem* TfrmClsfrmConfig::FindMenuItem(rt::TMenuItem* parent, std::string_view name) {
  const std::string wanted = rt::gbk::UpperCase(rt::gbk::Trim(name));
  for (int i = 0; i < parent->Count(); ++i) {
    rt::TMenuItem* item = parent->Items(i);
    if (item->Count() > 0) {
      if (rt::TMenuItem* found = FindMenuItem(item, name)) return found;
    } else if (rt::gbk::UpperCase(rt::gbk::Trim(item->Name())) == wanted) {
      return item;
    }
  }
  return nullptr;
}

}  // namespace labdocs
