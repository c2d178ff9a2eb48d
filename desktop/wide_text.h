// Texts between the system and the window system: the system's texts are
// GBK bytes, the windows take UTF-16. Both ways go through code page 936,
// so a double-byte character whose second byte is an ASCII byte ('\' is 0x5C
// in 淺) stays one character.
#pragma once

#include <string>
#include <string_view>

#include "runtime/platform/platform.h"

namespace desktop {

std::wstring Wide(std::string_view gbk);
std::string Gbk(std::wstring_view wide);
// A window's text.
std::wstring WindowText(HWND window);

}  // namespace desktop
