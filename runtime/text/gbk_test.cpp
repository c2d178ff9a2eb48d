#include "runtime/text/gbk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// SameText compares in place; it must agree with comparing the upper-case
// copies on every pair of texts, including second bytes that are ASCII
// letters, lead bytes without a second byte and lead bytes next to letters.
TEST(GbkTest, SameTextAndTextLessAgreeWithComparingUpperCaseCopies) {
  const char bytes[] = {'a', 'A', 'z', '_', '\x81', '\xfe', '\x40', '\x7f', '\xff'};
  std::vector<std::string> texts{""};
  for (std::size_t length = 1; length <= 3; ++length) {
    const std::size_t start = texts.size();
    for (std::size_t i = 0; i < start; ++i)
      if (texts[i].size() == length - 1)
        for (char c : bytes) texts.push_back(texts[i] + c);
  }
  std::size_t same = 0;
  for (const std::string& a : texts)
    for (const std::string& b : texts) {
      const bool expected = a.size() == b.size() && UpperCase(a) == UpperCase(b);
      ASSERT_EQ(SameText(a, b), expected) << testing::PrintToString(a) << " " << testing::PrintToString(b);
      ASSERT_EQ(TextLess{}(a, b), UpperCase(a) < UpperCase(b))
          << testing::PrintToString(a) << " " << testing::PrintToString(b);
      same += expected;
    }
  EXPECT_GT(same, texts.size());  // letters of either case matched
}

TEST(GbkTest, TrimRemovesControlBytesAndBlanksOnly) {
  EXPECT_EQ(Trim(" \t\r\n 淺 \x01"), "淺");
  EXPECT_EQ(Trim(std::string_view("\0x\0", 3)), "x");
  EXPECT_EQ(Trim("   "), "");
}

}  // namespace
}  // namespace rt::gbk
