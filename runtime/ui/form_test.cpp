#include "runtime/ui/form.h"

#include <gtest/gtest.h>

#include "runtime/ui/application.h"
#include "runtime/ui/input.h"
#include "runtime/ui/scripted_presenter.h"
#include "runtime/ui/stdctrls.h"

namespace rt {
namespace {

// A small form class family: a base form and a subclass that extends its
// layout and replaces one handler, recording what runs in which order.
class TBaseTestForm : public TForm {
 public:
  RT_COMPONENT_CLASS(TBaseTestForm)
  explicit TBaseTestForm(TComponent* owner) : TForm(owner) {
    PublishField("btnOk", btnOk);
    PublishField("edFirst", edFirst);
    PublishMethod("FormCreate", [this](TObject*) { trace.push_back("FormCreate"); });
    PublishMethod("FormDestroy", [this](TObject*) { trace.push_back("FormDestroy"); });
    PublishMethod("btnOkClick", [this](TObject* sender) { btnOkClick(sender); });
    PublishKeyMethod("FormKeyDown", [this](TObject*, Word& key, TShiftState) {
      if (key == VK_RETURN && !dynamic_cast<TButton*>(ActiveControl())) PostMessageA(Handle(), WM_KEYDOWN, VK_TAB, 0);
      if (key == VK_ESCAPE) SetModalResult(mrCancel);
    });
  }

  void Create() {
    LoadLayout(ClassLayout());
    trace.push_back("base construction");
  }

  virtual Layout ClassLayout() const {
    Layout layout;
    layout.Form({{"Name", std::string("frmBase")},
                 {"Caption", std::string("常规")},
                 {"KeyPreview", true},
                 {"ClientWidth", std::int64_t{408}},
                 {"ClientHeight", std::int64_t{453}}},
                {{"OnCreate", "FormCreate"}, {"OnDestroy", "FormDestroy"}, {"OnKeyDown", "FormKeyDown"}});
    layout.Add({"edFirst", "TEdit", "", {{"TabOrder", std::int64_t{0}}}, {}});
    layout.Add({"edSecond", "TEdit", "", {{"TabOrder", std::int64_t{1}}}, {}});
    layout.Add({"btnOk",
                "TButton",
                "",
                {{"Caption", std::string("确定(&O)")}, {"TabOrder", std::int64_t{2}}},
                {{"OnClick", "btnOkClick"}}});
    return layout;
  }

  void btnOkClick(TObject*) { trace.push_back("base btnOkClick"); }

  TButton* btnOk = nullptr;
  TEdit* edFirst = nullptr;
  std::vector<std::string> trace;
};

class TDerivedTestForm : public TBaseTestForm {
 public:
  RT_COMPONENT_CLASS(TDerivedTestForm)
  explicit TDerivedTestForm(TComponent* owner) : TBaseTestForm(owner) {
    PublishField("edThird", edThird);
    PublishMethod("btnOkClick", [this](TObject* sender) {
      trace.push_back("derived btnOkClick");
      TBaseTestForm::btnOkClick(sender);
    });
  }

  void Create(bool old_create_order) {
    old_create_order_ = old_create_order;
    TBaseTestForm::Create();
    trace.push_back("derived construction");
  }

  Layout ClassLayout() const override {
    Layout layout = TBaseTestForm::ClassLayout();
    layout.Form({{"Name", std::string("frmDerived")}, {"OldCreateOrder", old_create_order_}});
    layout.Change("btnOk", {{"Caption", std::string("保存")}});
    layout.Add({"edThird", "TEdit", "", {{"TabOrder", std::int64_t{2}}}, {}});
    return layout;
  }

  TEdit* edThird = nullptr;

