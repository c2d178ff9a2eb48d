#include "runtime/file_lock.h"

#include <utility>

namespace rt {
namespace {

// The locked byte: past the end of any file the system can hold.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFF0u;

OVERLAPPED LockedByte() {
  OVERLAPPED overlapped{};
  overlapped.Offset = 0;
  overlapped.OffsetHigh = kLockOffsetHigh;
  return overlapped;
}

}  // namespace

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

FileLock::Outcome FileLock::Create(const std::string& ansi_path) { return Take(ansi_path, CREATE_NEW); }

FileLock::Outcome FileLock::TryTake(const std::string& ansi_path) { return Take(ansi_path, OPEN_EXISTING); }

FileLock::Outcome FileLock::Take(const std::string& ansi_path, DWORD disposition) {
  Release();
  // Shared for deleting too: the file may be renamed or removed while the
  // lock is held.
  HANDLE handle = CreateFileA(ansi_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Outcome::Missing : Outcome::Failed;
  }
  OVERLAPPED overlapped = LockedByte();
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &overlapped)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    return error == ERROR_LOCK_VIOLATION ? Outcome::Held : Outcome::Failed;
  }
  handle_ = handle;
  path_ = ansi_path;
  return Outcome::Taken;
}

bool FileLock::RemoveFile() noexcept { return Holds() && DeleteFileA(path_.c_str()) != FALSE; }

void FileLock::Release() noexcept {
  if (handle_ == nullptr) return;
  OVERLAPPED overlapped = LockedByte();
  UnlockFileEx(handle_, 0, 1, 0, &overlapped);
  CloseHandle(handle_);
  handle_ = nullptr;
}

}  // namespace rt
