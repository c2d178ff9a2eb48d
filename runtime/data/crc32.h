// CRC-32 (the IEEE polynomial, reflected, as zlib computes it), eight bytes
// at a time: data packets are checked as a whole on every list, and a byte
// at a time cost a noticeable share of a large list's encoding.
#pragma once

#include <cstdint>
#include <span>

namespace rt {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace rt
