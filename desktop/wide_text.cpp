#include "desktop/wide_text.h"

#include "runtime/platform/platform.h"

namespace desktop {

constexpr UINT kGbk = 936;

std::wstring Wide(std::string_view gbk) {
  if (gbk.empty()) return {};
  const int size = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), size);
  return wide;
}

std::string Gbk(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size =
      WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string gbk(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), gbk.data(), size, nullptr, nullptr);
  return gbk;
}

}  // namespace desktop
