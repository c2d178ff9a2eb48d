#include "runtime/data/sqlite/statement_packet.h"

#include <sqlite3.h>

#include <charconv>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/field_typing.h"
#include "runtime/data/packet.h"
#include "runtime/data/packet_format.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/errors.h"
#include "runtime/ole/byte_array.h"
#include "runtime/text/gbk.h"
#include "runtime/text/gbk_table.h"

namespace rt::sqlite {
namespace {

using namespace packet_format;

struct Column {
  std::optional<FieldType> declared;
  ValueKinds kinds = 0;
  FieldType type = FieldType::Text;  // the type its values are written in
  bool written = false;              // a value other than NULL is written
  std::size_t type_at = 0;           // where the packet holds the type
};

std::string GbkText(std::string_view utf8) {
  try {
    return gbk::FromUtf8(utf8);
  } catch (const EConvertError&) {
    throw EDatabaseError("Database error: the database holds a text that is not valid UTF-8");
  }
}

class Encoder {
 public:
  Encoder(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}

  OleVariant Encode() {
    WriteHeaderAndFields();
    const std::size_t rows_at = out_.Size();
    std::uint64_t rows = 0;
    while (!WriteRows(rows)) {
      sqlite3_reset(statement_);
      out_.Truncate(rows_at);
      for (Column& column : columns_) column.written = false;
    }
    Finish(rows_at, rows);
    return out_.Finish();
  }

 private:
  void Varint(std::uint64_t v) {
    std::uint8_t* at = out_.Grow(kMaxVarintBytes);
    out_.Truncate(static_cast<std::size_t>(at - out_.Data()) + PutVarint(at, v));
  }
  void Fixed64(std::uint64_t v) { PutFixed(out_.Grow(8), v, 8); }
  // A length, then the bytes.
  void Sized(const void* data, std::size_t size) {
    Varint(size);
    if (size > 0) std::memcpy(out_.Grow(size), data, size);
  }
  void Bytes(Tag tag, const void* data, std::size_t size) {
    out_.Byte(tag);
    Sized(data, size);
  }
  void Number(Tag tag, double value) {
    out_.Byte(tag);
    Fixed64(BitsOf(value));
  }

  // A UTF-8 text as GBK, converted into the packet where it goes.
  void Text(Tag tag, std::string_view utf8) {
    out_.Byte(tag);
    const std::size_t length_at = out_.Size();
    const std::size_t room = VarintSize(utf8.size());
    out_.Grow(room + utf8.size());
    char* text = reinterpret_cast<char*>(out_.Data() + length_at + room);
    const std::size_t length = gbk::Utf8ToGbkByTable(utf8, text);
    if (length == std::string_view::npos) {  // left to the system's converter
      out_.Truncate(length_at);
      const std::string gbk = GbkText(utf8);
      Sized(gbk.data(), gbk.size());
      return;
    }
    const std::size_t needed = VarintSize(length);
    if (needed < room) std::memmove(text - (room - needed), text, length);
    PutVarint(out_.Data() + length_at, length);
    out_.Truncate(length_at + needed + length);
  }

  void WriteHeaderAndFields() {
    std::memcpy(out_.Grow(kMagic.size()), kMagic.data(), kMagic.size());
    PutFixed(out_.Grow(2), kPacketVersion, 2);
    PutFixed(out_.Grow(6), 0, 6);  // flags; the body length is filled in at the end
    const int count = sqlite3_column_count(statement_);
    columns_.resize(static_cast<std::size_t>(count));
    Varint(static_cast<std::uint64_t>(count));
    for (int i = 0; i < count; ++i) {
      Column& column = columns_[static_cast<std::size_t>(i)];
      const char* declared = sqlite3_column_decltype(statement_, i);
      column.declared = DeclaredFieldType(declared != nullptr ? declared : "");
      column.type = ChooseFieldType(column.declared, 0);
      column.type_at = out_.Size();
      out_.Byte(0);  // the type, known at the end
      const std::string name = GbkText(sqlite3_column_name(statement_, i));
      Sized(name.data(), name.size());
    }
  }

