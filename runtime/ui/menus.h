// Menus: trees of menu items under the root item of a menu component.
//
// Ownership. A menu item is a component: one made with an owner is freed by
// that owner (and, when freed, leaves the item that holds it); one made with
// no owner belongs to the item that holds it, which frees it. A menu frees
// its root item, and with it every item at every depth that has no owner.
// An item made with no owner that is in no item (never added, or taken out
// by Remove) belongs to whoever made or took it.
//
// In a layout, a menu item is placed with its "Parent" property: the name
// of a menu (the item goes into the menu's root item) or of a menu item,
// found among the components of the item's owner. The item is appended as
// the last item of that parent.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runtime/ui/actions.h"
#include "runtime/ui/component.h"

namespace rt {

class TMenu;

class TMenuItem : public TComponent, public TActionClient {
 public:
  RT_COMPONENT_CLASS(TMenuItem)
  explicit TMenuItem(TComponent* owner) : TComponent(owner) {}
  // Frees the items it holds that have no owner, lets the others go, and
  // leaves the item that holds it.
  ~TMenuItem() override;

  // The items it holds, in order.
  int Count() const { return static_cast<int>(items_.size()); }
  // Raises an error for an index outside 0..Count()-1.
  TMenuItem* Items(int index) const;
  int IndexOf(const TMenuItem* item) const;
  // Appends item as the last item.
  void Add(TMenuItem* item);
  // Inserts item before position index (0..Count()). Raises an error for an
  // item that is already in an item, is a menu's root item, or holds this
  // item (which would make a cycle).
  void Insert(int index, TMenuItem* item);
  // Takes item out without freeing it; nothing happens when it is not here.
  void Remove(TMenuItem* item);
  // The item that holds this one; nullptr for a root item or a loose item.
  TMenuItem* Parent() const { return parent_; }
  // The menu whose tree holds this item; nullptr for a loose tree.
  TMenu* GetParentMenu() const;

  // The item's own caption, or its action's caption when its own is empty.
  std::string Caption() const;
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  // Marks the item that a double click would choose; only a display state.
  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }

  TBasicAction* Action() const { return action_; }
  // Links the item to an action (nullptr unlinks it). The item forgets the
  // action when the action is freed.
  void SetAction(TBasicAction* action);

  TNotifyEvent OnClick;
  // Runs the action when the item has one, else OnClick with the item as
  // sender. The item's own visible and enabled states are not consulted.
  virtual void Click();

  // Settings a layout gave that have no behaviour of their own (Checked,
  // Hint, ShortCut, ImageIndex, Tag, ...); a presenter may read them.
  const std::map<std::string, PropValue, std::less<>>& Appearance() const { return appearance_; }

  // Caption, Visible, Enabled, Default; Action and Parent naming components
  // of the item's owner (an empty name clears them); appearance settings.
  void SetProperty(std::string_view name, const PropValue& value) override;
  // OnClick.
  void SetEvent(std::string_view event, TNotifyEvent handler) override;

  void ActionFreed(TBasicAction* action) override;

 private:
  friend class TMenu;
  std::string caption_;
  bool visible_ = true;
  bool enabled_ = true;
  bool default_ = false;
  TBasicAction* action_ = nullptr;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;  // set on a menu's root item only
  std::vector<TMenuItem*> items_;
  std::map<std::string, PropValue, std::less<>> appearance_;
};

class TMenu : public TComponent {
 public:
  RT_COMPONENT_CLASS(TMenu)
  explicit TMenu(TComponent* owner);
  ~TMenu() override;

  // The root item: its items are the menu's top-level items. It belongs to
  // the menu.
  TMenuItem* Items() const { return items_; }

  // Settings a layout gave that have no behaviour of their own.
  const std::map<std::string, PropValue, std::less<>>& Appearance() const { return appearance_; }

  // Name and appearance settings.
  void SetProperty(std::string_view name, const PropValue& value) override;

 protected:
  virtual bool AcceptsAppearance(std::string_view name) const;

 private:
  TMenuItem* items_;
  std::map<std::string, PropValue, std::less<>> appearance_;
};

class TPopupMenu : public TMenu {
 public:
  RT_COMPONENT_CLASS(TPopupMenu)
  using TMenu::TMenu;

 protected:
  bool AcceptsAppearance(std::string_view name) const override;
};

}  // namespace rt
