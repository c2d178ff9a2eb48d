// Open files on POSIX systems: a descriptor behind the handle of CreateFileA,
// and byte-range locks on it as open-file-description locks (LockFileEx,
// UnlockFileEx; platform.h says what they keep out).
#include "runtime/platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "runtime/platform/posix_internal.h"

using rt::platform::posix::ErrorFromErrno;
using rt::platform::posix::Fail;
using rt::platform::posix::Guarded;
using rt::platform::posix::HandleRegistry;
using rt::platform::posix::Native;
using rt::platform::posix::Succeed;

namespace {

// An open file: its descriptor, behind the handle that CreateFileA gives.
struct OpenFile {
  int fd = -1;
};

HandleRegistry<OpenFile> open_files;

// The open(2) access flags for Windows access rights.
int AccessFlags(DWORD desired_access) {
  const bool read = (desired_access & GENERIC_READ) != 0;
  const bool write = (desired_access & GENERIC_WRITE) != 0;
  if (read && write) return O_RDWR;
  return write ? O_WRONLY : O_RDONLY;
}

// Opens a file by a creation disposition; the descriptor, or -1 with the
// error code in `error`. `existed` tells whether an *_ALWAYS disposition
// found the file there.
int OpenByDisposition(const std::string& native, int access, DWORD disposition, DWORD& error, bool& existed) {
  constexpr int kCommon = O_CLOEXEC | O_NOCTTY;
  existed = false;
  int flags = 0;
  switch (disposition) {
    case CREATE_NEW: flags = O_CREAT | O_EXCL; break;
    case OPEN_EXISTING: break;
    case TRUNCATE_EXISTING: flags = O_TRUNC; break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: {
      // Tried as a new file first, so that an existing one is told apart;
      // a file that comes or goes meanwhile is tried again.
      const int existing = disposition == CREATE_ALWAYS ? O_TRUNC : 0;
      for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(native.c_str(), access | kCommon | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
        fd = ::open(native.c_str(), access | kCommon | existing);
        if (fd >= 0) {
          existed = true;
          return fd;
        }
        if (errno != ENOENT) break;
      }
      error = ErrorFromErrno(errno, native);
      return -1;
    }
    default: error = ERROR_INVALID_PARAMETER; return -1;
  }
  int fd = ::open(native.c_str(), access | kCommon | flags, 0666);
  if (fd < 0) error = ErrorFromErrno(errno, native);
  return fd;
}

// The byte range of LockFileEx and UnlockFileEx as a lock description;
// false for an empty range or one past the largest file offset.
bool LockRange(DWORD low, DWORD high, const OVERLAPPED* overlapped, short type, struct flock& range) {
  const std::uint64_t length = (static_cast<std::uint64_t>(high) << 32) | low;
  const std::uint64_t start = (static_cast<std::uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
  constexpr auto kMaxOffset = static_cast<std::uint64_t>(INT64_MAX);
  if (length == 0 || start > kMaxOffset || length > kMaxOffset - start) return false;
  std::memset(&range, 0, sizeof range);
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(start);
  range.l_len = static_cast<off_t>(length);
  return true;
}

}  // namespace

HANDLE CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation_disposition,
                   DWORD, HANDLE) {
  return Guarded<HANDLE>(INVALID_HANDLE_VALUE, [&]() -> HANDLE {
    std::string native;
    if (!Native(file_name, native)) return INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    bool existed = false;
    const int fd = OpenByDisposition(native, AccessFlags(desired_access), creation_disposition, error, existed);
    if (fd < 0) return Fail(error, INVALID_HANDLE_VALUE);
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      ::close(fd);
      return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    auto file = std::make_unique<OpenFile>();
    file->fd = fd;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return open_files.Add(std::move(file));
  });
}

BOOL CloseHandle(HANDLE object) {
  const std::unique_ptr<OpenFile> file = open_files.Release(object);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (::close(file->fd) != 0 && errno != EINTR) return Fail(ERROR_GEN_FAILURE, FALSE);
  return Succeed();
}

BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD number_of_bytes_to_lock_low,
                DWORD number_of_bytes_to_lock_high, LPOVERLAPPED overlapped) {
  OpenFile* open = open_files.Find(file);
  if (open == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  const short type = (flags & LOCKFILE_EXCLUSIVE_LOCK) != 0 ? F_WRLCK : F_RDLCK;
  struct flock range;
  if (reserved != 0 || overlapped == nullptr ||
      !LockRange(number_of_bytes_to_lock_low, number_of_bytes_to_lock_high, overlapped, type, range))
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const int command = (flags & LOCKFILE_FAIL_IMMEDIATELY) != 0 ? F_OFD_SETLK : F_OFD_SETLKW;
  while (::fcntl(open->fd, command, &range) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return Fail(ERROR_LOCK_VIOLATION, FALSE);
    if (errno == EBADF) return Fail(ERROR_ACCESS_DENIED, FALSE);  // not opened for that kind of lock
    return Fail(ERROR_GEN_FAILURE, FALSE);
  }
  return Succeed();
}

BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD number_of_bytes_to_unlock_low,
                  DWORD number_of_bytes_to_unlock_high, LPOVERLAPPED overlapped) {
  OpenFile* open = open_files.Find(file);
  if (open == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  struct flock range;
  if (reserved != 0 || overlapped == nullptr ||
      !LockRange(number_of_bytes_to_unlock_low, number_of_bytes_to_unlock_high, overlapped, F_UNLCK, range))
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (::fcntl(open->fd, F_OFD_SETLK, &range) != 0) return Fail(ERROR_GEN_FAILURE, FALSE);
  return Succeed();
}
