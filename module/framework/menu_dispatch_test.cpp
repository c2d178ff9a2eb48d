#include <gtest/gtest.h>

#include "module/framework/record_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/ui/actions.h"
#include "runtime/ui/menus.h"

namespace labdocs {
namespace {

// A record form with a small command tree:
//   miFirst (action), mnuMore > [miInner (click handler), mnuDeeper > [miDeepest]], N1 "-",
//   miHidden (hidden and disabled, action), mnuLast > [miLast]
// and a combo box on its page whose list query shows when controls are prepared.
class TMenuForm : public TfrmClsfrmConfig {
 public:
  explicit TMenuForm(rt::TComponent* owner) : TfrmClsfrmConfig(owner) {
    PublishMethod("acFirstExecute", [this](rt::TObject*) { ran.push_back("miFirst"); });
    PublishMethod("miInnerClick", [this](rt::TObject* sender) {
      ran.push_back(dynamic_cast<rt::TComponent*>(sender)->Name());
      if (set_flags) set_flags(*this);
    });
    PublishMethod("acHiddenExecute", [this](rt::TObject*) { ran.push_back("miHidden"); });
  }

  rt::Layout ClassLayout() const override {
    rt::Layout layout = TfrmClsfrmConfig::ClassLayout();
    layout.Form({{"Name", "frmMenus"}});
    layout.Add({"cbList", "TVexaComboBox20", "tsNormal", {}, {}});
    layout.Add(
        {"acFirst", "TAction", "", {{"ActionList", "acMain"}, {"Caption", "第一"}}, {{"OnExecute", "acFirstExecute"}}});
    layout.Add({"acHidden",
                "TAction",
                "",
                {{"ActionList", "acMain"}, {"Caption", "隐藏"}},
                {{"OnExecute", "acHiddenExecute"}}});
    layout.Add({"miFirst", "TMenuItem", "pmMenu", {{"Action", "acFirst"}, {"Default", true}}, {}});
    layout.Add({"mnuMore", "TMenuItem", "pmMenu", {{"Caption", "更多"}}, {}});
    layout.Add({"miInner", "TMenuItem", "mnuMore", {{"Caption", "内部"}}, {{"OnClick", "miInnerClick"}}});
    layout.Add({"mnuDeeper", "TMenuItem", "mnuMore", {{"Caption", "更深"}}, {}});
    layout.Add({"miDeepest", "TMenuItem", "mnuDeeper", {{"Caption", "最深"}}, {{"OnClick", "miInnerClick"}}});
    layout.Add({"N1", "TMenuItem", "pmMenu", {{"Caption", "-"}}, {}});
    layout.Add(
        {"miHidden", "TMenuItem", "pmMenu", {{"Action", "acHidden"}, {"Visible", false}, {"Enabled", false}}, {}});
    layout.Add({"mnuLast", "TMenuItem", "pmMenu", {{"Caption", "最后"}}, {}});
    layout.Add({"miLast", "TMenuItem", "mnuLast", {{"Caption", "末项"}}, {{"OnClick", "miInnerClick"}}});
    return layout;
  }

  void PrepareMenuSingleSelection() override {
    TfrmClsfrmConfig::PrepareMenuSingleSelection();
    FindMenuItem(pmMenu->Items(), "miFirst")->SetVisible(true);
    dynamic_cast<rt::TMenuItem*>(FindComponent("N1"))->SetVisible(true);
  }
  void PrepareMenuMultiSelection() override { throw rt::Exception("查询失败"); }

  std::vector<std::string> ran;
  std::function<void(TMenuForm&)> set_flags;
};

class MenuDispatchTest : public testing::HostFixture {
 protected:
  TMenuForm* NewForm() { return rt::CreateForm<TMenuForm>(&rt::Application(), std::string()); }

