#include "module/framework/record_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "module/testing/host_fixture.h"
#include "runtime/data/client_dataset.h"
#include "runtime/services/environment.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/platform/platform.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/image.h"
#include "runtime/ui/input.h"
#include "runtime/ui/scripted_presenter.h"
#include "runtime/platform/testing/test_support.h"

namespace labdocs {
namespace {

namespace fs = std::filesystem;

// A record form with two edits on its page, the first one taking the focus
// on showing; it records what its creation handler saw.
class TTestRecordForm : public TfrmClsfrmConfig {
 public:
  explicit TTestRecordForm(rt::TComponent* owner, bool old_create_order = false)
      : TfrmClsfrmConfig(owner), old_create_order_(old_create_order) {
    PublishField("edFirst", edFirst);
    PublishField("edSecond", edSecond);
    PublishMethod("FormCreate", [this](rt::TObject* sender) {
      param_text_at_create = FParamText;
      edit_mode_at_create = FEditMode;
      TfrmClsfrmConfig::FormCreate(sender);
    });
  }

  void Create(const std::string& param_text) {
    TfrmClsfrmConfig::Create(param_text);
    FFocusEdit = edFirst;
  }

  rt::Layout ClassLayout() const override {
    rt::Layout layout = TfrmClsfrmConfig::ClassLayout();
    layout.Form({{"Name", "frmTest"}, {"OldCreateOrder", old_create_order_}});
    layout.Add({"edFirst", "TVexaEdit20", "tsNormal", {{"TabOrder", 0}}, {}});
    layout.Add({"edSecond", "TVexaEdit20", "tsNormal", {{"TabOrder", 1}}, {}});
    return layout;
  }

  using TfrmClsfrmConfig::CheckBeforeSave;
  using TfrmClsfrmConfig::GetViewData;

  rt::TVexaEdit20* edFirst = nullptr;
  rt::TVexaEdit20* edSecond = nullptr;
  std::string param_text_at_create = "unset";
  std::int32_t edit_mode_at_create = -1;

 private:
  bool old_create_order_;
};

class RecordFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() / ("labdocs-form-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(home_);
    rt::HostEnvironment env = rt::DefaultEnvironment();
    env.base_dir = rt::platform::AnsiPath(home_) + "/";
    env.display_style = 5;
    rt::SetEnvironment(env);
    rt::Application().SetPresenter(&presenter_);
  }
  void TearDown() override {
    rt::Application().SetPresenter(nullptr);
    fs::remove_all(home_);
  }

  TTestRecordForm* NewForm(const std::string& params = "", bool old_create_order = false) {
    auto* form = new TTestRecordForm(&rt::Application(), old_create_order);
    try {
      form->Create(params);
      form->AfterConstruction();
    } catch (...) {
      form->Free();
      throw;
    }
    return form;
  }

  // Writes a 32x32 icon into the host's icon folder.
  void WriteIcon(const std::string& utf8_name, bool valid = true) {
    fs::path dir = home_ / "Configs" / "MMCImages" / rt::testing::Utf8Path(u8"32×32");
    fs::create_directories(dir);
    std::ofstream out(dir / rt::testing::Utf8Path(utf8_name), std::ios::binary);
    const unsigned char icon[] = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0, 0x30, 0, 0, 0, 22, 0, 0, 0};
    if (valid) {
      out.write(reinterpret_cast<const char*>(icon), sizeof icon);
      out << std::string(0x30, '\0');  // the image the directory points at
    } else {
      out << "not a picture";
    }
  }

  fs::path home_;
  rt::ScriptedPresenter presenter_;
  // These forms run without a document store.
  testing::LibraryFolder no_store_{"/nonexistent/labdocs"};
};

TEST_F(RecordFormTest, ConstructionSetsTheFieldsAndTheDisplayStyle) {
  // In a program of its own, started where there is no store library.
  if (rt::testing::RerunFrom(home_ / "no-store")) return;
  auto* form = NewForm("  TV_ID=12;Icon=doc.ico \t");
  EXPECT_EQ(form->FParamText, "TV_ID=12;Icon=doc.ico");
  EXPECT_EQ(form->FEditMode, kEditIdle);
  EXPECT_FALSE(form->FDataChanged || form->FListDeleted || form->FListCopied || form->FResizable || form->FModified);
  EXPECT_EQ(form->sfrmClsfrmConfig->UIStyle(), 5);
  EXPECT_EQ(form->Caption(), "常规");
  EXPECT_EQ(form->btnSave->Caption(), "确定(&O)");
  EXPECT_EQ(form->tsNormal->Caption(), "常规  ");
  EXPECT_EQ(form->SaveDialog->Title, "文档另存为");
  EXPECT_TRUE(form->KeyPreview());
  // The document store library is absent here: the form works without it.
  EXPECT_FALSE(form->FDocLibReady);
  EXPECT_EQ(form->FDocLib, nullptr);
  EXPECT_TRUE(presenter_.Log().empty());
  form->Free();
}

