#include "runtime/platform/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace rt::platform {

std::FILE* OpenStream(const std::string& native_path, bool for_writing) {
  if (!for_writing) return std::fopen(native_path.c_str(), "rb");
  // Emptied only when it holds something: some file systems (ext4's
  // "replace by truncation" rule) take a truncated file for one being
  // rewritten in place and write all its data out as it is closed, which
  // made every fetch into a new, empty copy wait for its whole file.
  const int descriptor = ::open(native_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  struct stat status;
  std::FILE* stream = nullptr;
  if (::fstat(descriptor, &status) == 0 && (status.st_size == 0 || ::ftruncate(descriptor, 0) == 0))
    stream = ::fdopen(descriptor, "wb");
  if (stream == nullptr) {
    const int error = errno;
    ::close(descriptor);
    errno = error;
  }
  return stream;
}

}  // namespace rt::platform
