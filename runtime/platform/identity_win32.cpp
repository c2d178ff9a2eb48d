// A file's identity from its handle: the volume's serial number and the
// file's index, its size, its last-write time and the change time of its
// record (which a write, a rename or new attributes set). A file system
// that keeps no change time (FAT) gives no identity: every cached copy there
// is checked by its digest.
#include "runtime/platform/platform.h"  // <windows.h> with the project's macros

#include <chrono>

#include "runtime/platform/identity.h"

namespace rt::platform {
namespace {

// 100-nanosecond ticks from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kTicksTo1970 = 116444736000000000LL;

std::int64_t NanosecondsSince1970(std::int64_t ticks) { return (ticks - kTicksTo1970) * 100; }

std::int64_t Ticks(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& native_path) {
  HANDLE handle = CreateFileA(native_path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  const bool read = GetFileInformationByHandle(handle, &info) &&
                    GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic);
  CloseHandle(handle);
  if (!read || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || basic.ChangeTime.QuadPart == 0)
    return std::nullopt;
  FileIdentity identity;
  identity.device = info.dwVolumeSerialNumber;
  identity.file_number = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                                                   info.nFileIndexLow);
  identity.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  identity.modified_ns = NanosecondsSince1970(Ticks(info.ftLastWriteTime));
  identity.changed_ns = NanosecondsSince1970(basic.ChangeTime.QuadPart);
  return identity;
}

std::int64_t FileClockNowNs() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  return NanosecondsSince1970(Ticks(now));
}

}  // namespace rt::platform
