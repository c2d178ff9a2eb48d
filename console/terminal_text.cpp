#include "console/terminal_text.h"

#include <cstdio>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace console {
namespace {

// Decodes one UTF-8 character at text[i]; returns its length (1 for an
// invalid byte, whose code point is then U+FFFD).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& code_point) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  char32_t value = 0;
  if (lead < 0x80) {
    code_point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
  } else {
    code_point = 0xFFFD;
    return 1;
  }
  if (i + length > text.size()) {
    code_point = 0xFFFD;
    return 1;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0u) != 0x80u) {
      code_point = 0xFFFD;
      return 1;
    }
    value = (value << 6) | (byte(i + k) & 0x3Fu);
  }
  code_point = value;
  return length;
}

}  // namespace

std::string ToTerminal(std::string_view gbk) {
  try {
    return rt::gbk::ToUtf8(gbk);
  } catch (const rt::EConvertError&) {
  }
  // Character by character, so that one bad byte spoils only itself.
  std::string utf8;
  for (std::size_t i = 0; i < gbk.size();) {
    const std::size_t length = rt::gbk::CharLength(gbk, i);
    try {
      utf8 += rt::gbk::ToUtf8(gbk.substr(i, length));
    } catch (const rt::EConvertError&) {
      utf8 += '?';
    }
    i += length;
  }
  return utf8;
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') line += "\\n";
    else if (c == '\r') line += "\\r";
    else if (c == '\t') line += "\\t";
    else if (byte < 32 || byte == 127) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      line += escaped;
    } else {
      line += c;
    }
  }
  return line;
}

int CodePointWidth(char32_t c) {
  if (c == 0) return 0;
  // Combining marks and zero-width characters.
  if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
      (c >= 0x200B && c <= 0x200F) || (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F) ||
      (c >= 0xFE20 && c <= 0xFE2F) || c == 0xFEFF)
    return 0;
  // East Asian wide and full-width characters.
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
      (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE10 && c <= 0xFE19) ||
      (c >= 0xFE30 && c <= 0xFE6F) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
      (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD))
    return 2;
  return 1;
}

std::size_t DisplayWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = 0;
    i += DecodeUtf8(utf8, i, c);
    width += static_cast<std::size_t>(CodePointWidth(c));
  }
  return width;
}

std::string FitWidth(std::string_view utf8, std::size_t max_width) {
  if (DisplayWidth(utf8) <= max_width) return std::string(utf8);
  if (max_width == 0) return std::string();
  std::string fitted;
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(utf8, i, c);
    const auto w = static_cast<std::size_t>(CodePointWidth(c));
    if (width + w > max_width - 1) break;  // one column stays for the mark
    fitted.append(utf8.substr(i, length));
    width += w;
    i += length;
  }
  return fitted + "~";
}

std::string PadRight(std::string_view utf8, std::size_t width) {
  std::string padded(utf8);
  const std::size_t have = DisplayWidth(utf8);
  if (have < width) padded.append(width - have, ' ');
  return padded;
}

}  // namespace console
