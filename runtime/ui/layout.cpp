#include "runtime/ui/layout.h"

#include <algorithm>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {
namespace {

void MergeEvents(std::vector<EventBinding>& into, std::vector<EventBinding> events) {
  for (EventBinding& e : events) {
    auto same = [&](const EventBinding& b) { return gbk::SameText(b.event, e.event); };
    into.erase(std::remove_if(into.begin(), into.end(), same), into.end());
    into.push_back(std::move(e));
  }
}

}  // namespace

Layout& Layout::Form(std::vector<Prop> props, std::vector<EventBinding> events) {
  for (Prop& p : props) form_props_.push_back(std::move(p));
  MergeEvents(form_events_, std::move(events));
  return *this;
}

Layout& Layout::Add(ComponentDecl decl) {
  if (Find(decl.name)) throw Exception("The layout already has a component named " + decl.name);
  components_.push_back(std::move(decl));
  return *this;
}

Layout& Layout::Change(std::string_view name, std::vector<Prop> props, std::vector<EventBinding> events) {
  auto it = std::find_if(components_.begin(), components_.end(),
                         [&](const ComponentDecl& d) { return gbk::SameText(d.name, name); });
  if (it == components_.end()) throw Exception("The layout has no component named " + std::string(name));
  for (Prop& p : props) it->props.push_back(std::move(p));
  MergeEvents(it->events, std::move(events));
  return *this;
}

const ComponentDecl* Layout::Find(std::string_view name) const {
  for (const ComponentDecl& d : components_)
    if (gbk::SameText(d.name, name)) return &d;
  return nullptr;
}

}  // namespace rt
