// Dynamic libraries on POSIX systems (LoadLibraryA, GetProcAddress,
// FreeLibrary): a Windows library name is looked for as the shared library
// "X.so" or "libX.so"; and the runtime library's own folder.
#include "runtime/platform/platform.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/posix_internal.h"
#include "runtime/text/gbk.h"

using rt::platform::posix::Fail;
using rt::platform::posix::Guarded;
using rt::platform::posix::Native;
using rt::platform::posix::Succeed;

namespace {

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

std::string rt::platform::RuntimeFolder() {
  const std::string file = RuntimeFile();
  return FromNativePath(file.substr(0, file.find_last_of('/') + 1));
}

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
