// CRC-32 (the IEEE polynomial, reflected): data packets are checked as a
// whole on every list. zlib computes it several bytes at a time, faster than
// the eight-table loop the runtime had (bench/crc32_bench.cpp).
#pragma once

#include <cstdint>
#include <span>

namespace rt {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace rt
