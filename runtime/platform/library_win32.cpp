// Dynamic libraries on Windows: LoadLibraryA, GetProcAddress and FreeLibrary
// are the system's own; what platform.h adds is the runtime library's own
// folder.
#include "runtime/platform/platform.h"

namespace rt::platform {

std::string RuntimeFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&RuntimeFolder), &self);
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  const std::string file(path, n > 0 && n < MAX_PATH ? n : 0);
  return file.substr(0, file.find_last_of("\\/") + 1);
}

}  // namespace rt::platform
