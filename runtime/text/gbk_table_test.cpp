// The table must give exactly the system converter's bytes: checked on
// every GBK character, every character of the Basic Multilingual Plane, and
// texts the table leaves to the system's converter.
#include "runtime/text/gbk_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "runtime/errors.h"
#include "runtime/platform/charset.h"
#include "runtime/text/gbk.h"

namespace rt::gbk {
namespace {

// What FromUtf8 gave before the table: the system's converter.
std::string BySystem(const std::string& utf8) {
  std::string gbk;
  if (!platform::Utf8ToGbk(utf8, gbk)) return "<invalid>";
  return gbk;
}

std::string ByFromUtf8(const std::string& utf8) {
  try {
    return FromUtf8(utf8);
  } catch (const EConvertError&) {
    return "<invalid>";
  }
}

std::string Utf8Of(std::uint32_t c) {
  std::string out;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return out;
}

TEST(GbkTableTest, EveryGbkCharacterComesBackAsTheSystemConvertsIt) {
  int characters = 0;
  std::string all_utf8;
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
      std::string utf8;
      if (!platform::GbkToUtf8(gbk, utf8)) continue;
      ++characters;
      ASSERT_EQ(ByFromUtf8(utf8), BySystem(utf8)) << std::hex << lead << " " << trail;
      all_utf8 += utf8;
      all_utf8 += 'x';
    }
  EXPECT_GT(characters, 21000);  // GBK holds 21,886 characters
  EXPECT_EQ(ByFromUtf8(all_utf8), BySystem(all_utf8));
}

TEST(GbkTableTest, EveryCharacterOfTheBasicPlaneAndEveryBadSequenceAsTheSystemConvertsIt) {
  for (std::uint32_t c = 0x80; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    // Alone, and between other characters (文 after it).
    for (const std::string& text : {Utf8Of(c), "a" + Utf8Of(c) + "\xe6\x96\x87"})
      ASSERT_EQ(ByFromUtf8(text), BySystem(text)) << std::hex << c;
  }
  // clang-format off
  const char* const texts[] = {
      "\xc0\x80",               // overlong NUL
      "\xe0\x80\xaf",           // overlong '/'
      "\xed\xa0\x80",           // a surrogate
      "\xe6\x96",               // cut short
      "\xe6\x96\x87\x80",       // a stray continuation byte
      "\xf0\x9f\x98\x80 ok",    // beyond the plane: '?'
      "\xf4\x90\x80\x80",       // beyond Unicode
      "\xff",
      "\xe2\x82\xac",           // the euro sign
  };
  // clang-format on
  for (const char* text : texts) EXPECT_EQ(ByFromUtf8(text), BySystem(text)) << testing::PrintToString(text);
}

TEST(GbkTableTest, TheTableRefusesWhatItDoesNotHoldAndLeavesTheOutputAsItWas) {
  std::string out = "kept";
  EXPECT_FALSE(Utf8ToGbkByTable("\xe6\x96\x87\xf0\x9f\x98\x80", out));
  EXPECT_EQ(out, "kept");
  EXPECT_TRUE(Utf8ToGbkByTable("\xe6\x96\x87", out));
  EXPECT_EQ(out, "kept\xce\xc4");  // 文 in GBK
}

}  // namespace
}  // namespace rt::gbk
