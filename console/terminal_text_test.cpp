#include "console/terminal_text.h"

#include <gtest/gtest.h>

namespace console {
namespace {

TEST(TerminalTextTest, WideCharactersTakeTwoColumns) {
  EXPECT_EQ(DisplayWidth("abc"), 3u);
  EXPECT_EQ(DisplayWidth(u8"名称"), 4u);
  EXPECT_EQ(DisplayWidth(u8"仪器 校准.csv"), 13u);
  EXPECT_EQ(DisplayWidth(u8"！，、。"), 8u);  // full-width and ideographic punctuation
  EXPECT_EQ(DisplayWidth(u8"×①"), 2u);        // ambiguous width: narrow, as UTF-8 terminals show it
  EXPECT_EQ(DisplayWidth(u8"e\u0301"), 1u);   // a combining accent takes no column
  EXPECT_EQ(DisplayWidth("\xFF\xFE"), 2u);    // bytes that are not UTF-8 count one each
}

TEST(TerminalTextTest, FittingCutsWholeCharactersAndMarksTheCut) {
  EXPECT_EQ(FitWidth(u8"实验室安全手册", 20), u8"实验室安全手册");
  EXPECT_EQ(FitWidth(u8"实验室安全手册", 6), u8"实验~");  // 4 columns, no half character, then the mark
  EXPECT_EQ(FitWidth(u8"实验室安全手册", 7), u8"实验室~");
  EXPECT_EQ(FitWidth("abcdef", 4), "abc~");
  EXPECT_EQ(DisplayWidth(FitWidth(u8"a实验室", 3)), 2u);
  EXPECT_EQ(PadRight(u8"名称", 6), u8"名称  ");
  EXPECT_EQ(PadRight(u8"名称", 2), u8"名称");
}

TEST(TerminalTextTest, GbkBecomesUtf8AndBadBytesBecomeQuestionMarks) {
  EXPECT_EQ(ToTerminal("表\\碶"), u8"表\\碶");  // 碶's second byte is '\'
  EXPECT_EQ(ToTerminal(std::string("a\xFF") + "b"), "a?b");
  EXPECT_EQ(ToTerminal("a\x81"), "a?");  // a lead byte without its second byte
  EXPECT_EQ(OneLine("a\r\nb\tc\x01"), "a\\r\\nb\\tc\\x01");
  EXPECT_EQ(OneLine("琝\\"), "琝\\");  // a trail byte is no control character
}

}  // namespace
}  // namespace console
