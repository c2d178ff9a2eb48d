// Date-times as the database stores them: the text "YYYY-MM-DD HH:MM:SS.fff"
// in local time, which sorts chronologically, so Max() and comparisons on
// a date-time column work on the text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/data/value.h"

namespace rt::datetime {

// A calendar date and a time of day.
struct Parts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  friend bool operator==(const Parts&, const Parts&) = default;
};

// The value of a calendar date and time of day. Days before 1899-12-30 count
// negative with the time of day added to their distance (so -1.25 is
// 1899-12-29 06:00). Throws rt::EConvertError for a date or time that does
// not exist or a year outside 1..9999.
DateTime Encode(const Parts& parts);

// The calendar date and time of day of a value, rounded to the millisecond.
// Throws rt::EConvertError outside the years 1..9999 (or for NaN).
Parts Decode(DateTime value);

// "YYYY-MM-DD HH:MM:SS.fff", the stored form.
std::string ToText(DateTime value);

// Reads "YYYY-MM-DD", optionally followed by a blank or 'T' and "HH:MM",
// ":SS" and a fraction of up to nine digits (cut to the millisecond).
// Gives nothing for any other text or a date or time that does not exist.
std::optional<DateTime> FromText(std::string_view text);

// True for exactly "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD HH:MM:SS.fff" naming
// an existing date and time: the texts the database itself stores.
bool IsStoredText(std::string_view text);

// The current local time in the stored form, with milliseconds.
std::string NowText();

}  // namespace rt::datetime
