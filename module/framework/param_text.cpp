// This file holds only ASCII text: the fuzz targets compile it with clang,
// which cannot turn the system's Chinese literals into GBK.
#include "module/framework/param_text.h"

#include "runtime/text/gbk.h"

namespace labdocs {
namespace {

// Bytes that end an item besides ';'. All of them, like ';', '"' and '=',
// lie below 0x40 and so never occur as the second byte of a double-byte GBK
// character: the reader may look for them byte by byte.
bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }

std::string_view TrimControls(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

// Walks the items of a parameter text one by one, without copying the items
// that need no unquoting.
class ItemReader {
 public:
  explicit ItemReader(std::string_view text) : text_(text.substr(0, text.find('\0'))) { SkipBlanks(); }

  // Sets item to the next item and returns true, or returns false at the end
  // of the text. The item stays valid until the next call.
  bool Next(std::string_view& item) {
    if (trailing_empty_) {
      trailing_empty_ = false;
      item = {};
      return true;
    }
    if (pos_ >= text_.size()) return false;
    item = text_[pos_] == '"' ? ReadQuoted() : ReadPlain();
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == ';') {
      ++pos_;
      // A ';' that is the last byte of the text closes an empty item.
      trailing_empty_ = pos_ == text_.size();
      SkipBlanks();
    }
    return true;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  std::string_view ReadPlain() {
    std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ';' && !IsBlank(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  // pos_ stands on the opening quote.
  std::string_view ReadQuoted() {
    quoted_.clear();
    ++pos_;
    while (pos_ < text_.size()) {
      std::size_t quote = text_.find('"', pos_);
      if (quote == std::string_view::npos) {
        quoted_.append(text_.substr(pos_));
        pos_ = text_.size();
        break;
      }
      quoted_.append(text_.substr(pos_, quote - pos_));
      pos_ = quote + 1;
      if (pos_ < text_.size() && text_[pos_] == '"') {
        quoted_.push_back('"');
        ++pos_;
      } else {
        break;
      }
    }
    return quoted_;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool trailing_empty_ = false;
  std::string quoted_;
};

unsigned char FoldAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

std::vector<std::string> SplitParamText(std::string_view text) {
  std::vector<std::string> items;
  ItemReader reader(text);
  std::string_view item;
  while (reader.Next(item)) items.emplace_back(item);
  return items;
}

bool SameParamKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Each text is walked by its own characters: a byte is folded only when it
  // is a character of its own, never when it is the second byte of a
  // double-byte character.
  bool a_second = false;
  bool b_second = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if ((a_second ? ca : FoldAscii(ca)) != (b_second ? cb : FoldAscii(cb))) return false;
    a_second = !a_second && rt::gbk::CharLength(a, i) == 2;
    b_second = !b_second && rt::gbk::CharLength(b, i) == 2;
  }
  return true;
}

std::string ParamTextValue(std::string_view text, std::string_view key) {
  ItemReader reader(text);
  std::string_view item;
  while (reader.Next(item)) {
    std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) continue;
    if (SameParamKey(item.substr(0, equals), key)) return std::string(TrimControls(item.substr(equals + 1)));
  }
  return {};
}

}  // namespace labdocs
