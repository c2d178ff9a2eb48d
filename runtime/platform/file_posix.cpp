// Files and folders on POSIX systems: copying, moving, deleting, folders,
// attributes and the current folder (CopyFileA ... GetCurrentDirectoryA).
#include "runtime/platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/platform/posix_internal.h"

using rt::platform::posix::ErrorFromErrno;
using rt::platform::posix::Fail;
using rt::platform::posix::Guarded;
using rt::platform::posix::Native;
using rt::platform::posix::ParentOf;
using rt::platform::posix::Succeed;

namespace {

// Writes all of a buffer to a descriptor.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies a file's content and last-write time; the error code on failure.
DWORD CopyFileContent(const std::string& from, const std::string& to, bool fail_if_exists) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return ErrorFromErrno(errno, from);
  struct stat src;
  if (::fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
    ::close(in);
    return ERROR_ACCESS_DENIED;
  }
  struct stat dst;
  if (::stat(to.c_str(), &dst) == 0) {
    DWORD error = ERROR_SUCCESS;
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
      error = ERROR_SHARING_VIOLATION;  // a copy onto itself would empty it
    else if (fail_if_exists) error = ERROR_FILE_EXISTS;
    else if (S_ISDIR(dst.st_mode)) error = ERROR_ACCESS_DENIED;
    if (error != ERROR_SUCCESS) {
      ::close(in);
      return error;
    }
  }
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (fail_if_exists ? O_EXCL : 0),
                   src.st_mode & 0777);
  if (out < 0) {
    DWORD error = ErrorFromErrno(errno, to);
    ::close(in);
    return error;
  }
  std::vector<char> buffer(1 << 16);
  DWORD error = ERROR_SUCCESS;
  for (;;) {
    ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = ErrorFromErrno(errno, from);
      break;
    }
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
      error = ErrorFromErrno(errno, to);
      break;
    }
  }
  if (error == ERROR_SUCCESS) {
    struct timespec times[2] = {{0, UTIME_NOW}, src.st_mtim};
    ::futimens(out, times);
  }
  if (::close(out) != 0 && error == ERROR_SUCCESS) error = ErrorFromErrno(errno, to);
  ::close(in);
  if (error != ERROR_SUCCESS) ::unlink(to.c_str());
  return error;
}

}  // namespace

BOOL CopyFileA(LPCSTR existing_file_name, LPCSTR new_file_name, BOOL fail_if_exists) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::string from, to;
    if (!Native(existing_file_name, from) || !Native(new_file_name, to)) return FALSE;
    DWORD error = CopyFileContent(from, to, fail_if_exists != FALSE);
    if (error != ERROR_SUCCESS) return Fail(error, FALSE);
    return Succeed();
  });
}

BOOL MoveFileExA(LPCSTR existing_file_name, LPCSTR new_file_name, DWORD flags) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::string from, to;
    if (!Native(existing_file_name, from) || !Native(new_file_name, to)) return FALSE;
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, from), FALSE);
    int result;
    if ((flags & MOVEFILE_REPLACE_EXISTING) != 0) {
      struct stat target;
      if (::stat(to.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
      result = ::rename(from.c_str(), to.c_str());
    } else {
      result = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
      if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without an exclusive rename: check, then rename.
        struct stat target;
        if (::lstat(to.c_str(), &target) == 0) return Fail(ERROR_ALREADY_EXISTS, FALSE);
        result = ::rename(from.c_str(), to.c_str());
      }
      if (result != 0 && errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS, FALSE);
    }
    if (result != 0 && errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) != 0 && S_ISREG(st.st_mode)) {
      DWORD error = CopyFileContent(from, to, (flags & MOVEFILE_REPLACE_EXISTING) == 0);
      if (error == ERROR_FILE_EXISTS) error = ERROR_ALREADY_EXISTS;
      if (error != ERROR_SUCCESS) return Fail(error, FALSE);
      ::unlink(from.c_str());
      result = 0;
    }
    if (result != 0) return Fail(ErrorFromErrno(errno, to), FALSE);
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0) {
      int dir = ::open(ParentOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
      }
    }
    return Succeed();
  });
}

BOOL DeleteFileA(LPCSTR file_name) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::string native;
    if (!Native(file_name, native)) return FALSE;
    struct stat st;
    if (::lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (::unlink(native.c_str()) != 0) return Fail(ErrorFromErrno(errno, native), FALSE);
    return Succeed();
  });
}

BOOL CreateDirectoryA(LPCSTR path_name, LPSECURITY_ATTRIBUTES) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::string native;
    if (!Native(path_name, native)) return FALSE;
    if (::mkdir(native.c_str(), 0777) != 0) {
      if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS, FALSE);
      if (errno == ENOENT) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
      return Fail(ErrorFromErrno(errno, native), FALSE);
    }
    return Succeed();
  });
}

BOOL RemoveDirectoryA(LPCSTR path_name) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::string native;
    if (!Native(path_name, native)) return FALSE;
    if (::rmdir(native.c_str()) != 0) {
      if (errno == EEXIST || errno == ENOTEMPTY) return Fail(ERROR_DIR_NOT_EMPTY, FALSE);
      if (errno == ENOTDIR) return Fail(ERROR_DIRECTORY, FALSE);
      return Fail(ErrorFromErrno(errno, native), FALSE);
    }
    return Succeed();
  });
}

DWORD GetFileAttributesA(LPCSTR file_name) {
  return Guarded<DWORD>(INVALID_FILE_ATTRIBUTES, [&]() -> DWORD {
    std::string native;
    if (!Native(file_name, native)) return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, native), INVALID_FILE_ATTRIBUTES);
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    Succeed();
    return attributes;
  });
}

DWORD GetCurrentDirectoryA(DWORD buffer_length, LPSTR buffer) {
  return Guarded<DWORD>(0, [&]() -> DWORD {
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    if (!cwd) return Fail<DWORD>(ErrorFromErrno(errno, "."), 0);
    std::string ansi = rt::platform::FromNativePath(cwd.get());
    if (buffer == nullptr || ansi.size() + 1 > buffer_length) {
      Succeed();
      return static_cast<DWORD>(ansi.size() + 1);  // the size needed, with the terminator
    }
    std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
    Succeed();
    return static_cast<DWORD>(ansi.size());
  });
}
