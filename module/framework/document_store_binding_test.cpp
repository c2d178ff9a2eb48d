// The record form without a usable document store: it is built and works,
// and the document commands do nothing and show nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "module/framework/record_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/data/client_dataset.h"
#include "runtime/host/vexa_client_dataset.h"
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

TEST_F(StoreBindingTest, WithoutTheLibraryTheFormWorksAndDocumentCommandsDoNothing) {
  if (!rt::testing::LibraryPathVariable()) GTEST_SKIP() << "Windows loads the store beside the program; LABDOCS_DLL_PATH is the POSIX stand-in's";
  testing::LibraryFolder nowhere(home_.string());
  TfrmClsfrmConfig* form = NewForm();
  EXPECT_EQ(form->FDocLib, nullptr);
  ExpectNothingHappens(*form);
  form->Free();
  EXPECT_TRUE(presenter_.Log().empty());
}

TEST_F(StoreBindingTest, ALibraryLackingOneEntryPointIsNotUsedAtAll) {
  if (!rt::testing::LibraryPathVariable()) GTEST_SKIP() << "Windows loads the store beside the program; LABDOCS_DLL_PATH is the POSIX stand-in's";
  testing::LibraryFolder lacking(testing::BinFolder() + "/store_without_open");
  TfrmClsfrmConfig* form = NewForm();
  EXPECT_NE(form->FDocLib, nullptr);
  EXPECT_EQ(form->FOpenLabDoc, nullptr);
  ExpectNothingHappens(*form);
  form->Free();
  EXPECT_TRUE(presenter_.Log().empty());
}

}  // namespace
}  // namespace labdocs
