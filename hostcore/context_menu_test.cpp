#include "hostcore/context_menu.h"

#include <gtest/gtest.h>

#include "hostcore/testing/sample_menu.h"

namespace hostcore {
namespace {

using testing::SampleMenuTest;

TEST_F(SampleMenuTest, ShowsVisibleItemsAtEveryDepthAndNumbersTheCommands) {
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

TEST_F(SampleMenuTest, FindsItemsByNumberNameOrCaption) {
  const std::vector<MenuEntry> entries = VisibleEntries(*menu_.Items());
  EXPECT_EQ(FindEntry(entries, "3")->name, "miSaveAs");
  EXPECT_EQ(FindEntry(entries, " MIOPENFILE ")->name, "miOpenFile");
  EXPECT_EQ(FindEntry(entries, "修改文档")->name, "N2");
  EXPECT_EQ(FindEntry(entries, "miOff")->name, "miOff");  // found; running it is refused by the caller
  EXPECT_EQ(FindEntry(entries, "miNew"), nullptr);        // hidden
  EXPECT_EQ(FindEntry(entries, "9"), nullptr);
}

}  // namespace
}  // namespace hostcore
