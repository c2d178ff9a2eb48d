#include "runtime/data/datetime_text.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "runtime/errors.h"

namespace rt::datetime {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Days from 1970-01-01 back to the origin 1899-12-30.
constexpr std::int64_t kUnixEpochDays = 25'569;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

bool IsValid(const Parts& p) {
  return p.year >= 1 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
         p.day <= DaysInMonth(p.year, p.month) && p.hour >= 0 && p.hour < 24 && p.minute >= 0 && p.minute < 60 &&
         p.second >= 0 && p.second < 60 && p.millisecond >= 0 && p.millisecond < 1000;
}

// Reads exactly `count` decimal digits at text[pos].
bool ReadDigits(std::string_view text, std::size_t pos, std::size_t count, int& value) {
  if (pos + count > text.size()) return false;
  value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool ReadSeparator(std::string_view text, std::size_t pos, char separator) {
  return pos < text.size() && text[pos] == separator;
}

}  // namespace

DateTime Encode(const Parts& parts) {
  if (!IsValid(parts)) throw EConvertError("Not a valid date and time");
  const std::int64_t day_number =
      DaysFromCivil(parts.year, static_cast<unsigned>(parts.month), static_cast<unsigned>(parts.day)) + kUnixEpochDays;
  const double time_of_day =
      static_cast<double>(((parts.hour * 60 + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond) /
      static_cast<double>(kMsPerDay);
  const auto days = static_cast<double>(day_number);
  return DateTime{day_number >= 0 ? days + time_of_day : days - time_of_day};
}

Parts Decode(DateTime value) {
  // 0001-01-01 and the end of 9999-12-31.
  constexpr double kMinDays = -693593.0;
  constexpr double kMaxDays = 2958466.0;
  if (!(value.days > kMinDays - 1 && value.days < kMaxDays)) throw EConvertError("The date-time value is out of range");
  // The whole days give the date (toward zero); the fraction's size the time.
  const double whole = std::trunc(value.days);
  auto day_number = static_cast<std::int64_t>(whole);
  std::int64_t ms = std::llround(std::fabs(value.days - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {  // rounded up to midnight: the next calendar day
    ms -= kMsPerDay;
    ++day_number;
  }
  Parts p;
  CivilFromDays(day_number - kUnixEpochDays, p.year, p.month, p.day);
  if (p.year < 1 || p.year > 9999) throw EConvertError("The date-time value is out of range");
  p.millisecond = static_cast<int>(ms % 1000);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.minute = static_cast<int>(ms / 60'000 % 60);
  p.hour = static_cast<int>(ms / 3'600'000);
  return p;
}

std::string ToText(DateTime value) {
  const Parts p = Decode(value);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day, p.hour, p.minute,
                p.second, p.millisecond);
  return buffer;
}

std::optional<DateTime> FromText(std::string_view text) {
  Parts p;
  if (!ReadDigits(text, 0, 4, p.year) || !ReadSeparator(text, 4, '-') || !ReadDigits(text, 5, 2, p.month) ||
      !ReadSeparator(text, 7, '-') || !ReadDigits(text, 8, 2, p.day))
    return std::nullopt;
  std::size_t pos = 10;
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    if (!ReadDigits(text, 11, 2, p.hour) || !ReadSeparator(text, 13, ':') || !ReadDigits(text, 14, 2, p.minute))
      return std::nullopt;
    pos = 16;
    if (pos < text.size()) {
      if (!ReadSeparator(text, 16, ':') || !ReadDigits(text, 17, 2, p.second)) return std::nullopt;
      pos = 19;
    }
    if (pos < text.size()) {
      // A fraction of a second: '.' and 1 to 9 digits, cut to the millisecond.
      const std::size_t digits = text.size() - pos - 1;
      int fraction = 0;
      if (text[pos] != '.' || digits < 1 || digits > 9 || !ReadDigits(text, pos + 1, digits, fraction))
        return std::nullopt;
      for (std::size_t i = digits; i < 3; ++i) fraction *= 10;
      for (std::size_t i = 3; i < digits; ++i) fraction /= 10;
      p.millisecond = fraction;
    }
  }
  if (!IsValid(p)) return std::nullopt;
  return Encode(p);
}

bool IsStoredText(std::string_view text) {
  if (text.size() != 19 && text.size() != 23) return false;
  if (text[10] != ' ' || (text.size() == 23 && text[19] != '.')) return false;
  return FromText(text).has_value();
}

std::string NowText() {
  const auto now = std::chrono::system_clock::now();
  const auto since_epoch = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  {
    // std::localtime returns a shared buffer; copy it out under a lock.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const std::tm* tm = std::localtime(&seconds);
    if (tm == nullptr) throw EConvertError("The current time cannot be converted to local time");
    local = *tm;
  }
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(since_epoch.count() % 1000));
  return buffer;
}

}  // namespace rt::datetime
