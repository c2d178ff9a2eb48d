// What platform.h adds to the Windows services: on Windows the file
// functions take ANSI paths as they are.
#include "runtime/platform/platform.h"

namespace rt::platform {

std::string ToNativePath(std::string_view ansi_path) { return std::string(ansi_path); }

std::string FromNativePath(std::string_view native_path) { return std::string(native_path); }

}  // namespace rt::platform