TEST_F(RecordFormTest, TheCreationHandlerRunsBeforeOrAfterTheConstructorSteps) {
  auto* old_order = NewForm("TV_ID=1", true);
  EXPECT_EQ(old_order->param_text_at_create, "");
  EXPECT_EQ(old_order->edit_mode_at_create, 0);
  auto* new_order = NewForm("TV_ID=1", false);
  EXPECT_EQ(new_order->param_text_at_create, "TV_ID=1");
  EXPECT_EQ(new_order->edit_mode_at_create, kEditIdle);
  old_order->Free();
  new_order->Free();
}

TEST_F(RecordFormTest, ParameterLookupsFollowTheFormsText) {
  auto* form = NewForm("TV_ID=12;Icon=doc.ico;TV_Name=论文管理明细");
  EXPECT_EQ(form->GetParamValue("icon"), "doc.ico");
  EXPECT_EQ(form->GetParamValue("Name"), "");
  EXPECT_EQ(form->GetParamValue("TV_Name"), "论文管理明细");
  EXPECT_EQ(form->GetParamValue("   "), "");
  EXPECT_EQ(form->GetParamValue(" ", "=x"), "");
  // A source text of blanks is parsed; the form's own text is not used.
  EXPECT_EQ(form->GetParamValue("TV_ID", "   "), "");
  EXPECT_EQ(form->GetParamValue("K", "K=a=b;K=c"), "a=b");
  EXPECT_EQ(form->GetParamValue("Icon", "Icon = doc.ico"), "");
  form->Free();
}

TEST_F(RecordFormTest, RowLookupsReadTheFirstColumnOfTheCurrentRow) {
  auto* form = NewForm();
  rt::TClientDataSet& rows = *form->cdsParams;
  EXPECT_EQ(form->GetRowParamText(rows), "");  // closed
  rt::RowSet set{{{"Params", rt::FieldType::Text}}, {}};
  rows.SetRows(set);
  EXPECT_EQ(form->GetRowParamText(rows), "");  // no rows
  set.rows = {{std::string(" 5 ")}};
  rows.SetRows(set);
  EXPECT_EQ(form->GetRowParamText(rows), "5");
  set.rows = {{std::string("ID=1;DISP_名称=a.doc")}, {std::string("ID=2;Disp_名称=b.doc")}, {std::string("")}};
  rows.SetRows(set);
  rows.Next();
  EXPECT_EQ(form->GetRowParam(rows, "DISP_名称"), "b.doc");
  rows.Next();
  EXPECT_EQ(form->GetRowParam(rows, "ID"), "");  // empty first column
  // With exactly one record the dataset is read at that record, wherever the
  // cursor stood.
  set.rows = {{std::string("LabDoc_ID=7")}};
  rows.SetRows(set);
  rows.Next();
  EXPECT_EQ(form->GetRowParam(rows, "LABDOC_ID"), "7");
  form->Free();
}

TEST_F(RecordFormTest, BaseHooksAnswerTheirDefaults) {
  auto* form = NewForm();
  VARIANT data;
  VariantInit(&data);
  data.vt = VT_I4;
  data.lVal = 42;
  EXPECT_EQ(form->InitViewData(&data), 1);
  EXPECT_EQ(data.vt, VT_I4);
  EXPECT_EQ(data.lVal, 42);
  EXPECT_EQ(form->CheckBeforeSave(), 0);
  form->DataChanged(form);
  EXPECT_TRUE(form->FModified);
  form->Free();
}

