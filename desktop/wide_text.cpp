#include "desktop/wide_text.h"

#include "runtime/platform/wide.h"

namespace desktop {

constexpr UINT kGbk = 936;

// Lenient, unlike the runtime's Widen: a window shows bytes that are no
// GBK as replacement characters rather than failing to draw.
std::wstring Wide(std::string_view gbk) {
  if (gbk.empty()) return {};
  const int size = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), size);
  return wide;
}

std::string Gbk(std::wstring_view wide) { return rt::platform::Narrow(kGbk, wide); }

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace desktop
