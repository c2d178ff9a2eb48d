#include "runtime/data/packet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "runtime/errors.h"

namespace rt {
namespace {

// A char16_t literal as the system's OLECHAR text (wchar_t on Windows).
const OLECHAR* Ole(const char16_t* text) { return reinterpret_cast<const OLECHAR*>(text); }

using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

// A row set with every kind of value, Chinese texts whose trail bytes are
// ASCII ('\\', 'A', '|', 'a'), NULLs in every column, and blobs with zero
// bytes.
RowSet Sample() {
  RowSet rows;
  rows.fields = {{"ParamText", FieldType::Text}, {"ID", FieldType::Integer},        {"DISP_名称", FieldType::Text},
                 {"Ratio", FieldType::Float},    {"修改时间", FieldType::DateTime}, {"Content", FieldType::Blob}};
  rows.rows.push_back({std::string("TV_ID=12;LabDoc_ID=7;DISP_名称=\"誠實 華\""), std::int64_t{1},
                       std::string("質量運補.doc"), 0.1, DateTime{45351.57303240741}, Bytes{0x00, 0x5C, 0xFF, 0x00}});
  rows.rows.push_back(
      {std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}});
  rows.rows.push_back({std::string(), std::numeric_limits<std::int64_t>::min(), std::string("C:\\DocCache\\誠.txt"),
                       -std::numeric_limits<double>::infinity(), DateTime{-1.25}, Bytes{}});
  rows.rows.push_back({std::string("\x81\x40"), std::numeric_limits<std::int64_t>::max(), std::string("a|b"),
                       std::numeric_limits<double>::denorm_min(), DateTime{0}, Bytes(300, 0xAB)});
  return rows;
}

// A packet around the given body, with correct length and checksum.
Bytes Wrap(const Bytes& body, std::uint16_t version = kPacketVersion) {
  Bytes packet = {'R', 'S', 'P', 'K', static_cast<std::uint8_t>(version), static_cast<std::uint8_t>(version >> 8),
                  0,   0};
  for (int i = 0; i < 4; ++i) packet.push_back(static_cast<std::uint8_t>(body.size() >> (8 * i)));
  packet.insert(packet.end(), body.begin(), body.end());
  const std::uint32_t crc = PacketChecksum(packet);
  for (int i = 0; i < 4; ++i) packet.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  return packet;
}

std::string DecodeError(const Bytes& packet) {
  try {
    DecodePacket(packet);
  } catch (const EPacketError& e) {
    return e.what();
  }
  return "(decoded)";
}

TEST(Packet, RoundTripsEveryKindOfValue) {
  const RowSet rows = Sample();
  const Bytes packet = EncodePacket(rows);
  const RowSet back = DecodePacket(packet);
  EXPECT_EQ(back, rows);
  // GBK texts come back byte for byte, trail bytes included.
  EXPECT_EQ(std::get<std::string>(back.rows[0][2]), "質量運補.doc");
  EXPECT_EQ(back.fields[2].name, "DISP_名称");
  // An empty text and NULL stay distinct.
  EXPECT_TRUE(std::holds_alternative<std::string>(back.rows[2][0]));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(back.rows[1][0]));
}

TEST(Packet, FloatsKeepTheirBits) {
  RowSet rows;
  rows.fields = {{"F", FieldType::Float}};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {-0.0, nan, 1.0 / 3, 1e308}) rows.rows.push_back({v});
  rows.rows.push_back({DateTime{nan}});
  const RowSet back = DecodePacket(EncodePacket(rows));
  ASSERT_EQ(back.rows.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(std::bit_cast<std::uint64_t>(std::get<double>(back.rows[i][0])),
              std::bit_cast<std::uint64_t>(std::get<double>(rows.rows[i][0])));
  EXPECT_TRUE(std::isnan(std::get<DateTime>(back.rows[4][0]).days));
}