 private:
  bool old_create_order_ = false;
};

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override { Application().SetPresenter(&presenter); }
  void TearDown() override { Application().SetPresenter(nullptr); }
  ScriptedPresenter presenter;
};

TEST_F(FormTest, ConstructionOrderFollowsOldCreateOrder) {
  auto* old_order = CreateForm<TDerivedTestForm>(&Application(), true);
  EXPECT_EQ(old_order->trace, (std::vector<std::string>{"FormCreate", "base construction", "derived construction"}));
  auto* new_order = CreateForm<TDerivedTestForm>(&Application(), false);
  EXPECT_EQ(new_order->trace, (std::vector<std::string>{"base construction", "derived construction", "FormCreate"}));
  old_order->Free();
  new_order->Free();
}

TEST_F(FormTest, SubclassLayoutExtendsAndChangesTheBaseLayout) {
  auto* form = CreateForm<TDerivedTestForm>(&Application(), false);
  EXPECT_EQ(form->Name(), "frmDerived");
  EXPECT_EQ(form->btnOk->Caption(), "保存");
  ASSERT_NE(form->edThird, nullptr);
  EXPECT_EQ(form->edThird->Parent(), form);
  EXPECT_EQ(form->Width(), 408);
  // The subclass's handler replaced the base one and calls it.
  form->Show();
  input::Click(*form->btnOk);
  form->Hide();
  EXPECT_EQ(form->trace.back(), "base btnOkClick");
  EXPECT_EQ(form->trace[form->trace.size() - 2], "derived btnOkClick");
  form->Free();
}

TEST_F(FormTest, FreeingTheFormFreesItsComponentsAndRunsTheDestructionHandler) {
  auto* form = CreateForm<TBaseTestForm>(&Application());
  int owned_before = Application().ComponentCount();
  bool destroyed = false;
  form->OnDestroy = [&](TObject*) { destroyed = true; };
  form->Free();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Application().ComponentCount(), owned_before - 1);
}

TEST_F(FormTest, ErrorsInCreationAndDestructionHandlersAreShown) {
  auto* form = new TBaseTestForm(&Application());
  form->OnCreate = nullptr;
  form->Create();
  form->OnCreate = [](TObject*) { throw Exception("cannot bind"); };
  form->AfterConstruction();
  form->OnDestroy = [](TObject*) { throw Exception("cannot release"); };
  form->Free();
  EXPECT_EQ(presenter.Errors(), (std::vector<std::string>{"cannot bind", "cannot release"}));
}

TEST_F(FormTest, LayoutErrorsAreClearAndLeaveNothingBehind) {
  Layout bad_class;
  bad_class.Add({"x", "TNoSuchClass", "", {}, {}});
  Layout bad_prop;
  bad_prop.Add({"x", "TEdit", "", {{"NoSuchProperty", true}}, {}});
  class TBadForm : public TForm {
   public:
    RT_COMPONENT_CLASS(TBadForm)
    using TForm::TForm;
    void Create(const Layout& layout) { LoadLayout(layout); }
  };
  int before = Application().ComponentCount();
  EXPECT_THROW(CreateForm<TBadForm>(&Application(), bad_class), Exception);
  EXPECT_THROW(CreateForm<TBadForm>(&Application(), bad_prop), Exception);
  EXPECT_THROW(bad_prop.Change("missing", {}), Exception);
  EXPECT_EQ(Application().ComponentCount(), before);
}

TEST_F(FormTest, FocusNeedsEveryParentVisibleAndEnabled) {
  auto* form = CreateForm<TDerivedTestForm>(&Application(), false);
  EXPECT_FALSE(form->edFirst->CanFocus());  // the form is not showing yet
  form->Show();
  EXPECT_TRUE(form->edFirst->CanFocus());
  form->edFirst->SetEnabled(false);
  EXPECT_FALSE(form->edFirst->CanFocus());
  EXPECT_THROW(form->edFirst->SetFocus(), EInvalidOperation);
  form->edFirst->SetEnabled(true);
  form->SetEnabled(false);
  EXPECT_FALSE(form->edFirst->CanFocus());
  form->SetEnabled(true);
  form->edFirst->SetFocus();
  EXPECT_TRUE(form->edFirst->Focused());
  form->Hide();
  form->Free();
}

TEST_F(FormTest, TabVisitsControlsInTabOrderSkippingThoseThatCannotTakeTheFocus) {
  auto* form = CreateForm<TDerivedTestForm>(&Application(), false);
  form->Show();
  auto* second = dynamic_cast<TEdit*>(form->FindComponent("edSecond"));
  second->SetVisible(false);
  form->edFirst->SetFocus();
  input::PressKey(*form, VK_TAB);
  EXPECT_EQ(form->ActiveControl(), form->edThird);
  input::PressKey(*form, VK_TAB);
  EXPECT_EQ(form->ActiveControl(), form->btnOk);
  input::PressKey(*form, VK_TAB);
  EXPECT_EQ(form->ActiveControl(), form->edFirst);  // wraps around
  input::PressKey(*form, VK_TAB, ssShift);
  EXPECT_EQ(form->ActiveControl(), form->btnOk);
  form->Hide();
  form->Free();
}

