#include "hostcore/columns.h"

#include <gtest/gtest.h>

#include "hostcore/testing/sample_rows.h"

namespace hostcore {
namespace {

using hostcore::testing::SampleDocumentRows;

TEST(ColumnsTest, ShowsTheDisplayColumnsWithoutTheirPrefix) {
  const rt::RowSet rows = SampleDocumentRows();
  const std::vector<GridColumn> columns = DisplayColumns(rows);
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[0].title, "名称");
  EXPECT_EQ(columns[1].title, "描述");  // the prefix in any letter case
  EXPECT_EQ(columns[2].title, "ID");
  EXPECT_EQ(columns[2].field, 3u);
  EXPECT_EQ(FindColumn(rows, "描述"), 2);
  EXPECT_EQ(FindColumn(rows, "id"), 3);  // the display column comes first
  EXPECT_EQ(FindColumn(rows, "DISP_名称"), 1);
  EXPECT_EQ(FindColumn(rows, "nothing"), -1);

  rt::RowSet plain;
  plain.fields = {{"A", rt::FieldType::Text}, {"DISP_", rt::FieldType::Text}};
  EXPECT_EQ(DisplayColumns(plain).size(), 2u);  // no display column: all of them
}

}  // namespace
}  // namespace hostcore
