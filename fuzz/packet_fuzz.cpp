// Fuzzes the reading of data packets. Input: one byte choosing the mode,
// then the data.
//  - Mode byte even: the data is a whole packet.
//  - Mode byte odd: the data is a packet body; the fuzzer puts a valid header
//    and checksum around it, so that the body parser is reached with any
//    content.
// Every run checks:
//  - decoding either raises rt::EPacketError or gives a row set that encodes
//    back to exactly the same bytes (every part of a packet has one
//    encoding), and whose rows all have one value per field;
//  - the same bytes in a VT_ARRAY | VT_UI1 VARIANT decode the same way, and
//    the array is unlocked afterwards, also when decoding failed.
// Any other exception, a crash or a sanitizer report is a failure.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "runtime/data/packet.h"
#include "runtime/errors.h"

namespace {

void Check(bool condition, const char* property) {
  if (!condition) {
    std::fprintf(stderr, "data packet property violated: %s\n", property);
    std::abort();
  }
}

std::vector<std::uint8_t> Wrap(std::span<const std::uint8_t> body) {
  std::vector<std::uint8_t> packet = {'R', 'S', 'P', 'K', rt::kPacketVersion, 0, 0, 0};
  for (int i = 0; i < 4; ++i) packet.push_back(static_cast<std::uint8_t>(body.size() >> (8 * i)));
  packet.insert(packet.end(), body.begin(), body.end());
  const std::uint32_t crc = rt::PacketChecksum(packet);
  for (int i = 0; i < 4; ++i) packet.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  return packet;
}

std::optional<rt::RowSet> Decode(std::span<const std::uint8_t> packet) {
  try {
    return rt::DecodePacket(packet);
  } catch (const rt::EPacketError&) {
    return std::nullopt;
  }
}

std::optional<rt::RowSet> DecodeVariant(std::span<const std::uint8_t> packet) {
  rt::OleVariant v = rt::OleVariant::FromBytes(packet);
  std::optional<rt::RowSet> rows;
  try {
    rows = rt::VariantToPacket(v.Get());
  } catch (const rt::EPacketError&) {
  }
  Check(v->parray->cLocks == 0, "the byte array is unlocked after decoding");
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  const std::vector<std::uint8_t> packet = (data[0] & 1) ? Wrap(input)
                                                         : std::vector<std::uint8_t>(input.begin(), input.end());

  const std::optional<rt::RowSet> rows = Decode(packet);
  if (rows) {
    for (const auto& row : rows->rows) Check(row.size() == rows->fields.size(), "one value per field");
    Check(rt::EncodePacket(*rows) == packet, "a decoded packet encodes back to the same bytes");
  }
  const std::optional<rt::RowSet> from_variant = DecodeVariant(packet);
  Check(from_variant.has_value() == rows.has_value(), "a VARIANT decodes as its bytes do");
  if (rows) Check(rt::EncodePacket(*from_variant) == packet, "a VARIANT gives the same rows");
  return 0;
}
