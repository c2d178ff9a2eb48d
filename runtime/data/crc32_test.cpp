#include "runtime/data/crc32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace rt {
namespace {

// The plain definition, a bit at a time.
std::uint32_t BitwiseCrc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

TEST(Crc32Test, KnownValuesAndEveryLengthAndOffsetAgreeWithTheDefinition) {
  const std::string_view check = "123456789";
  EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
  EXPECT_EQ(Crc32({}), 0u);
  std::vector<std::uint8_t> data(300);
  std::uint32_t x = 12345;
  for (std::uint8_t& b : data) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  for (std::size_t offset = 0; offset < 9; ++offset)
    for (std::size_t size = 0; offset + size <= data.size(); size += 7) {
      const std::span<const std::uint8_t> piece(data.data() + offset, size);
      ASSERT_EQ(Crc32(piece), BitwiseCrc32(piece)) << offset << " " << size;
    }
}

}  // namespace
}  // namespace rt
