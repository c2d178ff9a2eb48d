#include "runtime/data/packet.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "runtime/data/crc32.h"
#include "runtime/data/packet_format.h"
#include "runtime/errors.h"

namespace rt {

namespace {

using namespace packet_format;

bool IsFieldType(std::uint8_t type) {
  return type >= static_cast<std::uint8_t>(FieldType::Integer) && type <= static_cast<std::uint8_t>(FieldType::Blob);
}

// ---- Writing ----------------------------------------------------------------

class Writer {
 public:
  void Byte(std::uint8_t b) { out_.push_back(b); }
  void Fixed16(std::uint16_t v) {
    for (int i = 0; i < 2; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Fixed32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Fixed64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Varint(std::uint64_t v) {
    std::uint8_t bytes[kMaxVarintBytes];
    out_.insert(out_.end(), bytes, bytes + PutVarint(bytes, v));
  }
  void Bytes(const void* data, std::size_t size) {
    Varint(size);
    const auto* p = static_cast<const std::uint8_t*>(data);
    out_.insert(out_.end(), p, p + size);
  }
  std::vector<std::uint8_t>& Out() { return out_; }

 private:
  std::vector<std::uint8_t> out_;
};

std::int64_t UnZigZag(std::uint64_t v) { return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1); }

void WriteValue(Writer& w, const Value& value) {
  struct Visitor {
    Writer& w;
    void operator()(std::monostate) const { w.Byte(kNull); }
    void operator()(std::int64_t v) const {
      w.Byte(kInteger);
      w.Varint(ZigZag(v));
    }
    void operator()(const double& v) const {
      w.Byte(kFloat);
      w.Fixed64(BitsOf(v));
    }
    void operator()(const std::string& v) const {
      w.Byte(kText);
      w.Bytes(v.data(), v.size());
    }
    void operator()(const DateTime& v) const {
      w.Byte(kDateTime);
      w.Fixed64(BitsOf(v.days));
    }
    void operator()(const std::vector<std::uint8_t>& v) const {
      w.Byte(kBlob);
      w.Bytes(v.data(), v.size());
    }
  };
  std::visit(Visitor{w}, value);
}

// ---- Reading ----------------------------------------------------------------

class Reader {
 public:
  Reader(std::span<const std::uint8_t> data, std::size_t pos, std::size_t end) : data_(data), pos_(pos), end_(end) {}

  std::size_t Pos() const { return pos_; }
  std::size_t Remaining() const { return end_ - pos_; }

  [[noreturn]] void Fail(const std::string& what) const {
    throw EPacketError("Malformed data packet: " + what + " at offset " + std::to_string(pos_));
  }

  void Need(std::size_t n, const char* what) const {
    if (Remaining() < n) Fail(std::string("truncated ") + what);
  }

  std::uint8_t Byte(const char* what) {
    Need(1, what);
    return data_[pos_++];
  }

  std::uint64_t Fixed64(const char* what) {
    Need(8, what);
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t{data_[pos_ + static_cast<std::size_t>(i)]} << (8 * i);
    pos_ += 8;
    return v;
  }

  std::uint64_t Varint(const char* what) {
    const std::size_t start = pos_;
    std::uint64_t v = 0;
    for (std::size_t i = 0;; ++i) {
      if (i == kMaxVarintBytes) Fail(std::string("overlong number in ") + what);
      const std::uint8_t b = Byte(what);
      if (i == kMaxVarintBytes - 1 && b > 1) {
        pos_ = start;
        Fail(std::string("number out of range in ") + what);
      }
      v |= std::uint64_t{b & 0x7Fu} << (7 * i);
      if (!(b & 0x80)) {
        if (b == 0 && i > 0) {
          pos_ = start;
          Fail(std::string("non-canonical number in ") + what);
        }
        return v;
      }
    }
  }

  // A count or length that must not exceed what the remaining bytes can hold,
  // each item taking at least min_item_size bytes.
  std::size_t Count(const char* what, std::size_t min_item_size) {
    const std::size_t start = pos_;
    const std::uint64_t n = Varint(what);
    if (n > Remaining() / min_item_size) {
      pos_ = start;
      Fail(std::string(what) + " " + std::to_string(n) + " exceeds the packet size");
    }
    return static_cast<std::size_t>(n);
  }

