// The thread's last error on POSIX systems (GetLastError, SetLastError), and
// the Windows error codes for the system's errno values.
#include "runtime/platform/platform.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "runtime/platform/posix_internal.h"

namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

}  // namespace

namespace rt::platform::posix {

DWORD ErrorFromErrno(int error, const std::string& native_path) {
  switch (error) {
    case ENOENT: {
      struct stat st;
      std::string parent = ParentOf(native_path);
      if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
      return ERROR_FILE_NOT_FOUND;
    }
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ELOOP: return ERROR_INVALID_NAME;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    default: return ERROR_GEN_FAILURE;
  }
}

}  // namespace rt::platform::posix

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD error_code) { last_error = error_code; }
