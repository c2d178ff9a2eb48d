// Actions: named commands with a caption and an execute handler, which menu
// items (and other clients) run instead of handlers of their own; and the
// action lists that group them. A list does not own its actions: they
// belong to their owner component like any other component.
#pragma once

#include <string>
#include <vector>

#include "runtime/ui/component.h"

namespace rt {

class TBasicAction;
class TActionList;

// Something that shows or runs an action and must forget it when the action
// is freed (a menu item, for example).
class TActionClient {
 public:
  virtual ~TActionClient() = default;
  virtual void ActionFreed(TBasicAction* action) = 0;
};

class TBasicAction : public TComponent {
 public:
  RT_COMPONENT_CLASS(TBasicAction)
  explicit TBasicAction(TComponent* owner) : TComponent(owner) {}
  // Leaves its list and tells its clients that it is gone.
  ~TBasicAction() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  // Display states; Execute does not consult them (a command named by the
  // host runs whatever its states are).
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }

  TNotifyEvent OnExecute;
  // Runs OnExecute with the action as sender. Returns whether a handler
  // ran. Errors of the handler reach the caller.
  virtual bool Execute();

  // The list the action is in; nullptr for none. Setting it moves the action
  // to the end of the new list.
  TActionList* ActionList() const { return action_list_; }
  void SetActionList(TActionList* list);

  void AddClient(TActionClient* client);
  void RemoveClient(TActionClient* client);

  // Caption, Enabled, Visible, and ActionList naming a list among the
  // components of the action's owner.
  void SetProperty(std::string_view name, const PropValue& value) override;
  // OnExecute.
  void SetEvent(std::string_view event, TNotifyEvent handler) override;

 private:
  friend class TActionList;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  TActionList* action_list_ = nullptr;
  std::vector<TActionClient*> clients_;
};

class TAction : public TBasicAction {
 public:
  RT_COMPONENT_CLASS(TAction)
  using TBasicAction::TBasicAction;
};

class TActionList : public TComponent {
 public:
  RT_COMPONENT_CLASS(TActionList)
  explicit TActionList(TComponent* owner) : TComponent(owner) {}
  // The actions stay; they only leave the list.
  ~TActionList() override;

  int Count() const { return static_cast<int>(actions_.size()); }
  // Raises an error for an index outside 0..Count()-1.
  TBasicAction* Actions(int index) const;
  int IndexOf(const TBasicAction* action) const;
  // Appends the action, taking it out of any other list first.
  void Add(TBasicAction* action);
  void Remove(TBasicAction* action);

 private:
  std::vector<TBasicAction*> actions_;
};

}  // namespace rt
