#include <sys/stat.h>
#include <time.h>

#include "runtime/platform/identity.h"

namespace rt::platform {
namespace {

std::int64_t Ns(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + static_cast<std::int64_t>(time.tv_nsec);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& native_path) {
  struct stat status {};
  if (::stat(native_path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  FileIdentity identity;
  identity.device = static_cast<std::int64_t>(status.st_dev);
  identity.file_number = static_cast<std::int64_t>(status.st_ino);
  identity.size = static_cast<std::int64_t>(status.st_size);
  identity.modified_ns = Ns(status.st_mtim);
  identity.changed_ns = Ns(status.st_ctim);
  return identity;
}

std::int64_t FileClockNowNs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return Ns(now);
}

}  // namespace rt::platform
