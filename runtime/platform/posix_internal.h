// What the POSIX files of the platform layer (one per family of platform.h's
// Windows services: library_posix.cpp, file_posix.cpp, open_file_posix.cpp,
// find_file_posix.cpp, time_posix.cpp, shell_posix.cpp, ...) share: failing
// and succeeding with the thread's last error, the conversion of path
// arguments and of errno to Windows error codes, and the registry behind
// the handles they give out. Private to those files.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/platform.h"

namespace rt::platform::posix {

// Sets the thread's last error and answers the failure result.
template <class T>
T Fail(DWORD error, T result) {
  ::SetLastError(error);
  return result;
}

// Clears the thread's last error and answers TRUE.
inline BOOL Succeed() {
  ::SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// Runs an API body; an escaping exception becomes a failure result.
template <class T, class Body>
T Guarded(T failure, Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, failure);
  } catch (...) {
    return Fail(ERROR_GEN_FAILURE, failure);
  }
}

// ---- Paths and errors (path_posix.cpp, last_error_posix.cpp) ----------------

// The folder part of a native path, without its trailing '/'; "." for none.
std::string ParentOf(const std::string& native);

// Converts an ANSI path argument; false (last error set) for a null or
// non-GBK path.
bool Native(LPCSTR ansi_path, std::string& native);

// The Windows error code for errno after an operation on a path. A missing
// file in a missing folder is ERROR_PATH_NOT_FOUND, as on Windows.
DWORD ErrorFromErrno(int error, const std::string& native_path);

// ---- What several families use -----------------------------------------------

// A FILETIME from a time since 1970 (time_posix.cpp).
FILETIME FileTimeFromTimespec(std::int64_t seconds, long nanoseconds);

// Whether a file name is a pattern (wildcard_posix.cpp).
bool HasWildcard(std::string_view pattern);
// Windows file-name matching on GBK texts: '*' any run of characters, '?'
// one character, ASCII letters without regard to case. "*.*" matches every
// name.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// Starts a program detached (its own session, standard streams on
// /dev/null) without waiting for it; the errno of a failed start, else 0.
int SpawnDetached(const std::vector<std::string>& argv_text, const std::string& directory);

// The objects behind the handles these functions give out: a handle is its
// object's address and is valid while the object is registered, so a handle
// that was closed or never given out is refused, not followed.
template <class T>
class HandleRegistry {
 public:
  HANDLE Add(std::unique_ptr<T> object) {
    std::lock_guard lock(mutex_);
    objects_.insert(object.get());
    return static_cast<HANDLE>(object.release());
  }
  // The object of a handle; nullptr for an unknown one.
  T* Find(HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(static_cast<T*>(handle));
    return it == objects_.end() ? nullptr : *it;
  }
  // Unregisters a handle and hands its object back; nullptr for an unknown one.
  std::unique_ptr<T> Release(HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(static_cast<T*>(handle));
    if (it == objects_.end()) return nullptr;
    std::unique_ptr<T> object(*it);
    objects_.erase(it);
    return object;
  }

 private:
  std::mutex mutex_;
  std::set<T*> objects_;
};

}  // namespace rt::platform::posix
