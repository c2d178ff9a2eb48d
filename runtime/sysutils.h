// The runtime library's helpers on files, paths, numbers and date-times.
// Paths and texts are GBK; '\' and '/' both separate folders, and a '\' byte
// that is the second byte of a double-byte character separates nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/datetime_text.h"
#include "runtime/data/value.h"

namespace rt {

// ---- Files and folders -------------------------------------------------------

// True when a file (not a folder) exists at the path.
bool FileExists(std::string_view file_name);
// True when a folder exists at the path.
bool DirectoryExists(std::string_view directory);
// Creates the folder and every missing folder above it. True when the folder
// exists afterwards; false for an empty path or when one cannot be created.
bool ForceDirectories(std::string_view directory);

// The whole content of a file. Throws rt::Exception when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(std::string_view file_name);

// ---- Paths -------------------------------------------------------------------

// The part after the last separator; the whole text when there is none.
std::string ExtractFileName(std::string_view file_name);
// The extension of the file name with its leading dot (".doc"); empty when
// the file name has no dot (a dot in a folder name does not count).
std::string ExtractFileExt(std::string_view file_name);
// The part up to and including the last separator; empty when there is none.
std::string ExtractFilePath(std::string_view file_name);
// The path with a separator at its end: unchanged when it ends in '\' or
// '/', else with the system's separator added.
std::string IncludeTrailingPathDelimiter(std::string_view path);

// ---- Numbers -----------------------------------------------------------------

// Reads a decimal integer with an optional sign and no blanks, within the
// 32-bit range. False (value untouched) for anything else.
bool TryStrToInt(std::string_view text, int& value);
// As TryStrToInt; throws rt::EConvertError "'abc' is not a valid integer
// value" for a text that is not one.
int StrToInt(std::string_view text);
// As TryStrToInt, with a default for a text that is not an integer.
int StrToIntDef(std::string_view text, int default_value);

// ---- Date-times --------------------------------------------------------------

// A date-time's calendar date and time of day.
using DateTimeParts = datetime::Parts;

// The current local date and time.
DateTime Now();
// The value of a date and time of day. Days before 1899-12-30 count negative
// with the time of day added to their distance (-1.25 is 1899-12-29 06:00).
// Throws rt::EConvertError for a date or time that does not exist or a year
// outside 1..9999.
DateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);
// The date and time of day of a value, rounded to the millisecond. Throws
// rt::EConvertError outside the years 1..9999.
DateTimeParts DecodeDateTime(DateTime value);
// A 32-bit DOS file date-time (the date in the high 16 bits: years since
// 1980 << 9 | month << 5 | day; the time in the low 16 bits: hour << 11 |
// minute << 5 | seconds / 2) as a date-time. Throws rt::EConvertError for a
// date or time that does not exist.
DateTime FileDateToDateTime(std::int32_t file_date);

}  // namespace rt
