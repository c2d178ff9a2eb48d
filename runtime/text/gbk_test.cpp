#include "runtime/text/gbk.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace rt::gbk {
namespace {

TEST(GbkTest, ConvertsBothWaysAndKeepsSecondBytesThatLookLikeAscii) {
  // 淺 is 9C 5C (a backslash as second byte), 癮/癆 differ only in 'a'/'A'.
  const std::string gbk = "实验室文件 淺\\癮癆 A-1";
  const std::string utf8 = ToUtf8(gbk);
  EXPECT_EQ(utf8, u8"实验室文件 淺\\癮癆 A-1");
  EXPECT_EQ(FromUtf8(utf8), gbk);
  EXPECT_EQ(ToUtf8("plain ascii"), "plain ascii");
  EXPECT_EQ(ToUtf8(""), "");
}

TEST(GbkTest, BadInputIsAClearErrorAndUnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_THROW(ToUtf8("\x81"), EConvertError);        // a lead byte alone
  EXPECT_THROW(ToUtf8("ab\xff\xff"), EConvertError);  // not GBK
  EXPECT_THROW(FromUtf8("\xe5\xae"), EConvertError);  // cut short
  EXPECT_THROW(FromUtf8("\xc3\x28"), EConvertError);  // not UTF-8
  EXPECT_EQ(FromUtf8(u8"文件😀ok"), "文件?ok");
}

TEST(GbkTest, CaseFoldingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(UpperCase("disp_名称"), "DISP_名称");
  EXPECT_NE(UpperCase("癮"), UpperCase("癆"));
  EXPECT_TRUE(SameText("LabDoc_ID", "LABDOC_ID"));
  EXPECT_FALSE(SameText("癮", "癆"));
  EXPECT_FALSE(SameText("ab", "abc"));
}

TEST(GbkTest, TrimRemovesControlBytesAndBlanksOnly) {
  EXPECT_EQ(Trim(" \t\r\n 淺 \x01"), "淺");
  EXPECT_EQ(Trim(std::string_view("\0x\0", 3)), "x");
  EXPECT_EQ(Trim("   "), "");
}

}  // namespace
}  // namespace rt::gbk
