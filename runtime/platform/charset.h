// Conversions between the system's ANSI code page 936 (GBK) and UTF-8, by
// the operating system's own converter.
#pragma once

#include <string>
#include <string_view>

namespace rt::platform {

// False when the text is not valid GBK.
bool GbkToUtf8(std::string_view gbk, std::string& utf8);
// Characters GBK cannot hold become '?'. False when the text is not valid
// UTF-8.
bool Utf8ToGbk(std::string_view utf8, std::string& gbk);

// The code page of the texts the operating system's ANSI functions take:
// the workstation's own on Windows (GetACP); 936 on POSIX systems, whose
// ANSI functions are the runtime's and take GBK.
unsigned AnsiCodePage();

}  // namespace rt::platform
