#include "console/grid.h"

#include <gtest/gtest.h>

#include "console/terminal_text.h"
#include "hostcore/testing/sample_rows.h"

namespace console {
namespace {

using hostcore::testing::SampleDocumentRows;

// The display column at which each cell of a line starts.
std::vector<std::size_t> CellStarts(const std::string& line, const std::vector<std::string>& cells) {
  std::vector<std::size_t> starts;
  std::size_t from = 0;
  for (const std::string& cell : cells) {
    const std::size_t at = line.find(cell, from);
    if (at == std::string::npos) return {};
    starts.push_back(DisplayWidth(line.substr(0, at)));
    from = at + cell.size();
  }
  return starts;
}

TEST(GridTest, AlignsColumnsByDisplayWidth) {
  const std::vector<std::string> lines =
      RenderGrid(SampleDocumentRows(), hostcore::DisplayColumns(SampleDocumentRows()), {false, true, false});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], u8"  #  名称                描述             ID");
  EXPECT_EQ(lines[1], u8"  1  实验室安全手册.txt  a                1");
  EXPECT_EQ(lines[2], u8"* 2  ab.csv              第 2 版\\r\\n附录  10");
  EXPECT_EQ(lines[3], u8"  3  表\\碶" + std::string(13 + 2 + 15 + 2, ' ') + "100");  // an empty description
  // Every column starts at the same display column on every line.
  const auto header = CellStarts(lines[0], {"#", u8"名称", u8"描述", "ID"});
  EXPECT_EQ(CellStarts(lines[1], {"1", u8"实验室安全手册.txt", "a", "1"}), header);
  EXPECT_EQ(CellStarts(lines[2], {"2", "ab.csv", u8"第 2 版", "10"}), header);
}

TEST(GridTest, CutsLongCellsAndShowsEmptyLists) {
  rt::RowSet rows;
  rows.fields = {{"DISP_描述", rt::FieldType::Text}};
  rows.rows = {{std::string("一二三四五六七八九十")}};
  const std::vector<std::string> lines = RenderGrid(rows, hostcore::DisplayColumns(rows), {}, 9);
  EXPECT_EQ(lines[1], u8"  1  一二三四~");

  rows.rows.clear();
  EXPECT_EQ(RenderGrid(rows, hostcore::DisplayColumns(rows), {}), std::vector<std::string>{u8"  #  描述"});
}

}  // namespace
}  // namespace console
