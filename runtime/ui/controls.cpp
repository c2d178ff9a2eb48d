#include "runtime/ui/controls.h"

#include <algorithm>
#include <array>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"
#include "runtime/ui/form.h"

namespace rt {

// ---- TControl ----

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  if (TForm* form = ParentForm(); form && form != this) form->ControlDestroying(this);
  if (parent_) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (TWinControl* p = parent; p; p = p->Parent())
    if (p == this) throw EInvalidOperation("A control cannot be its own parent");
  if (parent_) parent_->RemoveControl(this);
  if (parent) parent->InsertControl(this);
}

TForm* TControl::ParentForm() {
  for (TControl* c = this; c; c = c->parent_)
    if (auto* form = dynamic_cast<TForm*>(c)) return form;
  return nullptr;
}

void TControl::SetVisible(bool visible) { visible_ = visible; }
void TControl::SetEnabled(bool enabled) { enabled_ = enabled; }

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

const PropValue* TControl::AppearanceOf(std::string_view name) const {
  auto it = appearance_.find(name);
  return it == appearance_.end() ? nullptr : &it->second;
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

bool TControl::AcceptsAppearance(std::string_view name) const {
  static constexpr std::array<std::string_view, 16> kNames = {
      "Color", "Font.Name", "Font.Height", "Font.Style",  "Font.Color", "Font.Charset", "Anchors", "ParentFont",
      "Align", "Hint",      "ShowHint",    "Transparent", "AutoSize",   "Cursor",       "Shape",   "ParentColor"};
  return std::any_of(kNames.begin(), kNames.end(), [&](std::string_view n) { return gbk::SameText(n, name); });
}

void TControl::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "Left")) {
    SetBounds(PropInt(name, value), top_, width_, height_);
  } else if (gbk::SameText(name, "Top")) {
    SetBounds(left_, PropInt(name, value), width_, height_);
  } else if (gbk::SameText(name, "Width")) {
    SetBounds(left_, top_, PropInt(name, value), height_);
  } else if (gbk::SameText(name, "Height")) {
    SetBounds(left_, top_, width_, PropInt(name, value));
  } else if (gbk::SameText(name, "Visible")) {
    SetVisible(PropBool(name, value));
  } else if (gbk::SameText(name, "Enabled")) {
    SetEnabled(PropBool(name, value));
  } else if (gbk::SameText(name, "Caption") || gbk::SameText(name, "Text")) {
    SetText(PropText(name, value));
  } else if (gbk::SameText(name, "Parent")) {
    const std::string& parent_name = PropText(name, value);
    TComponent* owner = Owner();
    TComponent* found = nullptr;
    if (owner && gbk::SameText(owner->Name(), parent_name)) found = owner;
    else if (owner) found = owner->FindComponent(parent_name);
    auto* parent = dynamic_cast<TWinControl*>(found);
    if (!parent) throw Exception("Parent " + parent_name + " of " + Name() + " is not a windowed control");
    SetParent(parent);
  } else if (AcceptsAppearance(name)) {
    appearance_[std::string(name)] = value;
  } else {
    TComponent::SetProperty(name, value);
  }
}

void TControl::SetEvent(std::string_view event, TNotifyEvent handler) {
  if (gbk::SameText(event, "OnClick")) OnClick = std::move(handler);
  else TComponent::SetEvent(event, std::move(handler));
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // A windowed control frees the controls it holds, as the framework does.
  while (!controls_.empty()) controls_.back()->Free();
  if (handle_) Application().ReleaseHandle(handle_);
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  control->parent_ = this;
  if (auto* win = dynamic_cast<TWinControl*>(control)) tab_list_.push_back(win);
}

void TWinControl::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  tab_list_.erase(std::remove(tab_list_.begin(), tab_list_.end(), control), tab_list_.end());
  control->parent_ = nullptr;
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->tab_list_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int order) {
  if (!Parent()) return;
  auto& list = Parent()->tab_list_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  std::size_t at = std::min<std::size_t>(static_cast<std::size_t>(std::max(order, 0)), list.size());
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), this);
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
    if (dynamic_cast<const TForm*>(c)) return true;
  }
  return false;
}

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  ParentForm()->SetActiveControl(this);
}

bool TWinControl::Focused() const {
  TForm* form = const_cast<TWinControl*>(this)->ParentForm();
  return form && form->ActiveControl() == this;
}

HWND TWinControl::Handle() {
  if (!handle_) handle_ = Application().AllocateHandle(this);
  return handle_;
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
  for (TWinControl* child : tab_list_) {
    list.push_back(child);
    child->GetTabOrderList(list);
  }
}

void TWinControl::KeyDown(Word& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
  if (key != 0) DefaultKeyDown(key, shift);
}

void TWinControl::WndProc(TMessage& message) {
  if (message.msg == WM_KEYDOWN) {
    Word key = static_cast<Word>(message.wparam);
    KeyDown(key, Application().KeyboardState());
  }
}

void TWinControl::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "TabOrder")) SetTabOrder(PropInt(name, value));
  else if (gbk::SameText(name, "TabStop")) SetTabStop(PropBool(name, value));
  else TControl::SetProperty(name, value);
}

void TWinControl::SetKeyEvent(std::string_view event, TKeyEvent handler) {
  if (gbk::SameText(event, "OnKeyDown")) OnKeyDown = std::move(handler);
  else TControl::SetKeyEvent(event, std::move(handler));
}

}  // namespace rt
