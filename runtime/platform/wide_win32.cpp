// Texts between a code page and the system's wide characters on Windows
// (wide.h), for the calls that take UTF-16.
#include "runtime/platform/wide.h"

#include "runtime/errors.h"
#include "runtime/platform/platform.h"

namespace rt::platform {

std::wstring Widen(unsigned code_page, std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  if (n <= 0) throw EConvertError("The text is not valid " + std::string(code_page == CP_UTF8 ? "UTF-8" : "GBK"));
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(unsigned code_page, std::wstring_view wide) {
  if (wide.empty()) return {};
  const char* substitute = code_page == CP_UTF8 ? nullptr : "?";
  const int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, substitute,
                                    nullptr);
  std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, substitute, nullptr);
  return text;
}

}  // namespace rt::platform
