#include "runtime/sysutils.h"

#include <fstream>
#include <limits>

#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/text/gbk.h"

namespace rt {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Position of the last separator that starts a character; npos for none.
std::size_t LastSeparator(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += gbk::CharLength(path, i))
    if (IsSeparator(path[i])) last = i;
  return last;
}

// True when the path's last character is a separator (a trail byte 0x5C is
// not one).
bool EndsWithSeparator(std::string_view path) {
  std::size_t i = 0, last_start = std::string_view::npos;
  while (i < path.size()) {
    last_start = i;
    i += gbk::CharLength(path, i);
  }
  return last_start != std::string_view::npos && IsSeparator(path[last_start]);
}

// The path without its trailing separators.
std::string_view WithoutTrailingSeparators(std::string_view path) {
  while (!path.empty() && EndsWithSeparator(path)) path.remove_suffix(1);
  return path;
}

DWORD Attributes(std::string_view path) {
  std::string text(path);
  return GetFileAttributesA(text.c_str());
}

// 100-ns intervals per day, and days from 1601-01-01 to 1899-12-30.
constexpr double kFileTimeTicksPerDay = 864e9;
constexpr double kFileTimeOriginDays = 109205;

}  // namespace

bool FileExists(std::string_view file_name) {
  DWORD attributes = Attributes(file_name);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(std::string_view directory) {
  DWORD attributes = Attributes(directory);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectories(std::string_view directory) {
  std::string_view path = WithoutTrailingSeparators(directory);
  if (path.empty()) return !directory.empty();  // the root folder
  if (DirectoryExists(path)) return true;
  std::string parent_path = ExtractFilePath(path);
  std::string_view parent = WithoutTrailingSeparators(parent_path);
  // A drive ("C:") or the root needs no creating.
  if (!parent.empty() && !(parent.size() == 2 && parent[1] == ':') && !ForceDirectories(parent)) return false;
  std::string text(path);
  if (CreateDirectoryA(text.c_str(), nullptr)) return true;
  return DirectoryExists(path);  // made by someone else meanwhile
}

std::vector<std::uint8_t> ReadFileBytes(std::string_view file_name) {
  std::string native;
  try {
    native = platform::ToNativePath(file_name);
  } catch (const EConvertError&) {
    throw Exception("Cannot open file \"" + std::string(file_name) + "\": the name is not valid");
  }
  std::ifstream in(native, std::ios::binary);
  if (!in || DirectoryExists(file_name))
    throw Exception("Cannot open file \"" + std::string(file_name) + "\". The system cannot find the file specified");
  std::vector<std::uint8_t> bytes;
  char buffer[1 << 14];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) bytes.insert(bytes.end(), buffer, buffer + in.gcount());
  if (in.bad()) throw Exception("Cannot read file \"" + std::string(file_name) + "\"");
  return bytes;
}

std::string ExtractFileName(std::string_view file_name) {
  std::size_t separator = LastSeparator(file_name);
  return std::string(separator == std::string_view::npos ? file_name : file_name.substr(separator + 1));
}

std::string ExtractFileExt(std::string_view file_name) {
  std::size_t separator = LastSeparator(file_name);
  std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = start; i < file_name.size(); i += gbk::CharLength(file_name, i))
    if (file_name[i] == '.') dot = i;
  return dot == std::string_view::npos ? std::string() : std::string(file_name.substr(dot));
}

std::string ExtractFilePath(std::string_view file_name) {
  std::size_t separator = LastSeparator(file_name);
  return separator == std::string_view::npos ? std::string() : std::string(file_name.substr(0, separator + 1));
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (!EndsWithSeparator(path)) out.push_back(platform::kPathDelimiter);
  return out;
}

bool TryStrToInt(std::string_view text, int& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t magnitude = 0;
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<int>::min())
                                      : std::numeric_limits<int>::max();
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) return false;
  }
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

int StrToInt(std::string_view text) {
  int value = 0;
  if (!TryStrToInt(text, value)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return value;
}

int StrToIntDef(std::string_view text, int default_value) {
  int value = default_value;
  return TryStrToInt(text, value) ? value : default_value;
}

DateTime Now() {
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  std::uint64_t ticks = (static_cast<std::uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  // Whole milliseconds, so that a value holds no finer time than it shows.
  double days = static_cast<double>(ticks / 10000) / (kFileTimeTicksPerDay / 10000);
  return DateTime{days - kFileTimeOriginDays};
}

DateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  return datetime::Encode(DateTimeParts{year, month, day, hour, minute, second, millisecond});
}

DateTimeParts DecodeDateTime(DateTime value) { return datetime::Decode(value); }

DateTime FileDateToDateTime(std::int32_t file_date) {
  auto bits = static_cast<std::uint32_t>(file_date);
  unsigned date = bits >> 16, time = bits & 0xFFFF;
  return EncodeDateTime(static_cast<int>(1980 + (date >> 9)), static_cast<int>((date >> 5) & 15),
                        static_cast<int>(date & 31), static_cast<int>(time >> 11), static_cast<int>((time >> 5) & 63),
                        static_cast<int>((time & 31) * 2), 0);
}

}  // namespace rt
