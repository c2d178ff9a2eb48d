#include "runtime/ui/actions.h"

#include <algorithm>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TAction);
RT_REGISTER_COMPONENT(TActionList);

TBasicAction::~TBasicAction() {
  if (action_list_) action_list_->Remove(this);
  // A client may leave the list while it is told; work on a copy.
  std::vector<TActionClient*> clients;
  clients.swap(clients_);
  for (TActionClient* client : clients) client->ActionFreed(this);
}

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

void TBasicAction::SetActionList(TActionList* list) {
  if (list) list->Add(this);
  else if (action_list_) action_list_->Remove(this);
}

void TBasicAction::AddClient(TActionClient* client) {
  if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) clients_.push_back(client);
}

void TBasicAction::RemoveClient(TActionClient* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

void TBasicAction::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "Caption")) {
    SetCaption(PropText(name, value));
  } else if (gbk::SameText(name, "Enabled")) {
    SetEnabled(PropBool(name, value));
  } else if (gbk::SameText(name, "Visible")) {
    SetVisible(PropBool(name, value));
  } else if (gbk::SameText(name, "ActionList")) {
    const std::string& list_name = PropText(name, value);
    if (list_name.empty()) {
      SetActionList(nullptr);
      return;
    }
    auto* list = dynamic_cast<TActionList*>(Owner() ? Owner()->FindComponent(list_name) : nullptr);
    if (!list) throw Exception("ActionList " + list_name + " of " + Name() + " is not an action list");
    SetActionList(list);
  } else {
    TComponent::SetProperty(name, value);
  }
}

void TBasicAction::SetEvent(std::string_view event, TNotifyEvent handler) {
  if (gbk::SameText(event, "OnExecute")) OnExecute = std::move(handler);
  else TComponent::SetEvent(event, std::move(handler));
}

TActionList::~TActionList() {
  for (TBasicAction* action : actions_) action->action_list_ = nullptr;
}

TBasicAction* TActionList::Actions(int index) const {
  if (index < 0 || index >= Count())
    throw Exception("Action index " + std::to_string(index) + " out of bounds in " + Name());
  return actions_[static_cast<std::size_t>(index)];
}

int TActionList::IndexOf(const TBasicAction* action) const {
  auto it = std::find(actions_.begin(), actions_.end(), action);
  return it == actions_.end() ? -1 : static_cast<int>(it - actions_.begin());
}

void TActionList::Add(TBasicAction* action) {
  if (!action) throw Exception("No action to add to " + Name());
  if (action->action_list_) action->action_list_->Remove(action);
  actions_.push_back(action);
  action->action_list_ = this;
}

void TActionList::Remove(TBasicAction* action) {
  auto it = std::find(actions_.begin(), actions_.end(), action);
  if (it == actions_.end()) return;
  actions_.erase(it);
  action->action_list_ = nullptr;
}

}  // namespace rt
