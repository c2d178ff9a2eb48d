#include "runtime/data/crc32.h"

#include <zlib.h>

namespace rt {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  // crc32_z takes the length as size_t, so no span is too long for one call.
  return static_cast<std::uint32_t>(crc32_z(0, bytes.data(), bytes.size()));
}

}  // namespace rt
