// The system's sharing flags, read and write and delete, on a handle that
// becomes the C library's file descriptor and then its stream.
#include "runtime/platform/platform.h"  // <windows.h> with the project's macros

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>

#include "runtime/platform/stream.h"

namespace rt::platform {

std::FILE* OpenStream(const std::string& native_path, bool for_writing) {
  HANDLE handle = CreateFileA(native_path.c_str(), for_writing ? GENERIC_WRITE : GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              for_writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION: errno = EACCES; break;
      default: errno = EIO;
    }
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle),
                                         (for_writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    errno = EMFILE;
    return nullptr;
  }
  std::FILE* stream = _fdopen(descriptor, for_writing ? "wb" : "rb");
  if (stream == nullptr) _close(descriptor);
  return stream;
}

}  // namespace rt::platform
