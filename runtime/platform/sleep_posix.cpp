#include "runtime/platform/sleep.h"

#include <thread>

namespace rt::platform {

void SleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace rt::platform
