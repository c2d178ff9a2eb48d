#include "runtime/services/sui_popup_menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/errors.h"

namespace rt {
namespace {

TEST(SuiPopupMenuTest, MenuAddedCountsAndTellsTheObserver) {
  TsuiPopupMenu menu(nullptr);
  menu.MenuAdded();  // no observer yet
  EXPECT_EQ(menu.MenuAddedCount(), 1);

  std::vector<std::string> seen;
  menu.SetMenuAddedObserver([&](TsuiPopupMenu& m) {
    EXPECT_EQ(&m, &menu);
    for (int i = 0; i < m.Items()->Count(); ++i) seen.push_back(m.Items()->Items(i)->Caption());
  });
  auto* item = new TMenuItem(nullptr);
  item->SetCaption("打开文档");
  menu.Items()->Add(item);
  menu.MenuAdded();
  EXPECT_EQ(menu.MenuAddedCount(), 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"打开文档"}));

  menu.SetMenuAddedObserver([](TsuiPopupMenu&) { throw Exception("绘制失败"); });
  EXPECT_THROW(menu.MenuAdded(), Exception);
  EXPECT_EQ(menu.MenuAddedCount(), 3);

  menu.SetMenuAddedObserver(nullptr);
  menu.MenuAdded();
  EXPECT_EQ(menu.MenuAddedCount(), 4);
}

TEST(SuiPopupMenuTest, IsAPopupMenuBuiltByNameWithSkinSettings) {
  TComponent* component = CreateComponent("TsuiPopupMenu", nullptr);
  auto* menu = dynamic_cast<TsuiPopupMenu*>(component);
  ASSERT_NE(menu, nullptr);
  EXPECT_NE(dynamic_cast<TPopupMenu*>(component), nullptr);
  EXPECT_EQ(menu->ClassName(), "TsuiPopupMenu");
  menu->SetProperty("UIStyle", std::string("WinXP"));
  menu->SetProperty("AutoPopup", false);
  EXPECT_EQ(menu->Appearance().size(), 2u);
  EXPECT_THROW(menu->SetProperty("Caption", std::string("x")), Exception);
  EXPECT_EQ(menu->Items()->GetParentMenu(), menu);
  menu->Items()->Add(new TMenuItem(nullptr));
  menu->Free();
}

}  // namespace
}  // namespace rt
