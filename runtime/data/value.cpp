#include "runtime/data/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "runtime/errors.h"

namespace rt {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kFirstDay = -693'593;    // 0001-01-01
constexpr std::int64_t kLastDay = 2'958'465;    // 9999-12-31
constexpr std::int64_t kUnixEpochDay = 25'569;  // 1970-01-01

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01.
CivilDate CivilFromDays(std::int64_t z) {
  z += 719'468;
  const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  const auto doe = static_cast<unsigned>(z - era * 146'097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

// The integral part of a date-time counts days from 1899-12-30 and the
// fraction, taken without its sign, is the time of day (so -1.25 is
// 1899-12-29 06:00). The time is rounded to the millisecond, then the
// milliseconds are dropped.
std::string DateTimeToText(DateTime value) {
  const double days = value.days;
  if (!std::isfinite(days) || days < static_cast<double>(kFirstDay - 1) || days > static_cast<double>(kLastDay + 1))
    throw EConvertError("Invalid date-time value");
  const double whole = std::trunc(days);
  auto day = static_cast<std::int64_t>(whole);
  std::int64_t ms = std::llround(std::fabs(days - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    ++day;
  }
  if (day < kFirstDay || day > kLastDay) throw EConvertError("Invalid date-time value");
  const CivilDate date = CivilFromDays(day - kUnixEpochDay);
  const std::int64_t seconds = ms / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year), date.month, date.day,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

}  // namespace

// NULL is the empty text; integers are decimal; floats take the shortest
// form that reads back as the same double ("0.1", "100", "1e+20", "inf",
// "nan"); texts are returned as they stand; blobs give their bytes; a
// date-time is always "YYYY-MM-DD HH:MM:SS", also at midnight, so that every
// date-time has one text form. A date-time outside 0001-01-01 to 9999-12-31
// raises rt::EConvertError.
std::string ValueToText(const Value& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const {
      char text[64];
      const auto result = std::to_chars(text, text + sizeof text, v);
      return std::string(text, result.ptr);
    }
    std::string operator()(const std::string& v) const { return v; }
    std::string operator()(DateTime v) const { return DateTimeToText(v); }
    std::string operator()(const std::vector<std::uint8_t>& v) const { return std::string(v.begin(), v.end()); }
  };
  return std::visit(Visitor{}, value);
}

}  // namespace rt
