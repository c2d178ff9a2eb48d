// Declarative form layouts: which components a form has, of which class,
// where they sit, their properties and their event bindings. A subclass's
// layout starts from its base class's layout, adds components and changes
// properties of inherited ones.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "runtime/ui/component.h"

namespace rt {

struct Prop {
  std::string name;
  PropValue value;
};

// An event bound to a published method of the form, by name.
struct EventBinding {
  std::string event;
  std::string method;
};

struct ComponentDecl {
  std::string name;
  std::string class_name;
  std::string parent;  // a windowed control or menu, by name; empty: a control lies on the form
  std::vector<Prop> props;
  std::vector<EventBinding> events;
};

class Layout {
 public:
  // The form's own properties and events.
  Layout& Form(std::vector<Prop> props, std::vector<EventBinding> events = {});
  // A new component; components are created in the order they are added.
  Layout& Add(ComponentDecl decl);
  // Changes an inherited component: the properties are set after the
  // inherited ones, events replace inherited bindings of the same event.
  // Raises an error when no such component was declared.
  Layout& Change(std::string_view name, std::vector<Prop> props, std::vector<EventBinding> events = {});

  const std::vector<Prop>& FormProps() const { return form_props_; }
  const std::vector<EventBinding>& FormEvents() const { return form_events_; }
  const std::vector<ComponentDecl>& Components() const { return components_; }
  const ComponentDecl* Find(std::string_view name) const;

 private:
  std::vector<Prop> form_props_;
  std::vector<EventBinding> form_events_;
  std::vector<ComponentDecl> components_;
};

}  // namespace rt
