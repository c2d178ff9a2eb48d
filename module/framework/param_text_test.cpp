#include "module/framework/param_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace labdocs {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using namespace std::string_literals;

// Two different GBK characters whose second bytes are the lower- and the
// upper-case form of one ASCII letter: folding the second byte would make
// them compare equal. Found by walking the code points, so that both are
// real characters of the code page.
std::pair<std::string, std::string> FoldTrapPair() {
  for (int lead = 0xB0; lead <= 0xF7; ++lead) {
    for (char trail = 'a'; trail <= 'z'; ++trail) {
      std::string lower{static_cast<char>(lead), trail};
      std::string upper{static_cast<char>(lead), static_cast<char>(trail - 'a' + 'A')};
      try {
        if (rt::gbk::ToUtf8(lower) != rt::gbk::ToUtf8(upper)) return {lower, upper};
      } catch (const rt::EConvertError&) {
        // Not a character of the code page; try the next one.
      }
    }
  }
  return {};
}

TEST(ParamTextSplitTest, BlanksAndControlBytesEndItemsLikeSemicolons) {
  EXPECT_THAT(SplitParamText("TV_Name=a b;Icon=x"), ElementsAre("TV_Name=a", "b", "Icon=x"));
  // clang-format off
  EXPECT_THAT(SplitParamText("a\tb\nc\rd\x01" "e\x1F" "f"), ElementsAre("a", "b", "c", "d", "e", "f"));
  // clang-format on
  // Runs of separators are skipped before the first item, after each item
  // and after each ';' without giving empty items.
  EXPECT_THAT(SplitParamText(" \t\r\n TV_ID=12  \t ;  Icon=doc.ico \r\n"), ElementsAre("TV_ID=12", "Icon=doc.ico"));
  EXPECT_THAT(SplitParamText("a \x02 ; \x03 b"), ElementsAre("a", "b"));
  // Byte 33 ('!') and bytes above 127 are ordinary item bytes.
  EXPECT_THAT(SplitParamText("!a=\x7F\x80\xFF"), ElementsAre("!a=\x7F\x80\xFF"));
}

