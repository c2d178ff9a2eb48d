// Data packets: the content of a client dataset (its fields and rows) as it
// travels between the host and its plug-ins, serialised into bytes and
// carried in a VARIANT holding a one-dimensional byte array
// (VT_ARRAY | VT_UI1).
//
// Format, version 1. Fixed-size integers are little-endian.
//
//   offset 0   magic "RSPK" (52 53 50 4B)
//          4   version, u16 (1)
//          6   flags, u16 (0; any other value is refused)
//          8   body length, u32: the number of bytes between the header and
//              the checksum
//         12   body
//   end - 4    checksum, u32: CRC-32 (the IEEE polynomial, as zlib computes
//              it) of every byte before it
//
// Body:
//   field count (varint), then for each field:
//     type (1 byte: the rt::FieldType value, 1..5), name length (varint),
//     name bytes (GBK)
//   row count (varint), then for each row:
//     value count (varint; must equal the field count), then the values
//
// A value is a tag byte followed by its content:
//   0 NULL      nothing
//   1 Integer   the 64-bit integer zigzag-encoded as a varint
//   2 Float     8 bytes, IEEE-754 binary64
//   3 Text      length (varint), then the bytes (GBK)
//   4 DateTime  8 bytes, IEEE-754 binary64: days since 1899-12-30
//   5 Blob      length (varint), then the bytes
// A value's tag need not agree with its field's type: a column may hold
// values of several kinds, as the database's columns may.
//
// A varint is an unsigned LEB128 number of at most 10 bytes, in its shortest
// form. Because every part has exactly one encoding, a packet that decodes
// encodes back to the same bytes.
//
// Decoding checks everything and never trusts a count or length further than
// the bytes that are actually there.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/data/value.h"
#include "runtime/ole/variant.h"

namespace rt {

inline constexpr std::uint16_t kPacketVersion = 1;

// Serialises a row set. Raises rt::EPacketError for a row set that cannot be
// a packet: a row whose value count differs from the field count, a field
// type outside FieldType, or a packet body of 4 GiB or more.
std::vector<std::uint8_t> EncodePacket(const RowSet& rows);

// Reads a packet. Raises rt::EPacketError, naming what is wrong and where,
// for any input that is not a well-formed packet of a known version.
RowSet DecodePacket(std::span<const std::uint8_t> packet);

// The CRC-32 that the packet's checksum holds.
std::uint32_t PacketChecksum(std::span<const std::uint8_t> bytes);

// Stores the packet of rows in *out as a VT_ARRAY | VT_UI1 byte array; what
// *out held before is released (it must be an initialised VARIANT).
void PacketToVariant(const RowSet& rows, VARIANT* out);

// Reads the packet that a VARIANT carries: a byte array (VT_ARRAY | VT_UI1),
// also by reference or through a VT_BYREF | VT_VARIANT. VT_EMPTY and VT_NULL
// mean "no data" and give an empty row set without fields. Any other content
// raises rt::EPacketError.
RowSet VariantToPacket(const VARIANT& packet);

}  // namespace rt
