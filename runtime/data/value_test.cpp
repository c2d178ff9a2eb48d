#include "runtime/data/value.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "runtime/errors.h"

namespace rt {
namespace {

TEST(ValueToText, NullNumbersTextsAndBlobs) {
  EXPECT_EQ(ValueToText(std::monostate{}), "");
  EXPECT_EQ(ValueToText(std::int64_t{0}), "0");
  EXPECT_EQ(ValueToText(std::int64_t{-42}), "-42");
  EXPECT_EQ(ValueToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(ValueToText(std::string("誠實 華|質")), "誠實 華|質");
  EXPECT_EQ(ValueToText(std::string()), "");
  EXPECT_EQ(ValueToText(std::vector<std::uint8_t>{0xD5, 0x5C, 0x00, 0x41}), std::string("\xD5\x5C\0A", 4));
}

TEST(ValueToText, FloatsInTheirShortestExactForm) {
  EXPECT_EQ(ValueToText(0.1), "0.1");
  EXPECT_EQ(ValueToText(100.0), "100");
  EXPECT_EQ(ValueToText(-2.5), "-2.5");
  EXPECT_EQ(ValueToText(1e20), "1e+20");
  for (double v : {1.0 / 3, 2.0 / 7 * 1e-9, 123456789.125, 5e-324}) {
    const std::string text = ValueToText(v);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
  }
}

TEST(ValueToText, DateTimes) {
  EXPECT_EQ(ValueToText(DateTime{0}), "1899-12-30 00:00:00");
  EXPECT_EQ(ValueToText(DateTime{1}), "1899-12-31 00:00:00");
  EXPECT_EQ(ValueToText(DateTime{45000}), "2023-03-15 00:00:00");  // a whole day keeps its time
  EXPECT_EQ(ValueToText(DateTime{36585}), "2000-02-29 00:00:00");
  EXPECT_EQ(ValueToText(DateTime{36584.75}), "2000-02-28 18:00:00");
  EXPECT_EQ(ValueToText(DateTime{45351.57303240741}), "2024-02-29 13:45:10");
  // Before the origin the time of day counts away from zero.
  EXPECT_EQ(ValueToText(DateTime{-1.25}), "1899-12-29 06:00:00");
  // A time that rounds to midnight moves to the next day.
  EXPECT_EQ(ValueToText(DateTime{45000.999999999}), "2023-03-16 00:00:00");
  EXPECT_EQ(ValueToText(DateTime{45000 + 59.9996 / 86400}), "2023-03-15 00:01:00");
  EXPECT_EQ(ValueToText(DateTime{45000 + 59.999 / 86400}), "2023-03-15 00:00:59");
  EXPECT_EQ(ValueToText(DateTime{-693593}), "0001-01-01 00:00:00");
  EXPECT_EQ(ValueToText(DateTime{2958465.5}), "9999-12-31 12:00:00");
}

TEST(ValueToText, ImpossibleDateTimes) {
  EXPECT_THROW(ValueToText(DateTime{-693594}), EConvertError);
  EXPECT_THROW(ValueToText(DateTime{2958466}), EConvertError);
  EXPECT_THROW(ValueToText(DateTime{std::numeric_limits<double>::quiet_NaN()}), EConvertError);
  EXPECT_THROW(ValueToText(DateTime{std::numeric_limits<double>::infinity()}), EConvertError);
  EXPECT_THROW(ValueToText(DateTime{1e300}), EConvertError);
}

}  // namespace
}  // namespace rt
