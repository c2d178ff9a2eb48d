#include "module/service_calls/result_check.h"

#include <cstdio>
#include <string>

#include "runtime/errors.h"
#include "runtime/ole/error_info.h"

namespace labdocs {

void OleCheck(HRESULT status) {
  if (status >= 0) return;
  std::string reason = rt::TakeErrorInfo();
  if (reason.empty()) {
    char text[40];
    std::snprintf(text, sizeof text, "OLE error %08X", static_cast<unsigned>(status));
    reason = text;
  }
  throw rt::EOleError(reason, status);
}

}  // namespace labdocs
