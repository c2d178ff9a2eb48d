#include "hostcore/code_page.h"

#include <string>

#include "runtime/platform/charset.h"

namespace hostcore {

void RequireGbkCodePage(unsigned ansi_code_page) {
  if (ansi_code_page == kGbkCodePage) return;
  const std::string page = std::to_string(ansi_code_page) + (ansi_code_page == 65001 ? " (UTF-8)" : "");
  throw CodePageError("此工作站的 ANSI 代码页是 " + page +
                      "，本系统需要 936 (简体中文 GBK)。请在 Windows 的区域设置中把“非 Unicode 程序的语言”设为"
                      "“中文(简体，中国)”，不要选“使用 Unicode UTF-8 提供全球语言支持”，重新启动后再用。"
                      " (The workstation's ANSI code page is " +
                      page +
                      "; labdocs needs 936, Chinese Simplified: set the language for non-Unicode programs to "
                      "Chinese (Simplified, China), without the UTF-8 option, and restart.)");
}

void RequireGbkCodePage() { RequireGbkCodePage(rt::platform::AnsiCodePage()); }

}  // namespace hostcore
