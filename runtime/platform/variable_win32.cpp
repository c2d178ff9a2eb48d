#include <windows.h>

#include "runtime/platform/variable.h"
#include "runtime/platform/wide.h"

namespace rt::platform {

std::optional<std::string> Utf8Variable(const char* variable) {
  const std::wstring name = Widen(CP_UTF8, variable);
  const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size <= 1) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  value.resize(length);
  return Narrow(CP_UTF8, value);
}

}  // namespace rt::platform