TEST_F(FormTest, PostedMessagesRunAfterTheCurrentEventWithTheModifiersHeldThen) {
  auto* form = CreateForm<TBaseTestForm>(&Application());
  form->Show();
  form->edFirst->SetFocus();
  TWinControl* focused_during_event = nullptr;
  form->edFirst->OnKeyDown = [&](TObject*, Word&, TShiftState) { focused_during_event = form->ActiveControl(); };
  input::PressKey(*form, VK_RETURN);
  EXPECT_EQ(focused_during_event, form->edFirst);  // posted, not sent
  EXPECT_EQ(form->ActiveControl()->Name(), "edSecond");
  // Shift pressed while the Enter is handled: the posted Tab goes backward.
  form->edFirst->OnKeyDown = nullptr;
  form->FindComponent("edSecond");
  dynamic_cast<TEdit*>(form->FindComponent("edSecond"))->OnKeyDown = [](TObject*, Word&, TShiftState) {
    Application().SetKeyboardState(ssShift);
  };
  input::PressKey(*form, VK_RETURN);
  EXPECT_EQ(form->ActiveControl(), form->edFirst);
  EXPECT_EQ(Application().KeyboardState(), 0u);
  form->Hide();
  form->Free();
}

TEST_F(FormTest, MessagesToAFreedWindowAreDropped) {
  auto* form = CreateForm<TBaseTestForm>(&Application());
  HWND handle = form->Handle();
  EXPECT_TRUE(PostMessageA(handle, WM_KEYDOWN, VK_TAB, 0));
  form->Free();
  Application().ProcessMessages();
  EXPECT_FALSE(PostMessageA(handle, WM_KEYDOWN, VK_TAB, 0));
  EXPECT_EQ(Application().PendingMessages(), 0u);
}

TEST_F(FormTest, ModalShowingEndsWhenTheModalResultIsSet) {
  auto* form = CreateForm<TBaseTestForm>(&Application());
  presenter.Type("edFirst", "第一").Press(VK_ESCAPE);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(form->edFirst->Text(), "第一");
  EXPECT_EQ(presenter.Log(), (std::vector<std::string>{"show frmBase", "hide frmBase"}));
  form->Free();
}

TEST_F(FormTest, AnErrorInAHandlerIsShownAndTheModalFormStaysOpen) {
  auto* form = CreateForm<TBaseTestForm>(&Application());
  form->btnOk->OnClick = [](TObject*) { throw Exception("数据库错误"); };
  presenter.Click("btnOk").Then([](TForm& f) { EXPECT_TRUE(f.Visible()); }).Press(VK_ESCAPE);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(presenter.Errors(), (std::vector<std::string>{"数据库错误"}));
  EXPECT_TRUE(presenter.Done());
  form->Free();
}

TEST_F(FormTest, AModalFormWithoutFurtherInputIsClosed) {
  auto* form = CreateForm<TBaseTestForm>(&Application());
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(presenter.Log()[1], "script exhausted");
  form->Free();
}

TEST_F(FormTest, TheSizeLimitsComeFromTheFormsMessageHandler) {
  class TLockedForm : public TBaseTestForm {
   public:
    explicit TLockedForm(TComponent* owner) : TBaseTestForm(owner) {
      PublishMessage(WM_GETMINMAXINFO, [this](TMessage& m) {
        if (!Visible()) return;
        auto* info = reinterpret_cast<MINMAXINFO*>(m.lparam);
        info->ptMaxSize = info->ptMinTrackSize = info->ptMaxTrackSize = {Width(), Height()};
        info->ptMaxPosition = {Left(), Top()};
      });
    }
  };
  auto* form = CreateForm<TLockedForm>(&Application());
  input::Resize(*form, 500, 500);  // hidden: nothing is adjusted
  EXPECT_EQ(form->Width(), 500);
  form->Show();
  input::Resize(*form, 300, 200);
  input::Maximize(*form);
  EXPECT_EQ(form->Width(), 500);
  EXPECT_EQ(form->Height(), 500);
  form->Hide();
  form->Free();
}

}  // namespace
}  // namespace rt