TEST(Packet, EmptyRowSets) {
  const RowSet none;
  const Bytes packet = EncodePacket(none);
  EXPECT_EQ(packet.size(), 18u);  // header, two zero counts, checksum
  EXPECT_EQ(DecodePacket(packet), none);

  RowSet fields_only;
  fields_only.fields = {{"ID", FieldType::Integer}, {"名称", FieldType::Text}};
  EXPECT_EQ(DecodePacket(EncodePacket(fields_only)), fields_only);
}

TEST(Packet, LargeRowCounts) {
  RowSet rows;
  rows.fields = {{"ID", FieldType::Integer}, {"名称", FieldType::Text}, {"Empty", FieldType::Text}};
  for (std::int64_t i = 0; i < 100'000; ++i)
    rows.rows.push_back({i * 7 - 350'000, "文件" + std::to_string(i), std::monostate{}});
  const Bytes packet = EncodePacket(rows);
  EXPECT_LT(packet.size(), 100'000u * 20);  // small numbers and short texts stay small
  EXPECT_EQ(DecodePacket(packet), rows);
}

TEST(Packet, HasTheDocumentedLayout) {
  RowSet rows;
  rows.fields = {{"ID", FieldType::Integer}, {"名", FieldType::Text}};
  rows.rows = {{std::int64_t{5}, std::string("誠")}, {std::monostate{}, std::string()}};
  const Bytes expected = {0x52, 0x53, 0x50, 0x4B, 0x01, 0x00, 0x00, 0x00, 0x15, 0x00, 0x00, 0x00, 0x02,
                          0x01, 0x02, 0x49, 0x44, 0x03, 0x02, 0xC3, 0xFB, 0x02, 0x02, 0x01, 0x0A, 0x03,
                          0x02, 0xD5, 0x5C, 0x02, 0x00, 0x03, 0x00, 0x91, 0xB7, 0x13, 0xEC};
  EXPECT_EQ(EncodePacket(rows), expected);
  EXPECT_EQ(DecodePacket(expected), rows);
}

TEST(Packet, EncodeRefusesMalformedRowSets) {
  RowSet short_row;
  short_row.fields = {{"A", FieldType::Text}, {"B", FieldType::Text}};
  short_row.rows = {{std::string("x"), std::string("y")}, {std::string("z")}};
  EXPECT_THROW(EncodePacket(short_row), EPacketError);

  RowSet bad_type;
  bad_type.fields = {{"A", static_cast<FieldType>(9)}};
  EXPECT_THROW(EncodePacket(bad_type), EPacketError);
}

TEST(PacketCorruption, EveryTruncationIsRefused) {
  const Bytes packet = EncodePacket(Sample());
  for (std::size_t length = 0; length < packet.size(); ++length) {
    const Bytes cut(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_THROW(DecodePacket(cut), EPacketError) << "length " << length;
  }
  EXPECT_THAT(DecodeError(Bytes(packet.begin(), packet.end() - 1)), HasSubstr("truncated"));
}

TEST(PacketCorruption, EveryFlippedByteIsRefused) {
  const Bytes packet = EncodePacket(Sample());
  for (std::size_t i = 0; i < packet.size(); ++i) {
    for (std::uint8_t mask : {0x01, 0x80, 0xFF}) {
      Bytes damaged = packet;
      damaged[i] ^= mask;
      EXPECT_THROW(DecodePacket(damaged), EPacketError) << "byte " << i << " mask " << int{mask};
    }
  }
  Bytes damaged = packet;
  damaged[20] ^= 0x10;
  EXPECT_THAT(DecodeError(damaged), HasSubstr("checksum"));
}

TEST(PacketCorruption, HeaderErrors) {
  const Bytes packet = EncodePacket(Sample());
  Bytes wrong_magic = packet;
  wrong_magic[0] = 'X';
  EXPECT_THAT(DecodeError(wrong_magic), HasSubstr("magic"));

  EXPECT_THAT(DecodeError(Wrap({0, 0}, 2)), HasSubstr("version 2"));

  Bytes flags = Wrap({0, 0});
  flags[6] = 1;
  EXPECT_THAT(DecodeError(flags), HasSubstr("flags"));

  Bytes longer = packet;
  longer.push_back(0);
  EXPECT_THAT(DecodeError(longer), HasSubstr("unused bytes"));

  Bytes huge_length = Wrap({0, 0});
  huge_length[8] = huge_length[9] = huge_length[10] = huge_length[11] = 0xFF;
  EXPECT_THAT(DecodeError(huge_length), HasSubstr("truncated"));
}

// Bodies that pass the checksum but are not well formed.
TEST(PacketCorruption, StructuralErrorsBehindAValidChecksum) {
  // Field type 6 does not exist.
  EXPECT_THAT(DecodeError(Wrap({1, 6, 1, 'A', 0})), HasSubstr("unknown field type 6"));
  // Value tag 9 does not exist.
  EXPECT_THAT(DecodeError(Wrap({1, 3, 1, 'A', 1, 1, 9})), HasSubstr("unknown value tag 9"));
  // A row with two values for one field, and one with none.
  EXPECT_THAT(DecodeError(Wrap({1, 3, 1, 'A', 1, 2, 0, 0})), HasSubstr("row 1 has 2 values for 1 fields"));
  EXPECT_THAT(DecodeError(Wrap({1, 3, 1, 'A', 2, 1, 0, 0, 0})), HasSubstr("row 2 has 0 values"));
  // Counts far beyond the bytes there are: refused before anything is
  // allocated for them.
  EXPECT_THAT(DecodeError(Wrap({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01})), HasSubstr("field count"));
  EXPECT_THAT(DecodeError(Wrap({0, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F})), HasSubstr("row count"));
  EXPECT_THAT(DecodeError(Wrap({1, 3, 1, 'A', 0x80, 0x80, 0x80, 0x80, 0x01})), HasSubstr("row count"));
  // Lengths past the end.
  EXPECT_THAT(DecodeError(Wrap({1, 3, 5, 'A', 0})), HasSubstr("field name length"));
  EXPECT_THAT(DecodeError(Wrap({1, 3, 1, 'A', 1, 1, 3, 4, 'x'})), HasSubstr("text length"));
  EXPECT_THAT(DecodeError(Wrap({1, 5, 1, 'A', 1, 1, 5, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F})), HasSubstr("blob length"));
  // Values cut short.
  EXPECT_THAT(DecodeError(Wrap({1, 2, 1, 'A', 1, 1, 2, 0, 0, 0})), HasSubstr("truncated float"));
  EXPECT_THAT(DecodeError(Wrap({1, 1, 1, 'A', 1, 1, 1, 0x80})), HasSubstr("truncated integer"));
  EXPECT_THAT(DecodeError(Wrap({1, 1, 1, 'A', 1, 1})), HasSubstr("row count"));
  EXPECT_THAT(DecodeError(Wrap({1, 3, 1, 'A', 2, 1, 3, 1, 'x', 1})), HasSubstr("truncated value"));
  // Numbers in more bytes than needed, or too large for 64 bits.
  EXPECT_THAT(DecodeError(Wrap({0x80, 0x00, 0})), HasSubstr("non-canonical"));
  EXPECT_THAT(DecodeError(Wrap({1, 1, 1, 'A', 1, 1, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02})),
              HasSubstr("out of range"));
  EXPECT_THAT(DecodeError(
                  Wrap({1, 1, 1, 'A', 1, 1, 1, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01})),
              HasSubstr("out of range"));
  // Bytes after the last row.
  EXPECT_THAT(DecodeError(Wrap({0, 0, 0})), HasSubstr("1 unused bytes after the last row"));
  // The smallest well-formed bodies decode.
  EXPECT_NO_THROW(DecodePacket(Wrap({0, 0})));
  EXPECT_NO_THROW(
      DecodePacket(Wrap({1, 1, 1, 'A', 1, 1, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01})));
}

// Random bodies behind a valid checksum either decode to something that
// encodes back to the same bytes, or are refused cleanly.
TEST(PacketCorruption, RandomBodies) {
  std::mt19937 random(20240229);
  const Bytes valid = EncodePacket(Sample());
  const Bytes valid_body(valid.begin() + 12, valid.end() - 4);
  int decoded = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes body;
    if (round % 2 == 0) {
      body.resize(random() % 64);
      for (auto& b : body) b = static_cast<std::uint8_t>(random() % 8 < 6 ? random() % 8 : random());
    } else {
      body = valid_body;  // a few random changes to a valid body
      for (int k = 0; k < 1 + round % 4; ++k) body[random() % body.size()] = static_cast<std::uint8_t>(random());
    }
    const Bytes packet = Wrap(body);
    try {
      const RowSet rows = DecodePacket(packet);
      EXPECT_EQ(EncodePacket(rows), packet);
      ++decoded;
    } catch (const EPacketError&) {
    }
  }
  EXPECT_GT(decoded, 0);
}

TEST(PacketVariant, CarriesTheBytesInAByteArray) {
  const RowSet rows = Sample();
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(Ole(u"earlier content"));  // released by PacketToVariant
  PacketToVariant(rows, &v);
  ASSERT_EQ(v.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(SafeArrayGetDim(v.parray), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(v.parray), 1u);
  LONG lower = -1;
  SafeArrayGetLBound(v.parray, 1, &lower);
  EXPECT_EQ(lower, 0);
  const Bytes expected = EncodePacket(rows);
  ASSERT_EQ(v.parray->rgsabound[0].cElements, expected.size());
  EXPECT_EQ(std::memcmp(v.parray->pvData, expected.data(), expected.size()), 0);

  EXPECT_EQ(VariantToPacket(v), rows);
  EXPECT_EQ(v.parray->cLocks, 0u);

  // By reference, as a caller may pass it.
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &v;
  EXPECT_EQ(VariantToPacket(ref), rows);
  ref.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  ref.pparray = &v.parray;
  EXPECT_EQ(VariantToPacket(ref), rows);
  EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(PacketVariant, NoDataAndWrongContent) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(VariantToPacket(v), RowSet{});
  v.vt = VT_NULL;
  EXPECT_EQ(VariantToPacket(v), RowSet{});

  v.vt = VT_I4;
  v.lVal = 1;
  EXPECT_THROW(VariantToPacket(v), EPacketError);

  v.vt = VT_ARRAY | VT_UI1;
  v.parray = nullptr;
  EXPECT_THROW(VariantToPacket(v), EPacketError);

  v.vt = VT_ARRAY | VT_I4;
  v.parray = SafeArrayCreateVector(VT_I4, 0, 8);
  EXPECT_THROW(VariantToPacket(v), EPacketError);
  VariantClear(&v);

  // A byte array that is no packet; the array is left unlocked.
  const Bytes packet = EncodePacket(Sample());
  rt::OleVariant damaged = rt::OleVariant::FromBytes(Bytes(packet.begin(), packet.begin() + 30));
  EXPECT_THROW(VariantToPacket(damaged.Get()), EPacketError);
  EXPECT_EQ(damaged->parray->cLocks, 0u);
  rt::OleVariant empty = rt::OleVariant::FromBytes(Bytes{});
  EXPECT_THROW(VariantToPacket(empty.Get()), EPacketError);

  // A packet in an array whose lower bound is not 0.
  VARIANT shifted;
  VariantInit(&shifted);
  shifted.vt = VT_ARRAY | VT_UI1;
  shifted.parray = SafeArrayCreateVector(VT_UI1, 5, static_cast<std::uint32_t>(packet.size()));
  std::memcpy(shifted.parray->pvData, packet.data(), packet.size());
  EXPECT_EQ(VariantToPacket(shifted), Sample());
  VariantClear(&shifted);

  EXPECT_THROW(PacketToVariant(Sample(), nullptr), EPacketError);
}

}  // namespace
}  // namespace rt
