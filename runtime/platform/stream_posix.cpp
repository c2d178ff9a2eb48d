#include "runtime/platform/stream.h"

namespace rt::platform {

std::FILE* OpenStream(const std::string& native_path, bool for_writing) {
  return std::fopen(native_path.c_str(), for_writing ? "wb" : "rb");
}

}  // namespace rt::platform