TEST_F(RecordFormTest, EnterMovesOnInAnEditAndPressesAButton) {
  auto* form = NewForm();
  int saves = 0;
  form->btnSave->OnClick = [&](rt::TObject*) { ++saves; };
  std::vector<std::string> focus;
  auto record = [&](rt::TForm& f) { focus.push_back(f.ActiveControl() ? f.ActiveControl()->Name() : "none"); };
  presenter_.Then(record).Press(VK_RETURN).Then(record).Focus("btnSave").Press(VK_RETURN).Then(record).Press(VK_ESCAPE);
  EXPECT_EQ(form->ShowModal(), rt::mrCancel);
  EXPECT_EQ(focus, (std::vector<std::string>{"edFirst", "edSecond", "btnSave"}));
  EXPECT_EQ(saves, 1);
  form->Free();
}

TEST_F(RecordFormTest, EscapeCancelsAndClearsTheChangeFlag) {
  auto* form = NewForm();
  form->FDataChanged = true;
  presenter_.Type("edSecond", "描述").Press(VK_ESCAPE);
  EXPECT_EQ(form->ShowModal(), rt::mrCancel);
  EXPECT_FALSE(form->FDataChanged);
  form->Free();
}

TEST_F(RecordFormTest, TheSizeIsLockedOnlyWhileTheFormIsVisible) {
  auto* form = NewForm();
  rt::input::Resize(*form, 300, 300);
  EXPECT_EQ(form->Width(), 300);
  rt::input::Resize(*form, 408, 453);
  std::vector<int> sizes;
  presenter_.Then([&](rt::TForm& f) {
    rt::input::Resize(f, 600, 200);
    rt::input::Maximize(f);
    sizes = {f.Left(), f.Top(), f.Width(), f.Height()};
  });
  form->ShowModal();
  EXPECT_EQ(sizes, (std::vector<int>{form->Left(), form->Top(), 408, 453}));
  form->Free();
}

TEST_F(RecordFormTest, ShowingLoadsTheIconFromTheHostsIconFolder) {
  WriteIcon(u8"文档.ico");
  auto* form = NewForm("Icon=" + rt::gbk::FromUtf8(u8"文档.ico"));
  form->ShowModal();
  EXPECT_FALSE(form->Image1->Picture().Empty());
  EXPECT_EQ(form->Image1->Width(), 32);
  EXPECT_EQ(presenter_.Errors().size(), 0u);
  form->Free();

  for (std::string params : {"", "Icon=missing.ico"}) {
    auto* plain = NewForm(params);
    plain->ShowModal();
    EXPECT_TRUE(plain->Image1->Picture().Empty()) << params;
    plain->Free();
  }
  EXPECT_TRUE(presenter_.Errors().empty());
  EXPECT_TRUE(presenter_.Messages().empty());
}

TEST_F(RecordFormTest, AnUnreadableIconIsReportedAndTheFormStillShows) {
  WriteIcon("bad.ico", false);
  auto* form = NewForm("Icon=bad.ico");
  bool shown = false;
  presenter_.Then([&](rt::TForm& f) { shown = f.Visible(); });
  form->ShowModal();
  EXPECT_TRUE(shown);
  EXPECT_EQ(presenter_.Errors().size(), 1u);
  form->Free();
}

TEST_F(RecordFormTest, ShowingFocusesTheFocusEditOnlyWhenItCanTakeTheFocus) {
  auto* form = NewForm();
  std::string focused;
  presenter_.Then([&](rt::TForm& f) { focused = f.ActiveControl() ? f.ActiveControl()->Name() : "none"; });
  form->ShowModal();
  EXPECT_EQ(focused, "edFirst");
  form->Free();

  auto* hidden = NewForm();
  hidden->edFirst->SetVisible(false);
  presenter_.Then([&](rt::TForm& f) { focused = f.ActiveControl() ? f.ActiveControl()->Name() : "none"; });
  hidden->ShowModal();
  EXPECT_EQ(focused, "none");
  hidden->Free();
}

TEST_F(RecordFormTest, AnErrorInAButtonHandlerIsShownAndTheFormStaysOpen) {
  auto* form = NewForm();
  form->btnSave->OnClick = [](rt::TObject*) { throw rt::Exception("保存失败"); };
  bool still_open = false;
  presenter_.Click("btnSave").Then([&](rt::TForm& f) { still_open = f.Visible(); }).Click("btnCancel");
  EXPECT_EQ(form->ShowModal(), rt::mrCancel);
  EXPECT_TRUE(still_open);
  EXPECT_EQ(presenter_.Errors(), (std::vector<std::string>{"保存失败"}));
  form->Free();
}

}  // namespace
}  // namespace labdocs
