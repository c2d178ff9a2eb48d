// GBK and UTF-8 conversions through iconv.
#include <iconv.h>

#include <cerrno>

#include "runtime/platform/charset.h"

namespace rt::platform {
namespace {

// iconv descriptors are not thread-safe; one per thread per direction.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Ready()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Ready() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts text; an invalid sequence is skipped and replaced by '?' when
  // substitute is set, else the conversion fails.
  bool Run(std::string_view text, std::string& out, bool substitute) {
    if (!Ready()) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
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
        continue;
      }
      std::size_t skip = substitute ? Utf8SequenceLength(text, static_cast<std::size_t>(in - text.data())) : 0;
      if (skip == 0 || skip > in_left) return false;
      in += skip;
      in_left -= skip;
      if (out.size() - done < 2) out.resize(out.size() * 2);
      out[done++] = '?';
    }
    out.resize(done);
    return true;
  }

 private:
  // The length of the well-formed UTF-8 sequence at text[at], 0 if none.
  static std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || at + n > text.size()) return 0;
    for (std::size_t i = 1; i < n; ++i)
      if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    return n;
  }

  iconv_t cd_;
};

}  // namespace

bool GbkToUtf8(std::string_view gbk, std::string& utf8) {
  thread_local Converter converter("UTF-8", "GBK");
  return converter.Run(gbk, utf8, false);
}

bool Utf8ToGbk(std::string_view utf8, std::string& gbk) {
  thread_local Converter converter("GBK", "UTF-8");
  return converter.Run(utf8, gbk, true);
}

unsigned AnsiCodePage() { return 936; }

}  // namespace rt::platform
