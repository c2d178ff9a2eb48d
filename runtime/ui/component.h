// The component model: objects with an owner that frees what it owns, a name
// by which the owner finds them, and properties that a declarative layout
// sets by name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rt {

class TComponent;

// The common root of everything that can be the sender of an event.
class TObject {
 public:
  virtual ~TObject() = default;
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
};

// A property value of a layout: a flag, a number, a text, or a list of texts
// (string lists and sets such as Anchors or Options).
using PropValue = std::variant<bool, std::int64_t, std::string, std::vector<std::string>>;

using TNotifyEvent = std::function<void(TObject* sender)>;
// A key event: the handler may change the key (0 consumes it).
using TKeyEvent = std::function<void(TObject* sender, std::uint16_t& key, unsigned shift)>;

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  // Frees the component: BeforeDestruction runs while the object is whole
  // (so virtual handlers such as a form's destruction handler still run),
  // then the object is deleted together with everything it owns.
  void Free();
  virtual void BeforeDestruction() {}

  const std::string& Name() const { return name_; }
  void SetName(std::string name);

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
  // Finds an owned component by name, without regard to case; nullptr if none.
  TComponent* FindComponent(std::string_view name) const;

  // Sets a property by name, as a layout does. Unknown names are an error, so
  // that a layout cannot silently set nothing.
  virtual void SetProperty(std::string_view name, const PropValue& value);
  // Binds an event by name to a handler. Unknown events are an error.
  virtual void SetEvent(std::string_view event, TNotifyEvent handler);
  virtual void SetKeyEvent(std::string_view event, TKeyEvent handler);

  virtual std::string_view ClassName() const = 0;

 private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* owner_;
  std::string name_;
  std::vector<TComponent*> components_;
};

// Property helpers for SetProperty overrides; each raises a clear error for a
// value of the wrong kind.
bool PropBool(std::string_view name, const PropValue& value);
int PropInt(std::string_view name, const PropValue& value);
const std::string& PropText(std::string_view name, const PropValue& value);
const std::vector<std::string>& PropList(std::string_view name, const PropValue& value);

// Registry of component classes by name, used to build layouts.
using ComponentFactory = std::function<TComponent*(TComponent* owner)>;
void RegisterComponentClass(std::string_view class_name, ComponentFactory factory);
// Creates a component of a registered class; an unknown class is an error.
TComponent* CreateComponent(std::string_view class_name, TComponent* owner);

// Registers a class at static-initialisation time:
//   RT_REGISTER_COMPONENT(TsuiButton);
template <class T>
struct ComponentRegistration {
  explicit ComponentRegistration(std::string_view name) {
    RegisterComponentClass(name, [](TComponent* owner) -> TComponent* { return new T(owner); });
  }
};
#define RT_COMPONENT_CLASS(T) \
  std::string_view ClassName() const override { return #T; }
// clang-format off
#define RT_REGISTER_COMPONENT(T) static const ::rt::ComponentRegistration<T> registration_##T{#T}
// clang-format on

}  // namespace rt