  // Writes the rows from the statement's start; false when a column's type
  // changed under values written already (the rows are to be written again).
  bool WriteRows(std::uint64_t& rows) {
    rows = 0;
    // The row count goes before the rows; its room is kept here and closed
    // up at the end.
    out_.Grow(kMaxVarintBytes);
    int rc;
    while ((rc = sqlite3_step(statement_)) == SQLITE_ROW) {
      ++rows;
      Varint(columns_.size());
      for (std::size_t i = 0; i < columns_.size(); ++i)
        if (!Cell(columns_[i], static_cast<int>(i))) return false;
    }
    if (rc != SQLITE_DONE) sqlite::ThrowError(db_, sqlite3_sql(statement_));
    return true;
  }

  bool Cell(Column& column, int i) {
    const int sqlite_type = sqlite3_column_type(statement_, i);
    if (sqlite_type == SQLITE_NULL) {
      out_.Byte(kNull);
      return true;
    }
    std::string_view bytes;
    std::optional<DateTime> date_time;
    ValueKind kind;
    if (sqlite_type == SQLITE_INTEGER) {
      kind = kIntegerValue;
    } else if (sqlite_type == SQLITE_FLOAT) {
      kind = kFloatValue;
    } else {
      const void* data = sqlite_type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(statement_, i))
                                                    : sqlite3_column_blob(statement_, i);
      bytes = std::string_view(static_cast<const char*>(data),
                               static_cast<std::size_t>(sqlite3_column_bytes(statement_, i)));
      kind = sqlite_type == SQLITE_TEXT ? TextKind(bytes, &date_time) : kBlobValue;
    }
    if ((column.kinds & kind) == 0) {
      column.kinds |= kind;
      const FieldType type = ChooseFieldType(column.declared, column.kinds);
      if (type != column.type && column.written) {
        column.type = type;
        return false;
      }
      column.type = type;
    }
    column.written = true;
    switch (column.type) {
      case FieldType::Integer:
        out_.Byte(kInteger);
        Varint(ZigZag(sqlite3_column_int64(statement_, i)));
        break;
      case FieldType::Float: Number(kFloat, sqlite3_column_double(statement_, i)); break;
      case FieldType::DateTime:
        Number(kDateTime,
               kind == kIntegerValue || kind == kFloatValue ? sqlite3_column_double(statement_, i) : date_time->days);
        break;
      case FieldType::Text:
        if (kind == kBlobValue) Bytes(kText, bytes.data(), bytes.size());
        else if (kind == kIntegerValue) Decimal(sqlite3_column_int64(statement_, i));
        else if (kind == kFloatValue) Decimal(sqlite3_column_double(statement_, i));
        else Text(kText, bytes);
        break;
      case FieldType::Blob:
        if (kind == kBlobValue) Bytes(kBlob, bytes.data(), bytes.size());
        else Text(kBlob, bytes);
        break;
    }
    return true;
  }

  // A number as text, as field_typing.cpp converts it.
  template <class Number>
  void Decimal(Number value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Bytes(kText, buffer, static_cast<std::size_t>(result.ptr - buffer));
  }

  void Finish(std::size_t rows_at, std::uint64_t rows) {
    for (const Column& column : columns_) out_.Data()[column.type_at] = static_cast<std::uint8_t>(column.type);
    // The row count into its room, the rows moved up to it.
    std::uint8_t count[kMaxVarintBytes];
    const std::size_t count_size = PutVarint(count, rows);
    std::uint8_t* at = out_.Data() + rows_at;
    std::memmove(at + count_size, at + kMaxVarintBytes, out_.Size() - rows_at - kMaxVarintBytes);
    std::memcpy(at, count, count_size);
    out_.Truncate(out_.Size() - (kMaxVarintBytes - count_size));
    const std::size_t body = out_.Size() - kHeaderSize;
    PutFixed(out_.Data() + 8, body, 4);
    const std::uint32_t checksum = PacketChecksum(std::span<const std::uint8_t>(out_.Data(), out_.Size()));
    PutFixed(out_.Grow(kChecksumSize), checksum, kChecksumSize);
  }

  sqlite3* db_;
  sqlite3_stmt* statement_;
  std::vector<Column> columns_;
  ByteArrayBuilder out_;
};

}  // namespace

OleVariant StatementPacket(sqlite3* db, sqlite3_stmt* statement) { return Encoder(db, statement).Encode(); }

}  // namespace rt::sqlite
