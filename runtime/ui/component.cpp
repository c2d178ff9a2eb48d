#include "runtime/ui/component.h"

#include <algorithm>
#include <map>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {

TComponent::TComponent(TComponent* owner) : owner_(nullptr) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Owned components go last-created first, each freed whole.
  while (!components_.empty()) components_.back()->Free();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::Free() {
  BeforeDestruction();
  delete this;
}

void TComponent::SetName(std::string name) {
  if (owner_ && !name.empty()) {
    TComponent* other = owner_->FindComponent(name);
    if (other && other != this) throw Exception("A component named " + name + " already exists");
  }
  name_ = std::move(name);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (gbk::SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "Name")) {
    SetName(PropText(name, value));
    return;
  }
  throw Exception(std::string(ClassName()) + " has no property " + std::string(name));
}

void TComponent::SetEvent(std::string_view event, TNotifyEvent) {
  throw Exception(std::string(ClassName()) + " has no event " + std::string(event));
}

void TComponent::SetKeyEvent(std::string_view event, TKeyEvent) {
  throw Exception(std::string(ClassName()) + " has no key event " + std::string(event));
}

void TComponent::InsertComponent(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end()) components_.erase(it);
  component->owner_ = nullptr;
}

namespace {
template <class T>
const T& PropAs(std::string_view name, const PropValue& value, const char* kind) {
  if (const T* v = std::get_if<T>(&value)) return *v;
  throw EConvertError("Property " + std::string(name) + " expects " + kind);
}
}  // namespace

bool PropBool(std::string_view name, const PropValue& value) { return PropAs<bool>(name, value, "a flag"); }
int PropInt(std::string_view name, const PropValue& value) {
  return static_cast<int>(PropAs<std::int64_t>(name, value, "a number"));
}
const std::string& PropText(std::string_view name, const PropValue& value) {
  return PropAs<std::string>(name, value, "a text");
}
const std::vector<std::string>& PropList(std::string_view name, const PropValue& value) {
  return PropAs<std::vector<std::string>>(name, value, "a list of texts");
}

namespace {
std::map<std::string, ComponentFactory, std::less<>>& Registry() {
  static std::map<std::string, ComponentFactory, std::less<>> registry;
  return registry;
}
}  // namespace

void RegisterComponentClass(std::string_view class_name, ComponentFactory factory) {
  Registry()[gbk::UpperCase(class_name)] = std::move(factory);
}

TComponent* CreateComponent(std::string_view class_name, TComponent* owner) {
  auto it = Registry().find(gbk::UpperCase(class_name));
  if (it == Registry().end()) throw Exception("Class " + std::string(class_name) + " not found");
  return it->second(owner);
}

}  // namespace rt
