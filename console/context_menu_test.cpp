#include "console/context_menu.h"

#include <gtest/gtest.h>

#include "runtime/host/sui_popup_menu.h"

namespace console {
namespace {

rt::TMenuItem* Add(rt::TMenuItem* parent, const char* name, const char* caption, bool visible = true) {
  auto* item = new rt::TMenuItem(nullptr);
  item->SetName(name);
  item->SetCaption(caption);
  item->SetVisible(visible);
  parent->Add(item);
  return item;
}

class ContextMenuTest : public ::testing::Test {
 protected:
  ContextMenuTest() {
    rt::TMenuItem* root = menu_.Items();
    Add(root, "miNew", "新增文档...", false);
    Add(root, "miDelete", "删除文档");
    Add(root, "miOpenFile", "打开文档")->SetDefault(true);
    Add(root, "N1", "-");
    rt::TMenuItem* more = Add(root, "miMore", "更多");
    Add(more, "miSaveAs", "另存为");
    Add(more, "miHidden", "隐藏", false);
    rt::TMenuItem* hidden = Add(root, "miHiddenParent", "看不见", false);
    Add(hidden, "miInside", "在看不见的里面");
    Add(root, "miOff", "停用")->SetEnabled(false);
    Add(root, "N2", "修改文档");
  }
  rt::TsuiPopupMenu menu_{nullptr};
};

TEST_F(ContextMenuTest, ShowsVisibleItemsAtEveryDepthAndNumbersTheCommands) {
  const std::vector<MenuEntry> entries = VisibleEntries(*menu_.Items());
  std::vector<std::string> names;
  for (const MenuEntry& entry : entries) names.push_back(entry.name + ":" + std::to_string(entry.number));
  EXPECT_EQ(names, (std::vector<std::string>{"miDelete:1", "miOpenFile:2", "N1:0", "miMore:0", "miSaveAs:3", "miOff:0",
                                             "N2:4"}));
  EXPECT_TRUE(entries[1].is_default);
  EXPECT_TRUE(entries[2].separator);
  EXPECT_TRUE(entries[3].submenu);
  EXPECT_EQ(entries[4].depth, 1);
  EXPECT_FALSE(entries[5].enabled);
}

TEST_F(ContextMenuTest, FindsItemsByNumberNameOrCaption) {
  const std::vector<MenuEntry> entries = VisibleEntries(*menu_.Items());
  EXPECT_EQ(FindEntry(entries, "3")->name, "miSaveAs");
  EXPECT_EQ(FindEntry(entries, " MIOPENFILE ")->name, "miOpenFile");
  EXPECT_EQ(FindEntry(entries, "修改文档")->name, "N2");
  EXPECT_EQ(FindEntry(entries, "miOff")->name, "miOff");  // found; running it is refused by the caller
  EXPECT_EQ(FindEntry(entries, "miNew"), nullptr);       // hidden
  EXPECT_EQ(FindEntry(entries, "9"), nullptr);
}

TEST_F(ContextMenuTest, RendersCaptionsNamesAndTheDefault) {
  EXPECT_EQ(RenderMenu(VisibleEntries(*menu_.Items())),
            (std::vector<std::string>{u8"   1  删除文档  miDelete",
                                      u8"   2  打开文档  miOpenFile  (default)",
                                      u8"      -         N1",
                                      u8"      更多      miMore  >",
                                      u8"   3    另存为  miSaveAs",
                                      u8"      停用      miOff  (disabled)",
                                      u8"   4  修改文档  N2"}));
}

}  // namespace
}  // namespace console
