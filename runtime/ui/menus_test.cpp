#include "runtime/ui/menus.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/ui/actions.h"

namespace rt {
namespace {

class TestOwner : public TComponent {
 public:
  RT_COMPONENT_CLASS(TestOwner)
  TestOwner() : TComponent(nullptr) {}
};

// A menu item that counts the live instances, so that tests see exactly
// which items were freed.
class CountedItem : public TMenuItem {
 public:
  static inline int live = 0;
  explicit CountedItem(TComponent* owner, std::string caption = {}) : TMenuItem(owner) {
    ++live;
    SetCaption(std::move(caption));
  }
  ~CountedItem() override { --live; }
};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override { CountedItem::live = 0; }
  void TearDown() override { EXPECT_EQ(CountedItem::live, 0) << "menu items leaked"; }
};

std::vector<std::string> Captions(const TMenuItem& parent) {
  std::vector<std::string> out;
  for (int i = 0; i < parent.Count(); ++i) out.push_back(parent.Items(i)->Caption());
  return out;
}

using CaptionList = std::vector<std::string>;

// ---- ownership ----

TEST_F(MenuTest, FreeingAPopupMenuFreesItsItemsAtEveryDepth) {
  auto* menu = new TPopupMenu(nullptr);
  auto* open = new CountedItem(nullptr, "打开文档");
  auto* sub = new CountedItem(nullptr, "目录");
  menu->Items()->Add(open);
  menu->Items()->Add(sub);
  sub->Add(new CountedItem(nullptr, "删除目录"));
  auto* deeper = new CountedItem(nullptr, "复制");
  sub->Add(deeper);
  deeper->Add(new CountedItem(nullptr, "复制目录"));
  EXPECT_EQ(CountedItem::live, 5);
  EXPECT_EQ(deeper->GetParentMenu(), menu);
  menu->Free();
  EXPECT_EQ(CountedItem::live, 0);
}

TEST_F(MenuTest, FreeingAnItemFreesItsSubTreeAndLeavesItsParent) {
  TPopupMenu menu(nullptr);
  auto* first = new CountedItem(nullptr, "a");
  auto* branch = new CountedItem(nullptr, "b");
  auto* last = new CountedItem(nullptr, "c");
  menu.Items()->Add(first);
  menu.Items()->Add(branch);
  menu.Items()->Add(last);
  branch->Add(new CountedItem(nullptr, "b1"));
  branch->Items(0)->Add(new CountedItem(nullptr, "b11"));
  branch->Free();
  EXPECT_EQ(CountedItem::live, 2);
  EXPECT_EQ(Captions(*menu.Items()), (CaptionList{"a", "c"}));
}

TEST_F(MenuTest, AnItemWithAnOwnerIsFreedByItsOwnerNotByItsParent) {
  auto* form = new TestOwner();
  auto* menu = new TPopupMenu(form);
  auto* owned = new CountedItem(form, "属性");
  auto* loose = new CountedItem(nullptr, "loose");
  menu->Items()->Add(owned);
  owned->Add(loose);  // belongs to owned, since it has no owner
  menu->Free();
  // The owned item left the freed menu and kept its own sub-item.
  ASSERT_EQ(CountedItem::live, 2);
  EXPECT_EQ(owned->Parent(), nullptr);
  EXPECT_EQ(owned->GetParentMenu(), nullptr);
  EXPECT_EQ(loose->Parent(), owned);
  form->Free();
}

TEST_F(MenuTest, AnOwnedItemLeavesItsParentWhenItsOwnerFreesIt) {
  TPopupMenu menu(nullptr);
  auto* form = new TestOwner();
  menu.Items()->Add(new CountedItem(nullptr, "first"));
  auto* owned = new CountedItem(form, "owned");
  menu.Items()->Add(owned);
  menu.Items()->Add(new CountedItem(nullptr, "last"));
  form->Free();
  EXPECT_EQ(Captions(*menu.Items()), (CaptionList{"first", "last"}));
}

TEST_F(MenuTest, AFormFreesItsMenuAndItemsInEitherOrder) {
  // Menu created before its items: the form frees the items first.
  auto* form = new TestOwner();
  auto* menu = new TPopupMenu(form);
  auto* item = new CountedItem(form, "x");
  menu->Items()->Add(item);
  item->Add(new CountedItem(nullptr, "x1"));
  form->Free();
  EXPECT_EQ(CountedItem::live, 0);

  // Items created before their menu: the form frees the menu first.
  form = new TestOwner();
  item = new CountedItem(form, "y");
  menu = new TPopupMenu(form);
  menu->Items()->Add(item);
  item->Add(new CountedItem(nullptr, "y1"));
  form->Free();
}

TEST_F(MenuTest, ARemovedItemIsNoLongerFreedByItsFormerParent) {
  auto* menu = new TPopupMenu(nullptr);
  auto* item = new CountedItem(nullptr, "x");
  menu->Items()->Add(item);
  menu->Items()->Remove(item);
  menu->Items()->Remove(item);  // not there any more: nothing happens
  EXPECT_EQ(item->Parent(), nullptr);
  menu->Free();
  EXPECT_EQ(CountedItem::live, 1);
  item->Free();
}

// ---- structure ----

TEST_F(MenuTest, AddInsertIndexOf) {
  TPopupMenu menu(nullptr);
  TMenuItem* root = menu.Items();
  auto* b = new CountedItem(nullptr, "b");
  root->Add(b);
  root->Add(new CountedItem(nullptr, "d"));
  root->Insert(0, new CountedItem(nullptr, "a"));
  root->Insert(2, new CountedItem(nullptr, "c"));
  root->Insert(root->Count(), new CountedItem(nullptr, "e"));
  EXPECT_EQ(Captions(*root), (CaptionList{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(root->IndexOf(b), 1);
  EXPECT_EQ(b->Parent(), root);
  EXPECT_EQ(root->Parent(), nullptr);
  EXPECT_EQ(root->GetParentMenu(), &menu);

  CountedItem stranger(nullptr);
  EXPECT_EQ(root->IndexOf(&stranger), -1);
  EXPECT_THROW(root->Items(5), Exception);
  EXPECT_THROW(root->Items(-1), Exception);
  EXPECT_THROW(root->Insert(7, &stranger), Exception);
  EXPECT_THROW(root->Insert(-1, &stranger), Exception);
  EXPECT_EQ(stranger.Parent(), nullptr);
}

TEST_F(MenuTest, RefusesInsertionsThatWouldBreakTheTree) {
  TPopupMenu menu(nullptr);
  TPopupMenu other(nullptr);
  auto* a = new CountedItem(nullptr, "a");
  auto* b = new CountedItem(nullptr, "b");
  menu.Items()->Add(a);
  a->Add(b);
  EXPECT_THROW(other.Items()->Add(a), Exception);  // already in a menu
  EXPECT_THROW(b->Add(b), Exception);              // itself
  auto* loose = new CountedItem(nullptr, "loose");
  a->Remove(b);
  b->Add(loose);
  EXPECT_THROW(loose->Add(b), Exception);          // would be its own ancestor
  EXPECT_THROW(a->Add(other.Items()), Exception);  // a menu's root
  EXPECT_THROW(a->Add(nullptr), Exception);
  EXPECT_EQ(a->Count(), 0);
  EXPECT_EQ(loose->Count(), 0);
  b->Free();
}

// ---- caption, action and click ----

TEST_F(MenuTest, CaptionFallsBackToTheActionsCaption) {
  TestOwner form;
  auto* action = new TAction(&form);
  action->SetCaption("复制目录");
  CountedItem item(nullptr);
  item.SetAction(action);
  EXPECT_EQ(item.Caption(), "复制目录");
  item.SetCaption("新增文档...");
  EXPECT_EQ(item.Caption(), "新增文档...");
  item.SetCaption("");
  action->Free();
  EXPECT_EQ(item.Action(), nullptr);
  EXPECT_EQ(item.Caption(), "");

  // The other way round: an item freed first is no longer told about its
  // action (the address sanitizer catches a late notification).
  action = new TAction(&form);
  auto* early = new CountedItem(nullptr);
  early->SetAction(action);
  item.SetAction(action);
  early->Free();
  action->Free();
  EXPECT_EQ(item.Action(), nullptr);
}

TEST_F(MenuTest, ClickRunsTheActionElseTheClickHandler) {
  TestOwner form;
  auto* action = new TAction(&form);
  std::vector<std::string> ran;
  TObject* action_sender = nullptr;
  TObject* click_sender = nullptr;
  action->OnExecute = [&](TObject* sender) {
    ran.push_back("action");
    action_sender = sender;
  };
  CountedItem item(nullptr);
  item.OnClick = [&](TObject* sender) {
    ran.push_back("click");
    click_sender = sender;
  };

  item.Click();
  EXPECT_EQ(ran, (std::vector<std::string>{"click"}));
  EXPECT_EQ(click_sender, &item);

  item.SetAction(action);
  item.SetVisible(false);
  item.SetEnabled(false);  // the item's states are not consulted
  item.Click();
  EXPECT_EQ(ran, (std::vector<std::string>{"click", "action"}));
  EXPECT_EQ(action_sender, action);

  // An action without handler runs nothing, not even the item's handler.
  action->OnExecute = nullptr;
  item.Click();
  EXPECT_EQ(ran.size(), 2u);

  CountedItem bare(nullptr);
  EXPECT_NO_THROW(bare.Click());

  item.SetAction(nullptr);
  item.OnClick = [](TObject*) { throw Exception("失败"); };
  EXPECT_THROW(item.Click(), Exception);
}

// ---- properties by name ----

class MenuLayoutTest : public MenuTest {
 protected:
  // Builds components by class name, as a layout does.
  template <class T>
  T* Make(std::string_view class_name, std::string name) {
    TComponent* c = CreateComponent(class_name, form_.get());
    c->SetName(std::move(name));
    auto* typed = dynamic_cast<T*>(c);
    EXPECT_NE(typed, nullptr) << class_name;
    return typed;
  }
  void TearDown() override {
    form_.release()->Free();
    MenuTest::TearDown();
  }
  std::unique_ptr<TestOwner> form_ = std::make_unique<TestOwner>();
};

TEST_F(MenuLayoutTest, ItemsArePlacedAndLinkedByName) {
  auto* list = Make<TActionList>("TActionList", "acMain");
  auto* ac_new = Make<TAction>("TAction", "acNew");
  ac_new->SetProperty("Caption", std::string("新增..."));
  ac_new->SetProperty("ActionList", std::string("ACMAIN"));
  auto* menu = Make<TPopupMenu>("TPopupMenu", "pmMenu");
  menu->SetProperty("AutoPopup", false);

  auto* mi_new = Make<TMenuItem>("TMenuItem", "miNew");
  mi_new->SetProperty("Parent", std::string("pmMenu"));
  mi_new->SetProperty("Caption", std::string("新增文档..."));
  mi_new->SetProperty("Action", std::string("acnew"));
  auto* mi_open = Make<TMenuItem>("tmenuitem", "miOpenFile");
  mi_open->SetProperty("parent", std::string("pmMenu"));
  mi_open->SetProperty("DEFAULT", true);
  mi_open->SetProperty("Visible", false);
  mi_open->SetProperty("Enabled", false);
  mi_open->SetProperty("ShortCut", std::int64_t{16463});
  auto* mi_sub = Make<TMenuItem>("TMenuItem", "miSub");
  mi_sub->SetProperty("Parent", std::string("pmMenu"));
  auto* mi_leaf = Make<TMenuItem>("TMenuItem", "miLeaf");
  mi_leaf->SetProperty("Parent", std::string("miSub"));
  int clicks = 0;
  mi_leaf->SetEvent("onclick", [&](TObject*) { ++clicks; });

  EXPECT_EQ(list->Count(), 1);
  EXPECT_EQ(ac_new->ActionList(), list);
  ASSERT_EQ(menu->Items()->Count(), 3);
  EXPECT_EQ(menu->Items()->Items(0), mi_new);
  EXPECT_EQ(menu->Items()->Items(1), mi_open);
  EXPECT_EQ(menu->Items()->Items(2), mi_sub);
  EXPECT_EQ(mi_leaf->Parent(), mi_sub);
  EXPECT_EQ(mi_leaf->GetParentMenu(), menu);
  EXPECT_EQ(mi_new->Action(), ac_new);
  EXPECT_EQ(mi_new->Caption(), "新增文档...");
  EXPECT_TRUE(mi_open->Default());
  EXPECT_FALSE(mi_open->Visible());
  EXPECT_FALSE(mi_open->Enabled());
  EXPECT_TRUE(mi_new->Visible());
  EXPECT_FALSE(mi_new->Default());
  EXPECT_EQ(mi_open->Appearance().size(), 1u);
  mi_leaf->Click();
  EXPECT_EQ(clicks, 1);

  // Parent moves an item; an empty name takes it out; an empty Action
  // unlinks it.
  mi_leaf->SetProperty("Parent", std::string("miNew"));
  EXPECT_EQ(mi_sub->Count(), 0);
  EXPECT_EQ(mi_new->Items(0), mi_leaf);
  mi_leaf->SetProperty("Parent", std::string(""));
  EXPECT_EQ(mi_leaf->Parent(), nullptr);
  EXPECT_EQ(mi_new->Count(), 0);
  mi_new->SetProperty("Action", std::string(""));
  EXPECT_EQ(mi_new->Action(), nullptr);
}

TEST_F(MenuLayoutTest, BadNamesAndValuesAreErrors) {
  Make<TAction>("TAction", "acNew");
  Make<TPopupMenu>("TPopupMenu", "pmMenu");
  auto* item = Make<TMenuItem>("TMenuItem", "miNew");
  auto* sub = Make<TMenuItem>("TMenuItem", "miSub");
  item->SetProperty("Parent", std::string("pmMenu"));
  sub->SetProperty("Parent", std::string("miNew"));

  EXPECT_THROW(item->SetProperty("Colour", true), Exception);
  EXPECT_THROW(item->SetEvent("OnExecute", [](TObject*) {}), Exception);
  EXPECT_THROW(item->SetProperty("Visible", std::string("no")), EConvertError);
  EXPECT_THROW(item->SetProperty("Caption", true), EConvertError);
  EXPECT_THROW(item->SetProperty("Action", std::string("acMissing")), Exception);
  EXPECT_THROW(item->SetProperty("Action", std::string("pmMenu")), Exception);
  EXPECT_EQ(item->Action(), nullptr);
  EXPECT_THROW(item->SetProperty("Parent", std::string("acNew")), Exception);
  EXPECT_THROW(item->SetProperty("Parent", std::string("nowhere")), Exception);
  // A cycle is refused and the item stays where it was.
  EXPECT_THROW(item->SetProperty("Parent", std::string("miSub")), Exception);
  EXPECT_EQ(item->GetParentMenu()->Name(), "pmMenu");
  EXPECT_THROW(CreateComponent("TMenuItemX", nullptr), Exception);

  // Without an owner there is nothing to resolve names in.
  CountedItem loose(nullptr);
  EXPECT_THROW(loose.SetProperty("Action", std::string("acNew")), Exception);
  EXPECT_THROW(loose.SetProperty("Parent", std::string("pmMenu")), Exception);

  auto* menu = dynamic_cast<TPopupMenu*>(form_->FindComponent("pmMenu"));
  ASSERT_NE(menu, nullptr);
  EXPECT_THROW(menu->SetProperty("Caption", std::string("x")), Exception);
  EXPECT_NO_THROW(menu->SetProperty("Name", std::string("pmOther")));
}

}  // namespace
}  // namespace rt
