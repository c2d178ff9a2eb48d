#include "runtime/services/vexa_client_dataset.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace rt {
namespace {

TEST(VexaClientDataSet20, LayoutPropertiesByClassName) {
  TClientDataSet form(nullptr);  // any component serves as owner
  TComponent* created = CreateComponent("TVexaClientDataSet20", &form);
  auto* ds = dynamic_cast<TVexaClientDataSet20*>(created);
  ASSERT_NE(ds, nullptr);
  EXPECT_EQ(ds->ClassName(), "TVexaClientDataSet20");

  ds->SetProperty("Name", std::string("cdsParams"));
  ds->SetProperty("U_ServerClassName", std::string("Vexa.DataCtrl"));
  ds->SetProperty("u_opentype", std::string("otNormal"));
  ds->SetProperty("U_FETCHDATAMODE", std::string("fmAppend"));
  EXPECT_EQ(ds->Name(), "cdsParams");
  EXPECT_EQ(ds->ServerClassName(), "Vexa.DataCtrl");
  EXPECT_EQ(ds->OpenType(), "otNormal");
  EXPECT_EQ(ds->FetchDataMode(), "fmAppend");

  EXPECT_THROW(ds->SetProperty("U_OpenType", std::int64_t{1}), EConvertError);
  EXPECT_THROW(ds->SetProperty("U_Unknown", std::string("x")), Exception);
  ds->SetProperty("Active", false);  // the base class's property
  EXPECT_FALSE(ds->Active());

  // It is a client dataset in every other respect.
  RowSet rows;
  rows.fields = {{"ParamText", FieldType::Text}};
  rows.rows = {{std::string("TV_ID=1")}};
  ds->SetRows(rows);
  EXPECT_EQ(ds->FieldByName("paramtext").AsString(), "TV_ID=1");
}

}  // namespace
}  // namespace rt
