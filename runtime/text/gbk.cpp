#include "runtime/text/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

#include "runtime/errors.h"

namespace rt::gbk {
namespace {

// iconv descriptors are not thread-safe; one per thread per direction.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw EConvertError(std::string("No converter from ") + from + " to " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts text; on an invalid sequence calls on_invalid(in, in_left, out)
  // which either throws or substitutes and advances.
  template <class OnInvalid>
  std::string Run(std::string_view text, OnInvalid on_invalid) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.resize(text.size() * 2 + 16);
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    std::size_t done = 0;
    while (in_left > 0) {
      char* dst = out.data() + done;
      std::size_t out_left = out.size() - done;
      std::size_t r = iconv(cd_, &in, &in_left, &dst, &out_left);
      done = out.size() - out_left;
      if (r != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
      } else {
        std::string substitute = on_invalid(in, in_left);
        if (out.size() - done < substitute.size() + 1) out.resize(out.size() * 2 + substitute.size());
        out.replace(done, substitute.size(), substitute);
        done += substitute.size();
      }
    }
    out.resize(done);
    return out;
  }

 private:
  iconv_t cd_;
};

std::size_t Utf8SequenceLength(unsigned char c) {
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) return 2;
  if ((c & 0xF0) == 0xE0) return 3;
  if ((c & 0xF8) == 0xF0) return 4;
  return 0;
}

// ASCII text is the same in GBK and UTF-8.
bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string ToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  thread_local Converter converter("UTF-8", "GBK");
  return converter.Run(gbk, [](char*&, std::size_t&) -> std::string {
    throw EConvertError("The text is not valid GBK");
  });
}

std::string FromUtf8(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local Converter converter("GBK", "UTF-8");
  return converter.Run(utf8, [](char*& in, std::size_t& in_left) -> std::string {
    std::size_t n = Utf8SequenceLength(static_cast<unsigned char>(*in));
    if (n == 0 || n > in_left) throw EConvertError("The text is not valid UTF-8");
    for (std::size_t i = 1; i < n; ++i)
      if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) throw EConvertError("The text is not valid UTF-8");
    in += n;
    in_left -= n;
    return "?";
  });
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

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

std::string_view Trim(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

}  // namespace rt::gbk
