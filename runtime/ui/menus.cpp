#include "runtime/ui/menus.h"

#include <algorithm>
#include <array>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TMenuItem);
RT_REGISTER_COMPONENT(TPopupMenu);

namespace {

template <std::size_t N>
bool IsOneOf(std::string_view name, const std::array<std::string_view, N>& names) {
  return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return gbk::SameText(n, name); });
}

std::string ItemLabel(const TMenuItem& item) { return item.Name().empty() ? std::string("a menu item") : item.Name(); }

}  // namespace

// ---- TMenuItem ----

TMenuItem::~TMenuItem() {
  if (action_) action_->RemoveClient(this);
  std::vector<TMenuItem*> items;
  items.swap(items_);
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    TMenuItem* item = *it;
    item->parent_ = nullptr;
    if (!item->Owner()) item->Free();
  }
  if (parent_) parent_->Remove(this);
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count())
    throw Exception("Menu index " + std::to_string(index) + " out of bounds in " + ItemLabel(*this));
  return items_[static_cast<std::size_t>(index)];
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item) throw Exception("No menu item to insert into " + ItemLabel(*this));
  if (item->parent_) throw Exception("Menu item " + ItemLabel(*item) + " is already in a menu");
  if (item->menu_) throw Exception("The root item of a menu cannot be inserted into another item");
  for (const TMenuItem* p = this; p; p = p->parent_)
    if (p == item) throw Exception("Menu item " + ItemLabel(*item) + " cannot hold itself");
  if (index < 0 || index > Count())
    throw Exception("Menu index " + std::to_string(index) + " out of bounds in " + ItemLabel(*this));
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* root = this;
  while (root->parent_) root = root->parent_;
  return root->menu_;
}

std::string TMenuItem::Caption() const {
  if (caption_.empty() && action_) return action_->Caption();
  return caption_;
}

void TMenuItem::SetAction(TBasicAction* action) {
  if (action == action_) return;
  if (action_) action_->RemoveClient(this);
  action_ = action;
  if (action_) action_->AddClient(this);
}

void TMenuItem::ActionFreed(TBasicAction* action) {
  if (action == action_) action_ = nullptr;
}

void TMenuItem::Click() {
  if (action_) action_->Execute();
  else if (OnClick) OnClick(this);
}

void TMenuItem::SetProperty(std::string_view name, const PropValue& value) {
  static constexpr std::array<std::string_view, 8> kAppearance = {"Checked", "Hint",       "ShortCut",  "ImageIndex",
                                                                  "Tag",     "GroupIndex", "RadioItem", "AutoCheck"};
  if (gbk::SameText(name, "Caption")) {
    SetCaption(PropText(name, value));
  } else if (gbk::SameText(name, "Visible")) {
    SetVisible(PropBool(name, value));
  } else if (gbk::SameText(name, "Enabled")) {
    SetEnabled(PropBool(name, value));
  } else if (gbk::SameText(name, "Default")) {
    SetDefault(PropBool(name, value));
  } else if (gbk::SameText(name, "Action")) {
    const std::string& action_name = PropText(name, value);
    if (action_name.empty()) {
      SetAction(nullptr);
      return;
    }
    auto* action = dynamic_cast<TBasicAction*>(Owner() ? Owner()->FindComponent(action_name) : nullptr);
    if (!action) throw Exception("Action " + action_name + " of " + ItemLabel(*this) + " is not an action");
    SetAction(action);
  } else if (gbk::SameText(name, "Parent")) {
    const std::string& parent_name = PropText(name, value);
    TMenuItem* target = nullptr;
    if (!parent_name.empty()) {
      TComponent* found = Owner() ? Owner()->FindComponent(parent_name) : nullptr;
      if (auto* menu = dynamic_cast<TMenu*>(found)) target = menu->Items();
      else target = dynamic_cast<TMenuItem*>(found);
      if (!target) throw Exception("Parent " + parent_name + " of " + ItemLabel(*this) + " is not a menu or menu item");
    }
    if (target == parent_) return;
    for (const TMenuItem* p = target; p; p = p->parent_)
      if (p == this) throw Exception("Menu item " + ItemLabel(*this) + " cannot hold itself");
    if (parent_) parent_->Remove(this);
    if (target) target->Add(this);
  } else if (IsOneOf(name, kAppearance)) {
    appearance_[std::string(name)] = value;
  } else {
    TComponent::SetProperty(name, value);
  }
}

void TMenuItem::SetEvent(std::string_view event, TNotifyEvent handler) {
  if (gbk::SameText(event, "OnClick")) OnClick = std::move(handler);
  else TComponent::SetEvent(event, std::move(handler));
}

// ---- TMenu ----

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) { items_->menu_ = this; }

TMenu::~TMenu() { items_->Free(); }

bool TMenu::AcceptsAppearance(std::string_view name) const {
  static constexpr std::array<std::string_view, 3> kNames = {"Images", "AutoHotkeys", "BiDiMode"};
  return IsOneOf(name, kNames);
}

void TMenu::SetProperty(std::string_view name, const PropValue& value) {
  if (AcceptsAppearance(name)) appearance_[std::string(name)] = value;
  else TComponent::SetProperty(name, value);
}

bool TPopupMenu::AcceptsAppearance(std::string_view name) const {
  static constexpr std::array<std::string_view, 4> kNames = {"AutoPopup", "Alignment", "TrackButton", "MenuAnimation"};
  return IsOneOf(name, kNames) || TMenu::AcceptsAppearance(name);
}

}  // namespace rt
