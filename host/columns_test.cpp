#include "host/columns.h"

#include <gtest/gtest.h>

namespace host {
namespace {

rt::RowSet Documents() {
  rt::RowSet rows;
  rows.fields = {{"ID", rt::FieldType::Integer},
                 {"DISP_名称", rt::FieldType::Text},
                 {"disp_描述", rt::FieldType::Text},
                 {"DISP_ID", rt::FieldType::Integer}};
  rows.rows = {{std::int64_t{1}, std::string("实验室安全手册.txt"), std::string("a"), std::int64_t{1}},
               {std::int64_t{2}, std::string("ab.csv"), std::string("第 2 版\r\n附录"), std::int64_t{10}},
               {std::int64_t{3}, std::string("表\\碶"), rt::Value(), std::int64_t{100}}};
  return rows;
}

TEST(ColumnsTest, ShowsTheDisplayColumnsWithoutTheirPrefix) {
  const rt::RowSet rows = Documents();
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
}  // namespace host