  // "name:caption:visible" of every item, depth first, with nesting shown by ">".
  static void Describe(rt::TMenuItem* parent, const std::string& prefix, std::vector<std::string>& out) {
    for (int i = 0; i < parent->Count(); ++i) {
      rt::TMenuItem* item = parent->Items(i);
      out.push_back(prefix + item->Name() + ":" + item->Caption() + (item->Visible() ? ":shown" : ":hidden") +
                    (item->Default() ? ":default" : "") + (item->Enabled() ? "" : ":disabled"));
      Describe(item, prefix + item->Name() + ">", out);
    }
  }
  static std::vector<std::string> Describe(rt::TsuiPopupMenu& menu) {
    std::vector<std::string> out;
    Describe(menu.Items(), "", out);
    return out;
  }
};

TEST_F(MenuDispatchTest, TheHookShowsItemsAndTheWholeTreeIsCopiedAfterTheHostsItems) {
  rt::TsuiPopupMenu host(nullptr);
  auto* own = new rt::TMenuItem(nullptr);
  own->SetName("hostItem");
  own->SetCaption("刷新");
  host.Items()->Add(own);
  TMenuForm* form = NewForm();
  EXPECT_EQ(form->BuildRightMenu(1, &host), 0);
  form->Free();
  EXPECT_EQ(Describe(host),
            (std::vector<std::string>{"hostItem:刷新:shown", "miFirst:第一:shown:default", "mnuMore:更多:hidden",
                                      "mnuMore>miInner:内部:hidden", "mnuMore>mnuDeeper:更深:hidden",
                                      "mnuMore>mnuDeeper>miDeepest:最深:hidden", "N1:-:shown",
                                      "miHidden:隐藏:hidden:disabled", "mnuLast:最后:hidden",
                                      "mnuLast>miLast:末项:hidden"}));
  EXPECT_EQ(host.MenuAddedCount(), 1);
  // The copies carry no behaviour: only the name ties them to a command.
  rt::TMenuItem* copy = host.Items()->Items(1);
  EXPECT_EQ(copy->Action(), nullptr);
  EXPECT_FALSE(static_cast<bool>(copy->OnClick));
}

TEST_F(MenuDispatchTest, OtherMenuKindsRunNoHookAndCopyEverythingHidden) {
  for (int kind : {3, -1}) {
    rt::TsuiPopupMenu host(nullptr);
    TMenuForm* form = NewForm();
    EXPECT_EQ(form->BuildRightMenu(kind, &host), 0);
    form->Free();
    std::vector<std::string> items = Describe(host);
    EXPECT_EQ(items.size(), 9u);
    for (const std::string& item : items) EXPECT_NE(item.find(":hidden"), std::string::npos) << item;
  }
}

TEST_F(MenuDispatchTest, AFailingHookGivesOneAndCopiesNothing) {
  rt::TsuiPopupMenu host(nullptr);
  TMenuForm* form = NewForm();
  EXPECT_EQ(form->BuildRightMenu(2, &host), 1);
  form->Free();
  EXPECT_EQ(host.Items()->Count(), 0);
  EXPECT_EQ(host.MenuAddedCount(), 0);
  EXPECT_TRUE(presenter_.Log().empty());  // silently
}

TEST_F(MenuDispatchTest, CommandsAreFoundByNameWithoutRegardToCaseAndBlanks) {
  TMenuForm* form = NewForm();
  EXPECT_EQ(form->ExecuteMenuItem("mifirst"), 0);
  EXPECT_EQ(form->ExecuteMenuItem("  miFIRST \t"), 0);
  EXPECT_EQ(form->ExecuteMenuItem("miDeepest"), 0);  // a leaf found though a sub-menu follows
  EXPECT_EQ(form->ExecuteMenuItem("miLast"), 0);
  EXPECT_EQ(form->ExecuteMenuItem("miHidden"), 0);  // hidden and disabled still runs
  EXPECT_EQ(form->ExecuteMenuItem("N1"), 0);        // a separator runs nothing
  EXPECT_EQ(form->ExecuteMenuItem("mnuMore"), 1);   // an item with sub-items is no command
  EXPECT_EQ(form->ExecuteMenuItem("miNothing"), 1);
  EXPECT_EQ(form->ran, (std::vector<std::string>{"miFirst", "miFirst", "miDeepest", "miLast", "miHidden"}));
  form->Free();
}

TEST_F(MenuDispatchTest, ControlsArePreparedBeforeACommandAndNotForAnUnknownName) {
  TMenuForm* form = NewForm();
  dynamic_cast<rt::TVexaComboBox20*>(form->FindComponent("cbList"))
      ->GetSQLList()
      .SetText("select TV_Name as Code,TV_Name as DispName from Pacs_MMCTreeViewConfig");
  form->ExecuteMenuItem("miUnknown");
  EXPECT_TRUE(statements_.empty());
  form->ExecuteMenuItem("miFirst");
  EXPECT_EQ(statements_.size(), 1u);
  form->Free();
}

TEST_F(MenuDispatchTest, TheStatusFollowsTheFlagsTheCommandSet) {
  struct Case {
    bool copied, deleted, changed;
    std::int32_t status;
  };
  for (Case c : {Case{true, false, true, 4}, Case{true, true, true, 4}, Case{false, true, true, 3},
                 Case{false, false, true, 2}, Case{false, false, false, 0}}) {
    TMenuForm* form = NewForm();
    form->set_flags = [c](TMenuForm& f) {
      f.FListCopied = c.copied;
      f.FListDeleted = c.deleted;
      f.FDataChanged = c.changed;
    };
    EXPECT_EQ(form->ExecuteMenuItem("miInner"), c.status);
    form->Free();
  }
}

TEST_F(MenuDispatchTest, AnErrorOfTheCommandIsPassedOn) {
  TMenuForm* form = NewForm();
  form->set_flags = [](TMenuForm& f) {
    f.FDataChanged = true;
    throw rt::Exception("命令失败");
  };
  EXPECT_THROW(form->ExecuteMenuItem("miInner"), rt::Exception);
  form->Free();
}

}  // namespace
}  // namespace labdocs
