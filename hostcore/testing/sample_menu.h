// For tests: a popup menu like one the plug-in fills, with hidden items, a
// separator, a submenu, a disabled item and a default item.
#pragma once

#include <gtest/gtest.h>

#include "hostcore/testing/menu_item.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/ui/menus.h"

namespace hostcore::testing {

class SampleMenuTest : public ::testing::Test {
 protected:
  SampleMenuTest() {
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

}  // namespace hostcore::testing