TEST(ParamTextSplitTest, EmptyItems) {
  EXPECT_THAT(SplitParamText(""), IsEmpty());
  EXPECT_THAT(SplitParamText(" \t\x01 "), IsEmpty());
  EXPECT_THAT(SplitParamText("a;;b"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitParamText("a; \t ;b"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitParamText("a;"), ElementsAre("a", ""));
  EXPECT_THAT(SplitParamText("a ;"), ElementsAre("a", ""));
  // The ';' is not the very last byte: no empty item after it.
  EXPECT_THAT(SplitParamText("a; "), ElementsAre("a"));
  EXPECT_THAT(SplitParamText(";"), ElementsAre("", ""));
  EXPECT_THAT(SplitParamText("  ;a"), ElementsAre("", "a"));
  EXPECT_THAT(SplitParamText(";;"), ElementsAre("", "", ""));
}

TEST(ParamTextSplitTest, Quoting) {
  EXPECT_THAT(SplitParamText("\"TV_Name=a b\";Icon=x"), ElementsAre("TV_Name=a b", "Icon=x"));
  EXPECT_THAT(SplitParamText("\"K=say \"\"hi\"\"\" x"), ElementsAre("K=say \"hi\"", "x"));
  EXPECT_THAT(SplitParamText("\"\"\"\""), ElementsAre("\""));
  EXPECT_THAT(SplitParamText("\"\";a"), ElementsAre("", "a"));
  EXPECT_THAT(SplitParamText("\"a;b\tc\""), ElementsAre("a;b\tc"));
  // Only a quote at the very start of an item quotes it.
  EXPECT_THAT(SplitParamText("K=\"a b\""), ElementsAre("K=\"a", "b\""));
  // The item ends at its closing quote; what follows starts the next item.
  EXPECT_THAT(SplitParamText("\"a\"b;c"), ElementsAre("a", "b", "c"));
  // An unterminated quote runs to the end of the text, blanks and all.
  EXPECT_THAT(SplitParamText("x \"K=a; b "), ElementsAre("x", "K=a; b "));
  EXPECT_THAT(SplitParamText("\""), ElementsAre(""));
  EXPECT_THAT(SplitParamText("\"a\";"), ElementsAre("a", ""));
}

TEST(ParamTextSplitTest, TextEndsAtNul) {
  EXPECT_THAT(SplitParamText("K=a\0;J=b"s), ElementsAre("K=a"));
  EXPECT_THAT(SplitParamText("\"K=a\0\";J=b"s), ElementsAre("K=a"));
  EXPECT_THAT(SplitParamText("\0K=a"s), IsEmpty());
  EXPECT_EQ(ParamTextValue("K=a\0;J=b"s, "J"), "");
}

TEST(ParamTextSplitTest, DoubleByteCharactersStayWhole) {
  EXPECT_THAT(SplitParamText("TV_Name=论文管理明细;Disp_名称=实验文件"),
              ElementsAre("TV_Name=论文管理明细", "Disp_名称=实验文件"));
  // Second bytes '\\', '|', '@' and '[' are ordinary bytes of the character.
  EXPECT_THAT(SplitParamText("P=籠\\蘚;Q=縷|籃;R=癧"), ElementsAre("P=籠\\蘚", "Q=縷|籃", "R=癧"));
  EXPECT_THAT(SplitParamText("\"名称=籠 子\" 目录"), ElementsAre("名称=籠 子", "目录"));
}

TEST(ParamTextValueTest, KeyAndValue) {
  const char* text = "TV_ID=12;Icon=doc.ico";
  EXPECT_EQ(ParamTextValue(text, "icon"), "doc.ico");
  EXPECT_EQ(ParamTextValue(text, "TV_ID"), "12");
  EXPECT_EQ(ParamTextValue(text, "Name"), "");
  // The value keeps further '=' characters.
  EXPECT_EQ(ParamTextValue("K=a=b;K=c", "K"), "a=b");
  // Blanks around '=' split the item: no item has the key "Icon".
  EXPECT_THAT(SplitParamText("Icon = doc.ico"), ElementsAre("Icon", "=", "doc.ico"));
  EXPECT_EQ(ParamTextValue("Icon = doc.ico", "Icon"), "");
  // An item without '=' has no key, even when its text equals the key.
  EXPECT_EQ(ParamTextValue("K;K=1", "K"), "1");
  EXPECT_EQ(ParamTextValue("K", "K"), "");
  EXPECT_EQ(ParamTextValue("K=", "K"), "");
  EXPECT_EQ(ParamTextValue("", "K"), "");
}

TEST(ParamTextValueTest, FirstMatchWinsWithoutRegardToCase) {
  EXPECT_EQ(ParamTextValue("labdoc_id=1;LABDOC_ID=2;LabDoc_ID=3", "LabDoc_ID"), "1");
  EXPECT_EQ(ParamTextValue("A=;A=2", "a"), "");
  EXPECT_EQ(ParamTextValue("Disp_名称=论文管理明细;DISP_名称=x", "DISP_名称"), "论文管理明细");
  EXPECT_EQ(ParamTextValue("x=1;DISP_名称=籠子", "disp_名称"), "籠子");
  EXPECT_EQ(ParamTextValue("Disp_文件来源=本地", "DISP_文件来源"), "本地");
  EXPECT_EQ(ParamTextValue("TV_Name=论文管理明细", "tv_name"), "论文管理明细");
  // A key that only looks alike after trimming does not match.
  EXPECT_EQ(ParamTextValue("Icon=x", " Icon"), "");
  EXPECT_EQ(ParamTextValue("Icon=x", "Icon "), "");
  EXPECT_EQ(ParamTextValue("\" Icon=x\"", " Icon"), "x");
}

TEST(ParamTextValueTest, EmptyKey) {
  // The reader has no special case for the empty key: it matches an item
  // that starts with '=', never an empty item or an item without '='.
  EXPECT_EQ(ParamTextValue("a=1;=x", ""), "x");
  EXPECT_EQ(ParamTextValue("a;;b;", ""), "");
  EXPECT_EQ(ParamTextValue("   ", ""), "");
  EXPECT_EQ(ParamTextValue("=x", "  "), "");
}

TEST(ParamTextValueTest, ValueIsTrimmedOfControlBytes) {
  EXPECT_EQ(ParamTextValue("\"K=  a b \t\x01\"", "K"), "a b");
  EXPECT_EQ(ParamTextValue("\"K=\x1F论文 管理\r\n\"", "k"), "论文 管理");
  EXPECT_EQ(ParamTextValue("\"K=   \"", "K"), "");
  // A value ending in a character whose second byte is '\\' keeps it.
  EXPECT_EQ(ParamTextValue("\"K= 籠\\ \"", "K"), "籠\\");
}

TEST(ParamTextValueTest, SecondBytesOfDoubleByteCharactersAreNotFolded) {
  auto [lower, upper] = FoldTrapPair();
  ASSERT_EQ(lower.size(), 2u) << "no character pair found";
  ASSERT_NE(rt::gbk::ToUtf8(lower), rt::gbk::ToUtf8(upper));

  EXPECT_FALSE(SameParamKey(lower, upper));
  EXPECT_FALSE(SameParamKey("Key" + lower, "KEY" + upper));
  EXPECT_TRUE(SameParamKey("Key" + lower, "KEY" + lower));
  // The byte after a double-byte character is a character of its own again.
  EXPECT_TRUE(SameParamKey(lower + "ab", lower + "AB"));
  EXPECT_FALSE(SameParamKey(lower + "ab", upper + "ab"));
  // A lead byte at the end of a text, or before a byte that cannot follow
  // it, is a character of its own; the letter after it is folded.
  EXPECT_TRUE(SameParamKey("a\x81", "A\x81"));
  // clang-format off
  EXPECT_TRUE(SameParamKey("\x81" "1a", "\x81" "1A"));
  // clang-format on
  EXPECT_FALSE(SameParamKey("ab", "abc"));

  std::string text = "K" + upper + "=upper;K" + lower + "=lower";
  EXPECT_EQ(ParamTextValue(text, "k" + lower), "lower");
  EXPECT_EQ(ParamTextValue(text, "K" + upper), "upper");
}

// Every lookup agrees with the items: for every text of up to five bytes over
// the bytes that matter to the reader, the value found for the key of each
// item equals the trimmed value of the first item with that key.
TEST(ParamTextValueTest, LookupAgreesWithItemsOnAllShortTexts) {
  const std::string alphabet = "\"; =aA\x81"s + '\0' + "\x01";
  auto trim = [](std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
    return std::string(s);
  };
  std::size_t checked = 0;
  std::string text;
  for (std::size_t length = 0; length <= 5; ++length) {
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < length; ++i) combinations *= alphabet.size();
    for (std::size_t n = 0; n < combinations; ++n) {
      text.clear();
      for (std::size_t i = 0, rest = n; i < length; ++i, rest /= alphabet.size())
        text += alphabet[rest % alphabet.size()];
      auto items = SplitParamText(text);
      for (const std::string& item : items) {
        ASSERT_LE(item.size(), text.size());
        std::size_t equals = item.find('=');
        if (equals == std::string::npos) continue;
        std::string key = item.substr(0, equals);
        std::string expected;
        for (const std::string& other : items) {
          std::size_t other_equals = other.find('=');
          if (other_equals != std::string::npos && SameParamKey(other.substr(0, other_equals), key)) {
            expected = trim(std::string_view(other).substr(other_equals + 1));
            break;
          }
        }
        ASSERT_EQ(ParamTextValue(text, key), expected) << "text of " << text.size() << " bytes, case " << n;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 10000u);
}

}  // namespace
}  // namespace labdocs