  template <class Container>
  Container Bytes(const char* what) {
    const std::size_t size = Count(what, 1);
    const auto* p = data_.data() + pos_;
    pos_ += size;
    return Container(p, p + size);
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_;
  std::size_t end_;
};

std::uint32_t ReadFixed32(std::span<const std::uint8_t> data, std::size_t pos) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= std::uint32_t{data[pos + i]} << (8 * i);
  return v;
}

Value ReadValue(Reader& r) {
  const std::size_t start = r.Pos();
  const std::uint8_t tag = r.Byte("value");
  switch (tag) {
    case kNull: return std::monostate{};
    case kInteger: return UnZigZag(r.Varint("integer value"));
    case kFloat: {
      // The bits go straight into the value's storage (see BitsOf).
      const std::uint64_t bits = r.Fixed64("float value");
      Value value(std::in_place_type<double>);
      std::memcpy(&std::get<double>(value), &bits, sizeof bits);
      return value;
    }
    case kText: return r.Bytes<std::string>("text length");
    case kDateTime: {
      const std::uint64_t bits = r.Fixed64("date-time value");
      Value value(std::in_place_type<DateTime>);
      std::memcpy(&std::get<DateTime>(value).days, &bits, sizeof bits);
      return value;
    }
    case kBlob: return r.Bytes<std::vector<std::uint8_t>>("blob length");
    default:
      throw EPacketError("Malformed data packet: unknown value tag " + std::to_string(tag) + " at offset " +
                         std::to_string(start));
  }
}

RowSet ReadBody(Reader& r) {
  RowSet rows;
  const std::size_t field_count = r.Count("field count", 2);
  rows.fields.reserve(field_count);
  for (std::size_t i = 0; i < field_count; ++i) {
    FieldDef field;
    const std::size_t type_at = r.Pos();
    const std::uint8_t type = r.Byte("field type");
    if (!IsFieldType(type))
      throw EPacketError("Malformed data packet: unknown field type " + std::to_string(type) + " at offset " +
                         std::to_string(type_at));
    field.type = static_cast<FieldType>(type);
    field.name = r.Bytes<std::string>("field name length");
    rows.fields.push_back(std::move(field));
  }

  const std::size_t row_count = r.Count("row count", 1 + field_count);
  rows.rows.reserve(row_count);
  for (std::size_t i = 0; i < row_count; ++i) {
    const std::size_t count_at = r.Pos();
    const std::uint64_t value_count = r.Varint("value count");
    if (value_count != field_count)
      throw EPacketError("Malformed data packet: row " + std::to_string(i + 1) + " has " + std::to_string(value_count) +
                         " values for " + std::to_string(field_count) + " fields at offset " +
                         std::to_string(count_at));
    std::vector<Value> row;
    row.reserve(field_count);
    for (std::size_t k = 0; k < field_count; ++k) row.push_back(ReadValue(r));
    rows.rows.push_back(std::move(row));
  }
  if (r.Remaining() != 0) r.Fail(std::to_string(r.Remaining()) + " unused bytes after the last row");
  return rows;
}

}  // namespace

std::uint32_t PacketChecksum(std::span<const std::uint8_t> bytes) { return Crc32(bytes); }

std::vector<std::uint8_t> EncodePacket(const RowSet& rows) {
  Writer w;
  w.Out().insert(w.Out().end(), kMagic.begin(), kMagic.end());
  w.Fixed16(kPacketVersion);
  w.Fixed16(0);
  w.Fixed32(0);  // body length, filled in below

  w.Varint(rows.fields.size());
  for (const FieldDef& field : rows.fields) {
    const auto type = static_cast<std::uint8_t>(field.type);
    if (!IsFieldType(type)) throw EPacketError("Field " + field.name + " has the unknown type " + std::to_string(type));
    w.Byte(type);
    w.Bytes(field.name.data(), field.name.size());
  }
  w.Varint(rows.rows.size());
  for (std::size_t i = 0; i < rows.rows.size(); ++i) {
    const std::vector<Value>& row = rows.rows[i];
    if (row.size() != rows.fields.size())
      throw EPacketError("Row " + std::to_string(i + 1) + " has " + std::to_string(row.size()) + " values for " +
                         std::to_string(rows.fields.size()) + " fields");
    w.Varint(row.size());
    for (const Value& value : row) WriteValue(w, value);
  }

  std::vector<std::uint8_t>& out = w.Out();
  const std::size_t body_size = out.size() - kHeaderSize;
  if (body_size > std::numeric_limits<std::uint32_t>::max()) throw EPacketError("Data packet too large");
  for (std::size_t i = 0; i < 4; ++i) out[8 + i] = static_cast<std::uint8_t>(body_size >> (8 * i));
  w.Fixed32(PacketChecksum(out));
  return std::move(out);
}

RowSet DecodePacket(std::span<const std::uint8_t> packet) {
  if (packet.size() < kHeaderSize + kChecksumSize)
    throw EPacketError("Malformed data packet: " + std::to_string(packet.size()) + " bytes are too short for a packet");
  if (!std::equal(kMagic.begin(), kMagic.end(), packet.begin()))
    throw EPacketError("Malformed data packet: not a data packet (wrong magic)");
  const std::uint32_t version = ReadFixed32(packet, 4) & 0xFFFF;
  const std::uint32_t flags = ReadFixed32(packet, 4) >> 16;
  if (version != kPacketVersion)
    throw EPacketError("Data packet version " + std::to_string(version) + " is not supported (expected " +
                       std::to_string(kPacketVersion) + ")");
  if (flags != 0) throw EPacketError("Malformed data packet: unknown flags " + std::to_string(flags));
  const std::uint64_t body_size = ReadFixed32(packet, 8);
  const std::uint64_t expected = kHeaderSize + body_size + kChecksumSize;
  if (packet.size() < expected)
    throw EPacketError("Malformed data packet: truncated, " + std::to_string(packet.size()) + " of " +
                       std::to_string(expected) + " bytes");
  if (packet.size() > expected)
    throw EPacketError("Malformed data packet: " + std::to_string(packet.size() - expected) +
                       " unused bytes after the end");
  const std::size_t checksum_at = kHeaderSize + static_cast<std::size_t>(body_size);
  if (ReadFixed32(packet, checksum_at) != PacketChecksum(packet.first(checksum_at)))
    throw EPacketError("Malformed data packet: checksum mismatch (the packet is damaged)");

  Reader reader(packet, kHeaderSize, checksum_at);
  return ReadBody(reader);
}

namespace {

// Releases the lock that SafeArrayAccessData took.
class ArrayAccess {
 public:
  explicit ArrayAccess(SAFEARRAY* psa) : psa_(psa) {
    if (FAILED(SafeArrayAccessData(psa_, &data_))) throw EPacketError("The data packet's byte array cannot be read");
  }
  ~ArrayAccess() { SafeArrayUnaccessData(psa_); }
  ArrayAccess(const ArrayAccess&) = delete;
  ArrayAccess& operator=(const ArrayAccess&) = delete;
  const void* Data() const { return data_; }

