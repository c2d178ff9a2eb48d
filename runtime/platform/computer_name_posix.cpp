// The machine's name on POSIX systems (GetComputerNameA): its host name.
#include "runtime/platform/platform.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "runtime/platform/posix_internal.h"

using rt::platform::posix::Fail;
using rt::platform::posix::Succeed;

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
