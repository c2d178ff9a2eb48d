#include <cstdlib>

#include "runtime/platform/variable.h"

namespace rt::platform {

std::optional<std::string> Utf8Variable(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

}  // namespace rt::platform
