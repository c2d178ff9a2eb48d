// File search on POSIX systems (FindFirstFileA, FindNextFileA, FindClose):
// the entries of a folder that match a pattern, read at the first call and
// handed out one by one.
#include "runtime/platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/platform/posix_internal.h"

using rt::platform::posix::ErrorFromErrno;
using rt::platform::posix::Fail;
using rt::platform::posix::FileTimeFromTimespec;
using rt::platform::posix::Guarded;
using rt::platform::posix::HandleRegistry;
using rt::platform::posix::HasWildcard;
using rt::platform::posix::Native;
using rt::platform::posix::Succeed;
using rt::platform::posix::WildcardMatch;

namespace {

// Fills find data from the file at a native path; false when it cannot be
// examined or its name does not fit.
bool FillFindData(const std::string& native_path, const std::string& ansi_name, WIN32_FIND_DATAA& data) {
  if (ansi_name.size() >= MAX_PATH) return false;
  struct statx stx;
  if (::statx(AT_FDCWD, native_path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0 &&
      ::statx(AT_FDCWD, native_path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0)
    return false;
  std::memset(&data, 0, sizeof data);
  bool directory = S_ISDIR(stx.stx_mode);
  data.dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((stx.stx_mode & S_IWUSR) == 0) data.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  data.ftLastAccessTime = FileTimeFromTimespec(stx.stx_atime.tv_sec, stx.stx_atime.tv_nsec);
  data.ftLastWriteTime = FileTimeFromTimespec(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
  // Not every file system keeps a creation time; the last write is the
  // closest that they all have.
  data.ftCreationTime = (stx.stx_mask & STATX_BTIME) != 0
                            ? FileTimeFromTimespec(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec)
                            : data.ftLastWriteTime;
  std::uint64_t size = directory ? 0 : stx.stx_size;
  data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  std::memcpy(data.cFileName, ansi_name.data(), ansi_name.size());
  return true;
}

// An open search: the entries found, handed out one by one.
struct FindState {
  std::vector<WIN32_FIND_DATAA> entries;
  std::size_t next = 0;
};

HandleRegistry<FindState> open_finds;

}  // namespace

HANDLE FindFirstFileA(LPCSTR file_name, LPWIN32_FIND_DATAA find_data) {
  return Guarded<HANDLE>(INVALID_HANDLE_VALUE, [&]() -> HANDLE {
    if (find_data == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::string native;
    if (!Native(file_name, native)) return INVALID_HANDLE_VALUE;
    std::size_t slash = native.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
    std::string pattern = native.substr(slash == std::string::npos ? 0 : slash + 1);
    if (pattern.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);

    auto state = std::make_unique<FindState>();
    if (!HasWildcard(pattern)) {
      struct stat st;
      if (::stat(native.c_str(), &st) != 0 && ::lstat(native.c_str(), &st) != 0)
        return Fail(ErrorFromErrno(errno, native), INVALID_HANDLE_VALUE);
      WIN32_FIND_DATAA data;
      if (!FillFindData(native, rt::platform::FromNativePath(pattern), data))
        return Fail(ERROR_FILENAME_EXCED_RANGE, INVALID_HANDLE_VALUE);
      state->entries.push_back(data);
    } else {
      std::string ansi_pattern = rt::platform::FromNativePath(pattern);
      std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), &::closedir);
      if (!dir) {
        DWORD error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno, native);
        return Fail(error, INVALID_HANDLE_VALUE);
      }
      while (dirent* entry = ::readdir(dir.get())) {
        std::string ansi_name;
        try {
          ansi_name = rt::platform::FromNativePath(entry->d_name);
        } catch (const rt::EConvertError&) {
          continue;  // a name that is not UTF-8 cannot be given to the caller
        }
        if (!WildcardMatch(ansi_pattern, ansi_name)) continue;
        WIN32_FIND_DATAA data;
        if (FillFindData(folder + entry->d_name, ansi_name, data)) state->entries.push_back(data);
      }
    }
    if (state->entries.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    *find_data = state->entries[0];
    state->next = 1;
    Succeed();
    return open_finds.Add(std::move(state));
  });
}

BOOL FindNextFileA(HANDLE find_file, LPWIN32_FIND_DATAA find_data) {
  FindState* state = open_finds.Find(find_file);
  if (state == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (find_data == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (state->next >= state->entries.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
  *find_data = state->entries[state->next++];
  return Succeed();
}

BOOL FindClose(HANDLE find_file) {
  if (!open_finds.Release(find_file)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return Succeed();
}
