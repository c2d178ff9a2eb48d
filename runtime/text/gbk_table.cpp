#include "runtime/text/gbk_table.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/platform/charset.h"

namespace rt::gbk {
namespace {

constexpr std::uint16_t kNone = 0xFFFF;
// An entry below 0x100 is one byte; otherwise lead byte << 8 | trail byte.
using Table = std::array<std::uint16_t, 0x10000>;

void AppendUtf8(std::string& out, std::uint32_t code_point) {
  if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
  }
  out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
}

// The code point of the one UTF-8 character in text, or kNone.
std::uint32_t CodePointOf(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  if (text.size() == 2 && (p[0] & 0xE0) == 0xC0) return (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu);
  if (text.size() == 3 && (p[0] & 0xF0) == 0xE0) return (p[0] & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
  return kNone;
}

// The characters that GBK's double-byte codes stand for, as the system
// decodes them: each code followed by a line feed (no byte of a GBK
// character), a row of codes per lead byte in one call, code by code in a
// row that holds codes the system refuses.
std::vector<std::uint32_t> GbkCharacters() {
  std::vector<std::uint32_t> found;
  auto take = [&](const std::string& utf8) {
    for (std::size_t at = 0; at < utf8.size();) {
      std::size_t end = utf8.find('\n', at);
      if (end == std::string::npos) end = utf8.size();
      const std::uint32_t c = CodePointOf(std::string_view(utf8).substr(at, end - at));
      if (c >= 0x80 && c != kNone && !(c >= 0xD800 && c <= 0xDFFF)) found.push_back(c);
      at = end + 1;
    }
  };
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    std::string row;
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      row += {static_cast<char>(lead), static_cast<char>(trail), '\n'};
    }
    std::string utf8;
    if (platform::GbkToUtf8(row, utf8)) {
      take(utf8);
      continue;
    }
    for (std::size_t at = 0; at < row.size(); at += 3) {
      if (platform::GbkToUtf8(std::string_view(row).substr(at, 2), utf8)) take(utf8);
    }
  }
  return found;
}

// The table holds what the system's converter makes of each of those
// characters, converted in one call, each followed by a line feed. A result
// that does not split into one piece per character leaves the table empty,
// and every text goes to the system's converter.
std::unique_ptr<Table> MakeTable() {
  auto table = std::make_unique<Table>();
  table->fill(kNone);
  const std::vector<std::uint32_t> characters = GbkCharacters();
  std::string utf8;
  utf8.reserve(characters.size() * 4);
  for (const std::uint32_t c : characters) {
    AppendUtf8(utf8, c);
    utf8.push_back('\n');
  }
  std::string converted;
  if (!platform::Utf8ToGbk(utf8, converted)) return table;
  Table found;
  found.fill(kNone);
  std::size_t at = 0;
  for (const std::uint32_t c : characters) {
    const std::size_t end = converted.find('\n', at);
    if (end == std::string::npos) return table;
    const std::string_view piece(converted.data() + at, end - at);
    at = end + 1;
    if (piece.size() == 1 && piece[0] != '?') {
      found[c] = static_cast<unsigned char>(piece[0]);
    } else if (piece.size() == 2) {
      found[c] = static_cast<std::uint16_t>(static_cast<unsigned char>(piece[0]) << 8 |
                                            static_cast<unsigned char>(piece[1]));
    }
    // '?' (a character GBK lacks) and anything longer stay out of the table.
  }
  if (at != converted.size()) return table;
  *table = found;
  return table;
}

const Table& TheTable() {
  static const std::unique_ptr<Table> table = MakeTable();
  return *table;
}

}  // namespace

std::size_t Utf8ToGbkByTable(std::string_view utf8, char* out) {
  const Table& table = TheTable();
  char* q = out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const unsigned char* const end = p + utf8.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      *q++ = static_cast<char>(c);
      ++p;
      continue;
    }
    std::uint32_t code_point;
    std::size_t length;
    if ((c & 0xE0) == 0xC0 && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
      code_point = (c & 0x1Fu) << 6 | (p[1] & 0x3Fu);
      length = 2;
      if (code_point < 0x80) return std::string_view::npos;  // overlong
    } else if ((c & 0xF0) == 0xE0 && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
      code_point = (c & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
      length = 3;
      if (code_point < 0x800 || (code_point >= 0xD800 && code_point <= 0xDFFF)) return std::string_view::npos;
    } else {
      return std::string_view::npos;  // four bytes (beyond GBK), or not UTF-8
    }
    const std::uint16_t entry = table[code_point];
    if (entry == kNone) return std::string_view::npos;
    // A table entry is never longer than its UTF-8 form (two bytes for a
    // code point of 0x80 or more).
    if (entry >= 0x100) *q++ = static_cast<char>(entry >> 8);
    *q++ = static_cast<char>(entry & 0xFF);
    p += length;
  }
  return static_cast<std::size_t>(q - out);
}

bool Utf8ToGbkByTable(std::string_view utf8, std::string& gbk) {
  const std::size_t start = gbk.size();
  gbk.resize(start + utf8.size());
  const std::size_t written = Utf8ToGbkByTable(utf8, gbk.data() + start);
  gbk.resize(written == std::string_view::npos ? start : start + written);
  return written != std::string_view::npos;
}

}  // namespace rt::gbk
