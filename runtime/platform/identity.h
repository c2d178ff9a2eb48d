// What the system records of a file on its disk: which file it is (device
// and file number), its size, and when its bytes and its record last
// changed, to the nanosecond. A file whose identity is the same as before
// has not been written since, as far as the system knows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rt::platform {

struct FileIdentity {
  std::int64_t device = 0;
  std::int64_t file_number = 0;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;  // since 1970, UTC
  std::int64_t changed_ns = 0;   // the record's last change (a rename, a new time, a write)

  bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at a native path; nothing when there is
// no such file or the system does not record all of it.
std::optional<FileIdentity> IdentityOf(const std::string& native_path);

// Nanoseconds since 1970, UTC, by the clock that stamps files.
std::int64_t FileClockNowNs();

}  // namespace rt::platform
