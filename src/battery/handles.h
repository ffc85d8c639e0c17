// What the library's tests see of the battery handles' process-wide state, and how they make
// its lock fail as a system short of resources would. Internal to the library.
#pragma once

#include <atomic>

namespace Celdor::BatteryHandles {

// How many of the next attempts to lock the handles' mutex fail with std::system_error; 0
// outside the tests.
extern std::atomic<int> failingLocks;

} // namespace Celdor::BatteryHandles
