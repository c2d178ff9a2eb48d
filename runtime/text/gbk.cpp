#include "runtime/text/gbk.h"

#include "runtime/errors.h"
#include "runtime/platform/charset.h"
#include "runtime/text/gbk_table.h"

namespace rt::gbk {
namespace {

// ASCII text is the same in GBK and UTF-8.
bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string ToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  std::string utf8;
  if (!platform::GbkToUtf8(gbk, utf8)) throw EConvertError("The text is not valid GBK");
  return utf8;
}

std::string FromUtf8(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  std::string gbk;
  if (Utf8ToGbkByTable(utf8, gbk)) return gbk;
  if (!platform::Utf8ToGbk(utf8, gbk)) throw EConvertError("The text is not valid UTF-8");
  return gbk;
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = CharLength(out, i);
    if (n == 1 && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
    i += n;
  }
  return out;
}

bool TextLess::operator()(std::string_view a, std::string_view b) const {
  // UpperCase keeps every byte in its place: a single-byte character's is
  // upper-cased, a double-byte character's two are kept.
  auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c; };
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  // Names are mostly ASCII, every byte a character of its own.
  for (; i < common; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if ((ca | cb) >= 0x80) break;
    if (upper(ca) != upper(cb)) return upper(ca) < upper(cb);
  }
  std::size_t a_next = i, b_next = i;  // where the next character begins
  bool a_single = true, b_single = true;
  for (; i < common; ++i) {
    if (i == a_next) {
      a_next = i + CharLength(a, i);
      a_single = a_next == i + 1;
    }
    if (i == b_next) {
      b_next = i + CharLength(b, i);
      b_single = b_next == i + 1;
    }
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if (a_single) ca = upper(ca);
    if (b_single) cb = upper(cb);
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

bool SameTextOfOneLength(std::string_view a, std::string_view b) {
  // Compared in place: names are compared on every property and component
  // lookup of a form, and copies would cost more than the comparison. Where
  // the texts agree so far their characters start at the same bytes, so a's
  // character lengths serve for both.
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (std::size_t i = 0; i < a.size();) {
    if (CharLength(a, i) == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      i += 2;
    } else {
      if (upper(a[i]) != upper(b[i])) return false;
      ++i;
    }
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

}  // namespace rt::gbk
