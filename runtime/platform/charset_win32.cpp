// GBK and UTF-8 conversions through the system's code page converter.
#include <windows.h>

#include "runtime/platform/charset.h"

namespace rt::platform {
namespace {

constexpr UINT kGbk = 936;

bool ToWide(UINT code_page, std::string_view text, std::wstring& wide) {
  if (text.empty()) {
    wide.clear();
    return true;
  }
  int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return false;
  wide.resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                             n) == n;
}

bool FromWide(UINT code_page, const std::wstring& wide, std::string& text) {
  if (wide.empty()) {
    text.clear();
    return true;
  }
  const char* substitute = code_page == CP_UTF8 ? nullptr : "?";
  int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, substitute,
                              nullptr);
  if (n <= 0) return false;
  text.resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, substitute,
                             nullptr) == n;
}

}  // namespace

bool GbkToUtf8(std::string_view gbk, std::string& utf8) {
  std::wstring wide;
  return ToWide(kGbk, gbk, wide) && FromWide(CP_UTF8, wide, utf8);
}

bool Utf8ToGbk(std::string_view utf8, std::string& gbk) {
  std::wstring wide;
  if (!ToWide(CP_UTF8, utf8, wide)) return false;
  // A character beyond the 16-bit range is a surrogate pair, which the
  // converter would make two '?': GBK holds none of them, so each becomes
  // one, as the iconv conversion makes it.
  std::wstring single;
  single.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] <= 0xDFFF;
    single.push_back(pair ? L'?' : wide[i]);
    if (pair) ++i;
  }
  return FromWide(kGbk, single, gbk);
}

unsigned AnsiCodePage() { return GetACP(); }

}  // namespace rt::platform
