// The host package's skinned popup menu. Its root item takes ordinary menu
// items; whoever adds items calls MenuAdded afterwards, so that the menu can
// take the new items into its drawing (here: tell an observer, such as the
// console that shows the menu).
#pragma once

#include <functional>

#include "runtime/ui/menus.h"

namespace rt {

class TsuiPopupMenu : public TPopupMenu {
 public:
  RT_COMPONENT_CLASS(TsuiPopupMenu)
  using TPopupMenu::TPopupMenu;

  // To be called after items were added. Counts the call, then runs the
  // observer if one is set; an error of the observer reaches the caller.
  void MenuAdded();
  int MenuAddedCount() const { return menu_added_count_; }

  using MenuAddedObserver = std::function<void(TsuiPopupMenu& menu)>;
  // Replaces the observer; an empty function removes it.
  void SetMenuAddedObserver(MenuAddedObserver observer) { observer_ = std::move(observer); }

 protected:
  bool AcceptsAppearance(std::string_view name) const override;

 private:
  int menu_added_count_ = 0;
  MenuAddedObserver observer_;
};

}  // namespace rt
