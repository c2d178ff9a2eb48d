// The record form's store library: loaded with each form and unloaded when
// the form is destroyed; without a usable store the form is built and
// works, and the document commands do nothing and show nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "module/framework/record_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/data/client_dataset.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/ui/actions.h"

namespace labdocs {
namespace {

class StoreBindingTest : public testing::HostFixture {
 protected:
  TfrmClsfrmConfig* NewForm() {
    auto* form = rt::CreateForm<TfrmClsfrmConfig>(&rt::Application(), std::string("TV_ID=1"));
    rt::RowSet rows{{{"Params", rt::FieldType::Text}}, {{std::string("ID=1;LabDoc_ID=5;Disp_名称=a.doc")}}};
    form->cdsParams->SetRows(rows);
    return form;
  }

  // Every document operation of a form that is not ready: false, nothing
  // shown.
  void ExpectNothingHappens(TfrmClsfrmConfig& form) {
    EXPECT_FALSE(form.FDocLibReady);
    std::int32_t id = 0;
    EXPECT_FALSE(form.StoreDocument("/tmp/a.doc", id));
    EXPECT_EQ(id, 0);
    char buffer[250] = "unchanged";
    char* path = buffer;
    EXPECT_FALSE(form.FetchDocument(5, path));
    EXPECT_STREQ(buffer, "unchanged");
    EXPECT_FALSE(form.UpdateDocument(5, "/tmp/a.doc"));
    EXPECT_FALSE(form.DeleteDocument(5));
    form.acOpenFile->Execute();
    form.acSaveAs->Execute();
    EXPECT_TRUE(presenter_.Log().empty());
  }
};

// Each runs in a test program of its own, started from a folder with the
// store it needs.
TEST_F(StoreBindingTest, WithoutTheLibraryTheFormWorksAndDocumentCommandsDoNothing) {
  if (rt::testing::RerunFrom(home_ / "no-store")) return;
  TfrmClsfrmConfig* form = NewForm();
  EXPECT_EQ(form->FDocLib, nullptr);
  ExpectNothingHappens(*form);
  form->Free();
  EXPECT_TRUE(presenter_.Log().empty());
}

// Nothing keeps the store mapped between calls: a laboratory may replace it
// while the host runs.
TEST_F(StoreBindingTest, EachFormLoadsTheStoreAndUnloadsItWhenItIsDestroyed) {
  const std::filesystem::path store = rt::testing::BuiltLibrary("LAB_DOC");
  const auto add_store = [&](const rt::testing::ProgramFolder& folder) {
    folder.Add(store, store.filename().string());
  };
  if (rt::testing::RerunFrom(home_ / "store", add_store)) return;
  ASSERT_FALSE(rt::testing::LibraryIsLoaded(kDocStoreLibrary));
  for (int form_number = 1; form_number <= 2; ++form_number) {
    SCOPED_TRACE(form_number);
    TfrmClsfrmConfig* form = NewForm();
    EXPECT_TRUE(form->FDocLibReady);
    EXPECT_TRUE(rt::testing::LibraryIsLoaded(kDocStoreLibrary));
    form->Free();
    EXPECT_FALSE(rt::testing::LibraryIsLoaded(kDocStoreLibrary));
  }
  EXPECT_TRUE(presenter_.Log().empty());
}

TEST_F(StoreBindingTest, ALibraryLackingOneEntryPointIsNotUsedAtAll) {
  const std::filesystem::path store = rt::testing::BuiltLibrary("LAB_DOC");
  const auto add_lacking_store = [&](const rt::testing::ProgramFolder& folder) {
    folder.Add(store.parent_path() / "store_without_open" / store.filename(), store.filename().string());
  };
  if (rt::testing::RerunFrom(home_ / "lacking", add_lacking_store)) return;
  TfrmClsfrmConfig* form = NewForm();
  EXPECT_NE(form->FDocLib, nullptr);
  EXPECT_EQ(form->FOpenLabDoc, nullptr);
  // Three of the four entry points of revisions are none of them.
  EXPECT_EQ(form->FBeginReviseLabDoc, nullptr);
  EXPECT_EQ(form->FEndReviseLabDoc, nullptr);
  EXPECT_EQ(form->FUpdateExpectingLabDoc, nullptr);
  ExpectNothingHappens(*form);
  form->Free();
  EXPECT_TRUE(presenter_.Log().empty());
}

}  // namespace
}  // namespace labdocs