 private:
  SAFEARRAY* psa_;
  void* data_ = nullptr;
};

std::string TypeName(VARTYPE vt) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(vt >> shift) & 0xF];
  return text;
}

// The byte array a packet VARIANT refers to, or nullptr for "no data".
SAFEARRAY* PacketArray(const VARIANT& packet, int depth) {
  const VARTYPE vt = packet.vt;
  if (vt == VT_EMPTY || vt == VT_NULL) return nullptr;
  if (vt == (VT_BYREF | VT_VARIANT) && depth < 4) {
    if (!packet.pvarVal) throw EPacketError("The data packet variant refers to nothing");
    return PacketArray(*packet.pvarVal, depth + 1);
  }
  SAFEARRAY* psa = nullptr;
  if (vt == (VT_ARRAY | VT_UI1)) psa = packet.parray;
  else if (vt == (VT_BYREF | VT_ARRAY | VT_UI1) && packet.pparray) psa = *packet.pparray;
  else throw EPacketError("A data packet must be a byte array, not a variant of type " + TypeName(vt));
  if (!psa) throw EPacketError("The data packet variant holds no array");
  if (SafeArrayGetDim(psa) != 1 || SafeArrayGetElemsize(psa) != 1)
    throw EPacketError("A data packet must be a one-dimensional byte array");
  return psa;
}

}  // namespace

void PacketToVariant(const RowSet& rows, VARIANT* out) {
  if (!out) throw EPacketError("No variant to store the data packet in");
  OleVariant packet = OleVariant::FromBytes(EncodePacket(rows));
  packet.Detach(out);
}

RowSet VariantToPacket(const VARIANT& packet) {
  SAFEARRAY* psa = PacketArray(packet, 0);
  if (!psa) return RowSet{};
  ArrayAccess access(psa);
  const auto* bytes = static_cast<const std::uint8_t*>(access.Data());
  const std::size_t size = psa->rgsabound[0].cElements;
  if (size > 0 && !bytes) throw EPacketError("The data packet's byte array has no data");
  return DecodePacket(std::span<const std::uint8_t>(bytes, size));
}

}  // namespace rt
