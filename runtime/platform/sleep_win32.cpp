#include "runtime/platform/platform.h"  // <windows.h> with the project's macros

#include "runtime/platform/sleep.h"

namespace rt::platform {

void SleepFor(std::chrono::milliseconds duration) {
  if (duration.count() > 0) ::Sleep(static_cast<DWORD>(duration.count()));
}

}  // namespace rt::platform
