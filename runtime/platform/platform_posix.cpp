// The Windows services of platform.h on POSIX systems.
#include "runtime/platform/platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt::platform {

std::string ToNativePath(std::string_view ansi_path) {
  // After the conversion to UTF-8 no byte of a multi-byte character is an
  // ASCII byte, so every '\' left is a separator.
  std::string utf8 = gbk::ToUtf8(ansi_path);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return out;
}

std::string FromNativePath(std::string_view native_path) { return gbk::FromUtf8(native_path); }

// Native paths are UTF-8 texts, which std::filesystem takes as they are.
std::filesystem::path NativePath(std::string_view ansi_path) { return std::filesystem::path(ToNativePath(ansi_path)); }

std::string AnsiPath(const std::filesystem::path& path) { return FromNativePath(path.native()); }

std::filesystem::path Utf8Path(std::string_view utf8_path) { return std::filesystem::path(std::string(utf8_path)); }

std::string PathUtf8(const std::filesystem::path& path) { return path.native(); }

std::string SqliteFileName(std::string_view ansi_path) { return ToNativePath(ansi_path); }

}  // namespace rt::platform

namespace {

using rt::platform::ToNativePath;

thread_local DWORD last_error = ERROR_SUCCESS;

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000;

template <class T>
T Fail(DWORD error, T result) {
  last_error = error;
  return result;
}

BOOL Succeed() {
  last_error = ERROR_SUCCESS;
  return TRUE;
}

// The folder part of a native path, without its trailing '/'; "." for none.
std::string ParentOf(const std::string& native) {
  std::size_t slash = native.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

// The Windows error code for errno after an operation on a path. A missing
// file in a missing folder is ERROR_PATH_NOT_FOUND, as on Windows.
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

// Converts an ANSI path argument; false (last error set) for a null or
// non-GBK path.
bool Native(LPCSTR ansi_path, std::string& native) {
  if (ansi_path == nullptr) return Fail(ERROR_PATH_NOT_FOUND, false);
  try {
    native = ToNativePath(ansi_path);
  } catch (const rt::EConvertError&) {
    return Fail(ERROR_INVALID_NAME, false);
  }
  if (native.empty()) return Fail(ERROR_PATH_NOT_FOUND, false);
  return true;
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

std::uint64_t FileTimeValue(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME MakeFileTime(std::uint64_t value) {
  return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

FILETIME FileTimeFromTimespec(std::int64_t seconds, long nanoseconds) {
  std::int64_t ticks = seconds * kTicksPerSecond + nanoseconds / 100 + kUnixEpochInFileTime;
  return MakeFileTime(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

bool HasWildcard(std::string_view pattern) { return pattern.find_first_of("*?") != std::string_view::npos; }

// Windows file-name matching on GBK texts: '*' any run of characters, '?'
// one character, ASCII letters without regard to case. "*.*" matches every
// name.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") pattern = "*";
  std::string p = rt::gbk::UpperCase(pattern);
  std::string n = rt::gbk::UpperCase(name);
  std::size_t pi = 0, ni = 0;
  std::size_t star_p = std::string::npos, star_n = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star_p = ++pi;
      star_n = ni;
      continue;
    }
    std::size_t plen = pi < p.size() ? rt::gbk::CharLength(p, pi) : 0;
    std::size_t nlen = rt::gbk::CharLength(n, ni);
    if (pi < p.size() && p[pi] == '?' && plen == 1) {
      pi += 1;
      ni += nlen;
      continue;
    }
    if (pi < p.size() && plen == nlen && p.compare(pi, plen, n, ni, nlen) == 0) {
      pi += plen;
      ni += nlen;
      continue;
    }
    if (star_p == std::string::npos) return false;
    pi = star_p;
    star_n += rt::gbk::CharLength(n, star_n);
    ni = star_n;
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

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

HandleRegistry<FindState> open_finds;

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
    else if (fail_if_exists)
      error = ERROR_FILE_EXISTS;
    else if (S_ISDIR(dst.st_mode))
      error = ERROR_ACCESS_DENIED;
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

// Splits a parameter text into arguments at blanks; double quotes group.
std::vector<std::string> SplitParameters(std::string_view text) {
  std::vector<std::string> args;
  std::string current;
  bool in_quotes = false, has_arg = false;
  for (char c : text) {
    if (c == '"') {
      in_quotes = !in_quotes;
      has_arg = true;
    } else if (!in_quotes && (c == ' ' || c == '\t')) {
      if (has_arg) args.push_back(current);
      current.clear();
      has_arg = false;
    } else {
      current.push_back(c);
      has_arg = true;
    }
  }
  if (has_arg) args.push_back(current);
  return args;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program that opens files: LABDOCS_OPEN_COMMAND when set, else
// xdg-open; found through PATH unless the name holds a folder. Empty when
// there is none.
std::string FindOpenProgram() {
  const char* configured = std::getenv("LABDOCS_OPEN_COMMAND");
  std::string name = configured != nullptr && *configured != '\0' ? configured : "xdg-open";
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const char* path_env = std::getenv("PATH");
  std::string path = path_env != nullptr ? path_env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    std::size_t colon = path.find(':', start);
    std::string dir = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return {};
}

HINSTANCE ShellResult(int code) { return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(code)); }

// Starts a program detached (its own session, standard streams on
// /dev/null) without waiting for it; the errno of a failed start, else 0.
int SpawnDetached(const std::vector<std::string>& argv_text, const std::string& directory) {
  std::vector<char*> argv;
  for (const std::string& arg : argv_text) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const char* dir = directory.empty() ? nullptr : directory.c_str();

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return errno;
  pid_t child = ::fork();
  if (child < 0) {
    int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return error;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild != 0) {
      if (grandchild < 0) {
        int error = errno;
        (void)!::write(report[1], &error, sizeof error);
      }
      ::_exit(0);
    }
    int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
      if (null_fd > 2) ::close(null_fd);
    }
    if (dir != nullptr && ::chdir(dir) != 0) {
      int error = errno;
      (void)!::write(report[1], &error, sizeof error);
      ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    int error = errno;
    (void)!::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without data once the program has started.
  int error = 0;
  ssize_t n;
  while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && rt::gbk::SameText(text.substr(text.size() - suffix.size()), suffix);
}

// The native path of the runtime library (this file's), or "".
std::string RuntimeFile() {
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&RuntimeFile), &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

// The files that LoadLibraryA tries for a name, in order.
std::vector<std::string> LibraryCandidates(const std::string& native) {
  std::size_t slash = native.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? native : native.substr(slash + 1);
  std::vector<std::string> candidates;
  std::string stem;
  if (EndsWithNoCase(file, ".dll")) {
    stem = file.substr(0, file.size() - 4);
  } else if (file.find('.') == std::string::npos) {
    stem = file;  // Windows adds ".dll" to a name without an extension
  } else {
    candidates.push_back(native);  // another extension: that file only
    return candidates;
  }
  if (!folder.empty()) {
    struct stat st;
    if (::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode)) candidates.push_back(native);
  }
  candidates.push_back(folder + stem + ".so");
  candidates.push_back(folder + "lib" + stem + ".so");
  return candidates;
}

// The folders of the running program and of this runtime library, each
// ending in '/'.
std::vector<std::string> OwnFolders() {
  std::vector<std::string> folders;
  auto add = [&](const std::string& file) {
    std::size_t slash = file.find_last_of('/');
    if (slash == std::string::npos) return;
    std::string folder = file.substr(0, slash + 1);
    for (const std::string& known : folders)
      if (known == folder) return;
    folders.push_back(folder);
  };
  char exe[4096];
  ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length > 0) add(std::string(exe, static_cast<std::size_t>(length)));
  add(RuntimeFile());
  return folders;
}

}  // namespace

std::string rt::platform::RuntimeFolder() {
  const std::string file = RuntimeFile();
  return FromNativePath(file.substr(0, file.find_last_of('/') + 1));
}

std::filesystem::path rt::platform::DefaultHomeFolder() {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::current_path(error);
  if (error) throw rt::Exception("The current folder cannot be found: " + error.message());
  return folder;
}

// ---- Dynamic libraries -------------------------------------------------------

namespace {

// The folders named in LABDOCS_DLL_PATH (separated by ':'), each ending in
// '/'; none when the variable is not set.
std::optional<std::vector<std::string>> HostLibraryFolders() {
  const char* dll_path = std::getenv("LABDOCS_DLL_PATH");
  if (!dll_path) return std::nullopt;
  std::vector<std::string> folders;
  std::string_view rest = dll_path;
  while (!rest.empty()) {
    std::size_t end = rest.find(':');
    std::string folder(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (folder.empty()) continue;
    if (folder.back() != '/') folder += '/';
    folders.push_back(std::move(folder));
  }
  return folders;
}

// Opens the first candidate that exists in one of the folders.
void* OpenInFolders(const std::vector<std::string>& folders, const std::vector<std::string>& candidates) {
  for (const std::string& folder : folders) {
    for (const std::string& candidate : candidates) {
      std::string path = folder + candidate;
      struct stat st;
      if (::stat(path.c_str(), &st) != 0) continue;
      if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    }
  }
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR lib_file_name) {
  return Guarded<HMODULE>(nullptr, [&]() -> HMODULE {
    std::string native;
    if (!Native(lib_file_name, native)) return nullptr;
    if (native.back() == '/') return Fail<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
    std::vector<std::string> candidates = LibraryCandidates(native);
    const bool bare_name = native.find('/') == std::string::npos;
    void* handle = nullptr;
    if (auto host_folders = HostLibraryFolders(); host_folders && bare_name) {
      // A host that names its library folders has bare names looked up
      // there only.
      handle = OpenInFolders(*host_folders, candidates);
    } else {
      // A candidate with a folder in it is opened from that path (dlopen
      // takes any name with a '/' as a path); a bare name goes through the
      // loader's search.
      for (const std::string& candidate : candidates)
        if ((handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL))) break;
      // The loader looks in the run path of the binary that calls dlopen; an
      // interposed dlopen (a sanitizer's) hides that binary. So the folders
      // that Windows searches first, the program's and the runtime's own,
      // are tried by name as well.
      if (!handle && bare_name) handle = OpenInFolders(OwnFolders(), candidates);
    }
    if (!handle) return Fail<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
    Succeed();
    return static_cast<HMODULE>(handle);
  });
}

FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name) {
  if (module == nullptr) return Fail<FARPROC>(ERROR_INVALID_HANDLE, nullptr);
  // Names below 0x10000 are ordinals, which shared libraries do not have.
  if (reinterpret_cast<std::uintptr_t>(proc_name) < 0x10000) return Fail<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
  ::dlerror();
  void* address = ::dlsym(module, proc_name);
  if (address == nullptr) return Fail<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
  Succeed();
  return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (::dlclose(module) != 0) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return Succeed();
}

// ---- Files and folders -----------------------------------------------------------

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

// ---- Open files ----------------------------------------------------------------------

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

// ---- File search -----------------------------------------------------------------

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

// ---- Times ---------------------------------------------------------------------------

void GetSystemTimeAsFileTime(LPFILETIME system_time_as_file_time) {
  if (system_time_as_file_time == nullptr) return;
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  *system_time_as_file_time = FileTimeFromTimespec(now.tv_sec, now.tv_nsec);
}

BOOL FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_file_time) {
  if (file_time == nullptr || local_file_time == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::uint64_t value = FileTimeValue(*file_time);
  if (value > static_cast<std::uint64_t>(INT64_MAX)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::int64_t ticks = static_cast<std::int64_t>(value);
  std::time_t seconds =
      static_cast<std::time_t>((ticks - kUnixEpochInFileTime) / kTicksPerSecond - (ticks < kUnixEpochInFileTime ? 1 : 0));
  std::tm local;
  if (::localtime_r(&seconds, &local) == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::int64_t offset = static_cast<std::int64_t>(local.tm_gmtoff) * kTicksPerSecond;
  if ((offset < 0 && ticks < -offset) || (offset > 0 && ticks > INT64_MAX - offset))
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *local_file_time = MakeFileTime(static_cast<std::uint64_t>(ticks + offset));
  return Succeed();
}

BOOL FileTimeToDosDateTime(const FILETIME* file_time, LPWORD fat_date, LPWORD fat_time) {
  if (file_time == nullptr || fat_date == nullptr || fat_time == nullptr)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::uint64_t seconds = FileTimeValue(*file_time) / static_cast<std::uint64_t>(kTicksPerSecond);
  std::int64_t days = static_cast<std::int64_t>(seconds / 86400) - 134774;  // days since 1970-01-01
  unsigned second_of_day = static_cast<unsigned>(seconds % 86400);
  // Civil date from a day count (proleptic Gregorian calendar).
  std::int64_t z = days + 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1980 || year > 2107) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *fat_date = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
  unsigned hour = second_of_day / 3600, minute = second_of_day / 60 % 60, second = second_of_day % 60;
  *fat_time = static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
  return Succeed();
}

// ---- The shell -------------------------------------------------------------------------

HINSTANCE ShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory, int) {
  return Guarded<HINSTANCE>(ShellResult(SE_ERR_OOM), [&]() -> HINSTANCE {
    if (operation != nullptr && *operation != '\0' && !rt::gbk::SameText(operation, "open"))
      return Fail(ERROR_GEN_FAILURE, ShellResult(SE_ERR_NOASSOC));
    if (file == nullptr || *file == '\0') return Fail(ERROR_FILE_NOT_FOUND, ShellResult(SE_ERR_FNF));
    std::string target;
    std::string work_dir;
    if (directory != nullptr && *directory != '\0' && !Native(directory, work_dir))
      return ShellResult(SE_ERR_PNF);
    std::string_view file_text(file);
    std::size_t scheme = file_text.find("://");
    bool url = scheme != std::string_view::npos && scheme > 1 &&
               file_text.find_first_of("\\/") > scheme;
    if (url) {
      target = rt::gbk::ToUtf8(file_text);
    } else {
      if (!Native(file, target)) return ShellResult(SE_ERR_FNF);
      if (target.front() != '/') {
        std::string base = work_dir;
        if (base.empty()) {
          std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
          if (cwd) base = cwd.get();
        }
        if (!base.empty()) target = (base.back() == '/' ? base : base + "/") + target;
      }
      struct stat st;
      if (::stat(target.c_str(), &st) != 0) {
        DWORD error = ErrorFromErrno(errno, target);
        return Fail(error, ShellResult(error == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF : SE_ERR_FNF));
      }
    }
    std::string program = FindOpenProgram();
    if (program.empty()) return Fail(ERROR_FILE_NOT_FOUND, ShellResult(SE_ERR_NOASSOC));
    std::vector<std::string> argv{program, target};
    if (parameters != nullptr && *parameters != '\0')
      for (std::string& arg : SplitParameters(rt::gbk::ToUtf8(parameters))) argv.push_back(std::move(arg));
    int error = SpawnDetached(argv, work_dir);
    if (error != 0) {
      if (error == ENOENT && !work_dir.empty()) return Fail(ERROR_PATH_NOT_FOUND, ShellResult(SE_ERR_PNF));
      if (error == ENOMEM) return Fail(ERROR_NOT_ENOUGH_MEMORY, ShellResult(SE_ERR_OOM));
      return Fail(ERROR_FILE_NOT_FOUND, ShellResult(SE_ERR_NOASSOC));
    }
    Succeed();
    return ShellResult(42);
  });
}

// ---- The machine and the last error -----------------------------------------------------

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
  if (size == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return Fail(ERROR_GEN_FAILURE, FALSE);
  std::string name;
  try {
    name = rt::platform::FromNativePath(host);
  } catch (...) {
    name = host;
  }
  if (buffer == nullptr || name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    return Fail(ERROR_BUFFER_OVERFLOW, FALSE);
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return Succeed();
}

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD error_code) { last_error = error_code; }
