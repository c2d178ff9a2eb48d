#include "console/menu_text.h"

#include <gtest/gtest.h>

#include "hostcore/testing/sample_menu.h"

namespace console {
namespace {

using hostcore::testing::SampleMenuTest;

TEST_F(SampleMenuTest, RendersCaptionsNamesAndTheDefault) {
  // clang-format off
  EXPECT_EQ(RenderMenu(hostcore::VisibleEntries(*menu_.Items())),
            (std::vector<std::string>{u8"   1  删除文档  miDelete",
                                      u8"   2  打开文档  miOpenFile  (default)",
                                      u8"      -         N1",
                                      u8"      更多      miMore  >",
                                      u8"   3    另存为  miSaveAs",
                                      u8"      停用      miOff  (disabled)",
                                      u8"   4  修改文档  N2"}));
  // clang-format on
}

}  // namespace
}  // namespace console
