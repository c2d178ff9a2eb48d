#include "runtime/data/datetime_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/errors.h"

namespace rt::datetime {
namespace {

TEST(DateTimeText, OriginAndKnownDays) {
  EXPECT_EQ(Encode({1899, 12, 30, 0, 0, 0, 0}).days, 0.0);
  EXPECT_EQ(Encode({1900, 1, 1, 0, 0, 0, 0}).days, 2.0);
  EXPECT_EQ(Encode({2000, 1, 1, 0, 0, 0, 0}).days, 36526.0);
  EXPECT_EQ(Encode({1, 1, 1, 0, 0, 0, 0}).days, -693593.0);
  EXPECT_EQ(Encode({9999, 12, 31, 0, 0, 0, 0}).days, 2958465.0);
  EXPECT_EQ(ToText(DateTime{0}), "1899-12-30 00:00:00.000");
  EXPECT_EQ(ToText(DateTime{2.75}), "1900-01-01 18:00:00.000");
}

TEST(DateTimeText, LeapYears) {
  EXPECT_EQ(Encode({2024, 3, 1, 0, 0, 0, 0}).days - Encode({2024, 2, 28, 0, 0, 0, 0}).days, 2.0);
  EXPECT_EQ(Encode({2023, 3, 1, 0, 0, 0, 0}).days - Encode({2023, 2, 28, 0, 0, 0, 0}).days, 1.0);
  EXPECT_EQ(ToText(Encode({2000, 2, 29, 12, 0, 0, 0})), "2000-02-29 12:00:00.000");
  EXPECT_THROW(Encode({1900, 2, 29, 0, 0, 0, 0}), EConvertError);  // 1900 is no leap year
  EXPECT_THROW(Encode({2023, 2, 29, 0, 0, 0, 0}), EConvertError);
  EXPECT_FALSE(FromText("2100-02-29"));
  EXPECT_TRUE(FromText("2400-02-29"));
}

TEST(DateTimeText, FractionsOfTheDay) {
  const DateTime value = Encode({2024, 5, 17, 13, 45, 30, 123});
  EXPECT_EQ(ToText(value), "2024-05-17 13:45:30.123");
  EXPECT_EQ(Decode(value), (Parts{2024, 5, 17, 13, 45, 30, 123}));
  // A value a hair below midnight rounds into the next day.
  EXPECT_EQ(ToText(DateTime{1.0 - 1e-10}), "1899-12-31 00:00:00.000");
  EXPECT_EQ(ToText(Encode({2024, 12, 31, 23, 59, 59, 999})), "2024-12-31 23:59:59.999");
}

TEST(DateTimeText, DaysBeforeTheOriginCountTheTimeOutward) {
  EXPECT_EQ(Encode({1899, 12, 29, 6, 0, 0, 0}).days, -1.25);
  EXPECT_EQ(ToText(DateTime{-1.25}), "1899-12-29 06:00:00.000");
  EXPECT_EQ(ToText(DateTime{-0.5}), "1899-12-30 12:00:00.000");
}

TEST(DateTimeText, TextRoundTripsThroughTheValue) {
  for (const char* text : {"2024-02-29 00:00:00.000", "1970-01-01 08:00:00.001", "0001-01-01 00:00:00.000",
                           "9999-12-31 23:59:59.999", "1899-12-29 23:59:59.500"}) {
    const auto value = FromText(text);
    ASSERT_TRUE(value) << text;
    EXPECT_EQ(ToText(*value), text);
  }
}

TEST(DateTimeText, ReadsShorterAndLongerForms) {
  EXPECT_EQ(ToText(*FromText("2024-05-17")), "2024-05-17 00:00:00.000");
  EXPECT_EQ(ToText(*FromText("2024-05-17 08:09")), "2024-05-17 08:09:00.000");
  EXPECT_EQ(ToText(*FromText("2024-05-17T08:09:10")), "2024-05-17 08:09:10.000");
  EXPECT_EQ(ToText(*FromText("2024-05-17 08:09:10.5")), "2024-05-17 08:09:10.500");
  EXPECT_EQ(ToText(*FromText("2024-05-17 08:09:10.123999999")), "2024-05-17 08:09:10.123");
  for (const char* bad :
       {"", "2024-5-17", "2024-05-17 ", "2024-13-01", "2024-04-31", "2024-05-17 24:00:00", "2024-05-17 08:60",
        "2024-05-17 08:09:10.", "2024-05-17 08:09:10.1234567890", "2024/05/17", "0000-01-01", "2024-05-17 08:09:10 "})
    EXPECT_FALSE(FromText(bad)) << bad;
}

TEST(DateTimeText, StoredTextIsExactlyTheDatabaseForm) {
  EXPECT_TRUE(IsStoredText("2024-05-17 08:09:10.123"));
  EXPECT_TRUE(IsStoredText("2024-05-17 08:09:10"));
  EXPECT_FALSE(IsStoredText("2024-05-17"));
  EXPECT_FALSE(IsStoredText("2024-05-17T08:09:10"));
  EXPECT_FALSE(IsStoredText("2024-05-17 08:09:10.1"));
  EXPECT_FALSE(IsStoredText("2024-02-30 08:09:10.123"));
  EXPECT_TRUE(IsStoredText(NowText()));
  EXPECT_EQ(NowText().size(), 23u);
}

TEST(DateTimeText, ValuesOutOfRangeAreErrors) {
  EXPECT_THROW(ToText(DateTime{3e6}), EConvertError);
  EXPECT_THROW(ToText(DateTime{-7e5}), EConvertError);
  EXPECT_THROW(ToText(DateTime{std::numeric_limits<double>::quiet_NaN()}), EConvertError);
}

}  // namespace
}  // namespace rt::datetime
