#pragma once

#include <chrono>

namespace mavu::dispatch {

using Duration = std::chrono::nanoseconds;
// Two clocks that must never be mixed: the monotonic one drives deadlines, the wall
// clock is what a person (or an NTP daemon) may set at any time.
using MonotonicTime = std::chrono::steady_clock::time_point;
using WallTime = std::chrono::system_clock::time_point;

// Seconds from the outside world (protocol values, settings) as a Duration. Not-a-number
// gives zero; values beyond the representable range saturate instead of overflowing.
Duration fromSeconds(double seconds);
double toSeconds(Duration duration);

// t + d, clamped to the clock's range, so a far-away deadline means "never" rather than
// wrapping into the past.
MonotonicTime addSaturating(MonotonicTime t, Duration d);

}  // namespace mavu::dispatch
