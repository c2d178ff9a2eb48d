// The pieces of the data packet's format (packet.h) that its writers share:
// the packet encoded from a row set and the one encoded straight from a
// query's statement must give the same bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rt::packet_format {

inline constexpr std::array<std::uint8_t, 4> kMagic = {'R', 'S', 'P', 'K'};
inline constexpr std::size_t kHeaderSize = 12;
inline constexpr std::size_t kChecksumSize = 4;
inline constexpr std::size_t kMaxVarintBytes = 10;

enum Tag : std::uint8_t { kNull = 0, kInteger = 1, kFloat = 2, kText = 3, kDateTime = 4, kBlob = 5 };

inline std::uint64_t ZigZag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v < 0 ? -1 : 0);
}

// Floating-point values are carried as their bits: on i686 a double that
// passes through the x87 unit (a value argument, a result) comes back with
// a signalling NaN made quiet.
inline std::uint64_t BitsOf(const double& value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Writes v as a varint at `at` (room for kMaxVarintBytes); returns its size.
inline std::size_t PutVarint(std::uint8_t* at, std::uint64_t v) {
  std::size_t n = 0;
  while (v >= 0x80) {
    at[n++] = static_cast<std::uint8_t>(v | 0x80);
    v >>= 7;
  }
  at[n++] = static_cast<std::uint8_t>(v);
  return n;
}

inline std::size_t VarintSize(std::uint64_t v) {
  std::size_t n = 1;
  for (; v >= 0x80; v >>= 7) ++n;
  return n;
}

// Little-endian, byte by byte.
inline void PutFixed(std::uint8_t* at, std::uint64_t v, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace rt::packet_format
