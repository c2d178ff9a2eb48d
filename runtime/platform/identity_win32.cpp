// Not recorded here yet: without an identity every cached copy is checked
// by its digest, as it always was.
#include <chrono>

#include "runtime/platform/identity.h"

namespace rt::platform {

std::optional<FileIdentity> IdentityOf(const std::string&) { return std::nullopt; }

std::int64_t FileClockNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace rt::platform
