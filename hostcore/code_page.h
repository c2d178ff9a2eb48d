// The workstation's ANSI code page. The system keeps its texts in code page
// 936 (GBK) and hands them to the operating system's ANSI functions as they
// stand: on a workstation whose ANSI code page is another one (or UTF-8,
// Windows' option of worldwide language support) every non-ASCII path and
// name would be garbled without a word. The programs refuse to start there.
#pragma once

#include <stdexcept>

namespace hostcore {

inline constexpr unsigned kGbkCodePage = 936;

class CodePageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws CodePageError when the code page is not 936, its message (GBK and
// English) naming the code page and how a workstation is set to 936.
void RequireGbkCodePage(unsigned ansi_code_page);

// The same for this workstation's ANSI code page.
void RequireGbkCodePage();

}  // namespace hostcore
