// GBK (code page 936) text: the encoding of every text inside the system.
// Conversion to UTF-8 happens only where the system meets a UTF-8 world
// (the database, the terminal, file names on POSIX systems).
#pragma once

#include <string>
#include <string_view>

namespace rt::gbk {

// True for a byte that starts a double-byte GBK character.
constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// True for a byte that may follow a lead byte.
constexpr bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Length in bytes of the character that starts at text[i]: 2 for a complete
// double-byte character, else 1 (a stray lead byte at the end counts as one).
inline std::size_t CharLength(std::string_view text, std::size_t i) {
  if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
      IsTrailByte(static_cast<unsigned char>(text[i + 1])))
    return 2;
  return 1;
}

// Converts GBK to UTF-8. Throws rt::EConvertError on a byte sequence that is
// not GBK.
std::string ToUtf8(std::string_view gbk);

// Converts UTF-8 to GBK. Characters that GBK cannot hold become '?', as the
// system's ANSI conversions do. Throws rt::EConvertError on invalid UTF-8.
std::string FromUtf8(std::string_view utf8);

// ASCII letters upper-cased, the bytes of double-byte characters untouched
// (a trail byte may be an ASCII letter and must not be folded).
std::string UpperCase(std::string_view text);

// Compares texts of the same length without regard to the case of ASCII
// letters, GBK-aware.
bool SameTextOfOneLength(std::string_view a, std::string_view b);

// Compares without regard to the case of ASCII letters, GBK-aware. Inline:
// a form compares names on every property and component lookup, and most
// pairs differ in length.
inline bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && SameTextOfOneLength(a, b);
}

// Orders texts as their UpperCase forms compare, without making them: the
// order whose equal texts are those SameText finds the same, for maps keyed
// by names.
struct TextLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// Removes leading and trailing bytes of code 0 to 32.
std::string_view Trim(std::string_view text);

}  // namespace rt::gbk
