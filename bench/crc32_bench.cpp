// The data packet's CRC-32 (rt::Crc32, zlib's crc32()) next to the
// table-driven loop the runtime had before, eight bytes at a time with eight
// tables of 256 entries: kept here to show what zlib is measured against.
// Bytes per second on buffers of 64 KiB and 1 MiB (a packet of a few hundred
// rows, and one of a large list).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "runtime/data/crc32.h"

namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][i] = c;
  }
  for (std::uint32_t i = 0; i < 256; ++i)
    for (std::size_t k = 1; k < 8; ++k) tables[k][i] = tables[0][tables[k - 1][i] & 0xFF] ^ (tables[k - 1][i] >> 8);
  return tables;
}
constexpr Tables kTables = MakeTables();

std::uint32_t SliceByEight(std::span<const std::uint8_t> bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  for (; n >= 8; n -= 8, p += 8) {
    const std::uint32_t low = c ^ (static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
    c = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
        kTables[4][low >> 24] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
  }
  for (; n > 0; --n, ++p) c = kTables[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
  std::mt19937 random(20261208);
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

template <std::uint32_t (*Crc)(std::span<const std::uint8_t>)>
void Measure(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = RandomBytes(static_cast<std::size_t>(state.range(0)));
  // Both give the same checksum, or the comparison means nothing.
  if (Crc(bytes) != SliceByEight(bytes)) {
    state.SkipWithError("the checksums differ");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(Crc(bytes));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(Measure<SliceByEight>)->Name("SliceByEight")->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(Measure<rt::Crc32>)->Name("Crc32_zlib")->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK_MAIN();
