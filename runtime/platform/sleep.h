// Waiting for a while. (On the 32-bit Windows build, whose time_t has 64
// bits, the C++ library's std::this_thread::sleep_for hands the system's
// nanosleep a timespec of the other layout and does not wait at all: every
// wait of the system and its tests goes through here instead.)
#pragma once

#include <chrono>

namespace rt::platform {

void SleepFor(std::chrono::milliseconds duration);

}  // namespace rt::platform
