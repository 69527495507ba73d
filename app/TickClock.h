// The millisecond tick the windows time themselves by (the splash's input
// window, the judging window's elapsed time). It wraps at 2^32, as a 32-bit
// tick counter does; tests install their own clock.
#pragma once

#include <cstdint>
#include <functional>

namespace velkor {

using TTickClock = std::function<std::uint32_t()>;
// Installs Clock (an empty one restores the process's monotonic clock) and
// returns the previous one.
TTickClock SetTickClock(TTickClock Clock);
std::uint32_t GetTickCount();

}  // namespace velkor
