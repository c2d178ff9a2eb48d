#include "hostcore/param_text_writer.h"

#include <gtest/gtest.h>

#include <random>

#include "hostcore/row_params.h"
#include "module/framework/param_text.h"
#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace hostcore {
namespace {

TEST(ParamTextWriterTest, QuotesOnlyItemsTheReaderWouldCut) {
  EXPECT_EQ(ParamTextItem("TV_ID", "12"), "TV_ID=12");
  EXPECT_EQ(ParamTextItem("DISP_名称", "实验室安全手册.txt"), "DISP_名称=实验室安全手册.txt");
  EXPECT_EQ(ParamTextItem("K", ""), "K=");
  EXPECT_EQ(ParamTextItem("K", "a=b"), "K=a=b");
  EXPECT_EQ(ParamTextItem("DISP_名称", "仪器 校准.csv"), "\"DISP_名称=仪器 校准.csv\"");
  EXPECT_EQ(ParamTextItem("K", "a;b"), "\"K=a;b\"");
  EXPECT_EQ(ParamTextItem("K", "say \"hi\""), "\"K=say \"\"hi\"\"\"");
  EXPECT_EQ(ParamTextItem("K", "\"x"), "\"K=\"\"x\"");
  EXPECT_EQ(ParamTextItem("K", "a\tb\r\nc"), "\"K=a\tb\r\nc\"");
  EXPECT_EQ(ParamTextItem("K", std::string("a\0b", 3)), "K=ab");  // NUL would end the text
  // GBK characters whose second byte is '\', '|' or '[' need no quotes.
  EXPECT_EQ(ParamTextItem("K", "表\\碶琝|盵["), "K=表\\碶琝|盵[");
  EXPECT_THROW(ParamTextItem("A=B", "x"), rt::EConvertError);
  EXPECT_EQ(BuildParamText({{"TV_ID", "1"}, {"TV_Name", "a b"}, {"Icon", "x.ico"}}),
            "TV_ID=1;\"TV_Name=a b\";Icon=x.ico");
}

TEST(ParamTextWriterTest, TheReaderGivesBackWhatWasWritten) {
  const std::string text = BuildParamText({{"TV_ID", "7"},
                                           {"DISP_名称", "2021年度 \"内审\" 资料; 待归档"},
                                           {"DISP_描述", "第 2 版;\r\n含\"附录 A\""},
                                           {"Icon", "labdoc.ico"}});
  EXPECT_EQ(labdocs::ParamTextValue(text, "TV_ID"), "7");
  EXPECT_EQ(labdocs::ParamTextValue(text, "disp_名称"), "2021年度 \"内审\" 资料; 待归档");
  EXPECT_EQ(labdocs::ParamTextValue(text, "DISP_描述"), "第 2 版;\r\n含\"附录 A\"");
  EXPECT_EQ(labdocs::ParamTextValue(text, "Icon"), "labdoc.ico");
  EXPECT_EQ(labdocs::SplitParamText(text).size(), 4u);
}

// Random GBK values, weighted towards the bytes that matter to the reader:
// separators, quotes, control characters, '=' and double-byte characters
// whose second byte is an ASCII character.
std::string RandomValue(std::mt19937& random) {
  static const std::vector<std::string> kPieces = {" ",    ";",    "\"",   "\"\"",   "=",        "\t",
                                                   "\r\n", "\x01", "\x1f", "a",      "Z",        "0",
                                                   ".",    "\\",   "|",    "表",     "碶",       "琝",
                                                   "盵",   "誠",   "名称", "实验室", "\x81\x40", "\xfe\xfe"};
  std::uniform_int_distribution<std::size_t> length(0, 12);
  std::uniform_int_distribution<std::size_t> piece(0, kPieces.size() - 1);
  std::string value;
  for (std::size_t n = length(random); n > 0; --n) value += kPieces[piece(random)];
  return value;
}

TEST(ParamTextWriterTest, RandomGbkValuesSurviveTheRoundTrip) {
  std::mt19937 random(20240517);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::pair<std::string, std::string>> items;
    const int count = 1 + round % 5;
    for (int i = 0; i < count; ++i)
      items.emplace_back("K" + std::to_string(i) + (i % 2 ? "名" : ""), RandomValue(random));
    const std::string text = BuildParamText(items);
    ASSERT_EQ(labdocs::SplitParamText(text).size(), items.size()) << text;
    for (const auto& [key, value] : items) {
      // The reader trims bytes 0..32 from both ends of a value.
      const std::string expected(rt::gbk::Trim(value));
      ASSERT_EQ(labdocs::ParamTextValue(text, key), expected) << "key " << key << " in " << text;
    }
  }
}

TEST(RowParamsTest, EachSelectedRowCarriesItsColumnsInFront) {
  rt::RowSet rows;
  rows.fields = {{"ID", rt::FieldType::Integer},
                 {"DISP_名称", rt::FieldType::Text},
                 {"DISP_时间", rt::FieldType::DateTime}};
  rows.rows = {{std::int64_t{1}, std::string("甲.txt"), rt::DateTime{43466.5}},
               {std::int64_t{2}, std::string("乙 丙.txt"), rt::Value()}};
  EXPECT_EQ(RowParamText(rows, 0), "ID=1;DISP_名称=甲.txt;\"DISP_时间=2019-01-01 12:00:00\"");
  EXPECT_EQ(RowParamText(rows, 1), "ID=2;\"DISP_名称=乙 丙.txt\";DISP_时间=");

  const rt::RowSet selection = SelectionRows(rows, {1, 0});
  ASSERT_EQ(selection.fields.size(), 4u);
  EXPECT_EQ(selection.fields[0].name, kParamTextColumn);
  EXPECT_EQ(selection.fields[2].name, "DISP_名称");
  ASSERT_EQ(selection.rows.size(), 2u);
  EXPECT_EQ(selection.rows[0][0], rt::Value(RowParamText(rows, 1)));
  EXPECT_EQ(selection.rows[0][1], rt::Value(std::int64_t{2}));
  EXPECT_EQ(selection.rows[1][0], rt::Value(RowParamText(rows, 0)));

  const rt::RowSet none = SelectionRows(rows, {});
  EXPECT_EQ(none.fields.size(), 4u);
  EXPECT_TRUE(none.rows.empty());
  EXPECT_THROW(SelectionRows(rows, {2}), rt::Exception);
}

}  // namespace
}  // namespace hostcore
