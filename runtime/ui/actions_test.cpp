#include "runtime/ui/actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/errors.h"

namespace rt {
namespace {

class TestOwner : public TComponent {
 public:
  RT_COMPONENT_CLASS(TestOwner)
  TestOwner() : TComponent(nullptr) {}
};

class RecordingClient : public TActionClient {
 public:
  void ActionFreed(TBasicAction* action) override { freed.push_back(action); }
  std::vector<TBasicAction*> freed;
};

TEST(ActionTest, ExecuteRunsTheHandlerWithTheActionAsSender) {
  TestOwner form;
  auto* action = new TAction(&form);
  EXPECT_FALSE(action->Execute());

  TObject* sender = nullptr;
  int runs = 0;
  action->OnExecute = [&](TObject* s) {
    sender = s;
    ++runs;
  };
  EXPECT_TRUE(action->Execute());
  EXPECT_EQ(sender, action);
  // The display states do not stop a command.
  action->SetEnabled(false);
  action->SetVisible(false);
  EXPECT_TRUE(action->Execute());
  EXPECT_EQ(runs, 2);

  action->OnExecute = [](TObject*) { throw Exception("删除失败"); };
  EXPECT_THROW(action->Execute(), Exception);
}

TEST(ActionTest, PropertiesAndEventsByName) {
  TestOwner form;
  auto* list = dynamic_cast<TActionList*>(CreateComponent("TActionList", &form));
  ASSERT_NE(list, nullptr);
  list->SetName("acMain");
  auto* action = dynamic_cast<TAction*>(CreateComponent("taction", &form));
  ASSERT_NE(action, nullptr);
  action->SetProperty("Name", std::string("acNew"));
  action->SetProperty("caption", std::string("新增..."));
  action->SetProperty("Enabled", false);
  action->SetProperty("VISIBLE", false);
  action->SetProperty("ActionList", std::string("acmain"));
  int runs = 0;
  action->SetEvent("OnExecute", [&](TObject*) { ++runs; });

  EXPECT_EQ(action->Name(), "acNew");
  EXPECT_EQ(action->Caption(), "新增...");
  EXPECT_FALSE(action->Enabled());
  EXPECT_FALSE(action->Visible());
  EXPECT_EQ(action->ActionList(), list);
  EXPECT_EQ(list->Actions(0), action);
  EXPECT_TRUE(action->Execute());
  EXPECT_EQ(runs, 1);

  EXPECT_THROW(action->SetProperty("Checked", true), Exception);
  EXPECT_THROW(action->SetProperty("Enabled", std::int64_t{1}), EConvertError);
  EXPECT_THROW(action->SetEvent("OnClick", [](TObject*) {}), Exception);
  EXPECT_THROW(action->SetProperty("ActionList", std::string("acNew")), Exception);
  EXPECT_THROW(action->SetProperty("ActionList", std::string("acNone")), Exception);
  EXPECT_EQ(action->ActionList(), list);
  action->SetProperty("ActionList", std::string());
  EXPECT_EQ(action->ActionList(), nullptr);
  EXPECT_EQ(list->Count(), 0);

  TAction loose(nullptr);
  EXPECT_THROW(loose.SetProperty("ActionList", std::string("acMain")), Exception);
}

TEST(ActionListTest, HoldsActionsInOrderWithoutOwningThem) {
  TestOwner form;
  auto* first = new TActionList(&form);
  auto* second = new TActionList(&form);
  auto* a = new TAction(&form);
  auto* b = new TAction(&form);
  auto* c = new TAction(&form);
  first->Add(a);
  first->Add(b);
  c->SetActionList(first);
  ASSERT_EQ(first->Count(), 3);
  EXPECT_EQ(first->Actions(0), a);
  EXPECT_EQ(first->Actions(2), c);
  EXPECT_EQ(first->IndexOf(b), 1);
  EXPECT_THROW(first->Actions(3), Exception);
  EXPECT_THROW(first->Actions(-1), Exception);
  EXPECT_THROW(first->Add(nullptr), Exception);

  // Adding moves an action from its old list to the end of the new one.
  second->Add(a);
  EXPECT_EQ(first->IndexOf(a), -1);
  EXPECT_EQ(first->Count(), 2);
  EXPECT_EQ(a->ActionList(), second);

  // A freed action leaves its list; a freed list lets its actions go.
  b->Free();
  EXPECT_EQ(first->Count(), 1);
  EXPECT_EQ(first->Actions(0), c);
  first->Free();
  EXPECT_EQ(c->ActionList(), nullptr);
  EXPECT_EQ(form.FindComponent(""), nullptr);
  EXPECT_EQ(form.ComponentCount(), 3);  // second, a, c
}

TEST(ActionTest, ClientsAreToldOnceWhenTheActionIsFreed) {
  TestOwner form;
  auto* action = new TAction(&form);
  auto* other = new TAction(&form);
  RecordingClient told, left;
  action->AddClient(&told);
  action->AddClient(&told);
  action->AddClient(&left);
  action->RemoveClient(&left);
  other->AddClient(&told);
  action->Free();
  EXPECT_EQ(told.freed, (std::vector<TBasicAction*>{action}));
  EXPECT_TRUE(left.freed.empty());
  other->RemoveClient(&told);
  other->Free();
  EXPECT_EQ(told.freed.size(), 1u);
}

}  // namespace
}  // namespace rt
