// Times on POSIX systems: the clock as a FILETIME and its conversions
// (GetSystemTimeAsFileTime, FileTimeToLocalFileTime, FileTimeToDosDateTime).
#include "runtime/platform/platform.h"

#include <cstdint>
#include <ctime>

#include "runtime/platform/posix_internal.h"

using rt::platform::posix::Fail;
using rt::platform::posix::FileTimeFromTimespec;
using rt::platform::posix::Succeed;

namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000;

std::uint64_t FileTimeValue(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME MakeFileTime(std::uint64_t value) {
  return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

}  // namespace

FILETIME rt::platform::posix::FileTimeFromTimespec(std::int64_t seconds, long nanoseconds) {
  std::int64_t ticks = seconds * kTicksPerSecond + nanoseconds / 100 + kUnixEpochInFileTime;
  return MakeFileTime(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

void GetSystemTimeAsFileTime(LPFILETIME system_time_as_file_time) {
  if (system_time_as_file_time == nullptr) return;
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  *system_time_as_file_time = FileTimeFromTimespec(now.tv_sec, now.tv_nsec);
}

BOOL FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_file_time) {
  if (file_time == nullptr || local_file_time == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::uint64_t value = FileTimeValue(*file_time);
  if (value > static_cast<std::uint64_t>(INT64_MAX)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::int64_t ticks = static_cast<std::int64_t>(value);
  std::time_t seconds = static_cast<std::time_t>((ticks - kUnixEpochInFileTime) / kTicksPerSecond -
                                                 (ticks < kUnixEpochInFileTime ? 1 : 0));
  std::tm local;
  if (::localtime_r(&seconds, &local) == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::int64_t offset = static_cast<std::int64_t>(local.tm_gmtoff) * kTicksPerSecond;
  if ((offset < 0 && ticks < -offset) || (offset > 0 && ticks > INT64_MAX - offset))
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *local_file_time = MakeFileTime(static_cast<std::uint64_t>(ticks + offset));
  return Succeed();
}

BOOL FileTimeToDosDateTime(const FILETIME* file_time, LPWORD fat_date, LPWORD fat_time) {
  if (file_time == nullptr || fat_date == nullptr || fat_time == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::uint64_t seconds = FileTimeValue(*file_time) / static_cast<std::uint64_t>(kTicksPerSecond);
  std::int64_t days = static_cast<std::int64_t>(seconds / 86400) - 134774;  // days since 1970-01-01
  unsigned second_of_day = static_cast<unsigned>(seconds % 86400);
  // Civil date from a day count (proleptic Gregorian calendar).
  std::int64_t z = days + 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1980 || year > 2107) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *fat_date = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
  unsigned hour = second_of_day / 3600, minute = second_of_day / 60 % 60, second = second_of_day % 60;
  *fat_time = static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
  return Succeed();
}
