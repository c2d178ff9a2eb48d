// Windows only: texts between a code page (936 for GBK, CP_UTF8) and the
// system's wide characters, for the calls that take UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace rt::platform {

// Throws EConvertError when the text is not valid in the code page.
std::wstring Widen(unsigned code_page, std::string_view text);
// Characters the code page cannot hold become '?' (UTF-8 holds them all).
std::string Narrow(unsigned code_page, std::wstring_view wide);

}  // namespace rt::platform
