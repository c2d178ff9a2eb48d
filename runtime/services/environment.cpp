#include "runtime/services/environment.h"

#include <mutex>
#include <vector>

#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"

namespace rt {
namespace {

struct Holder {
  std::once_flag defaults_made;
  HostEnvironment environment;
};

Holder& TheHolder() {
  static Holder holder;
  return holder;
}

std::string CurrentDirectory() {
  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return ".";
  std::vector<char> buffer(needed + 1);
  DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return ".";
  return std::string(buffer.data(), length);
}

std::string ComputerName() {
  char buffer[256] = {};
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return "localhost";
  return std::string(buffer, size);
}

}  // namespace

HostEnvironment DefaultEnvironment() {
  HostEnvironment environment;
  environment.base_dir = IncludeTrailingPathDelimiter(CurrentDirectory());
  environment.user_id = "admin";
  environment.user_name = "系统管理员";
  environment.computer_name = ComputerName();
  environment.sys_code = "LIS_DIRECTOR";
  environment.display_style = 0;
  return environment;
}

const HostEnvironment& Environment() {
  Holder& holder = TheHolder();
  std::call_once(holder.defaults_made, [&] { holder.environment = DefaultEnvironment(); });
  return holder.environment;
}

void SetEnvironment(HostEnvironment environment) {
  Holder& holder = TheHolder();
  std::call_once(holder.defaults_made, [] {});
  holder.environment = std::move(environment);
}

}  // namespace rt
