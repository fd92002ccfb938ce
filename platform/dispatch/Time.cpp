#include "platform/dispatch/Time.h"

#include <cmath>
#include <limits>

namespace mavu::dispatch {

Duration fromSeconds(double seconds) {
    if (std::isnan(seconds)) {
        return Duration::zero();
    }
    constexpr double nanosPerSecond = 1e9;
    const double nanos = seconds * nanosPerSecond;
    // The limits of int64 are not exactly representable as double; compare against
    // the nearest double below them so the cast never overflows.
    constexpr double maxNanos = 9.2233720368547748e18;
    if (nanos >= maxNanos) {
        return Duration::max();
    }
    if (nanos <= -maxNanos) {
        return Duration::min();
    }
    return Duration(static_cast<Duration::rep>(nanos));
}

double toSeconds(Duration duration) {
    return std::chrono::duration<double>(duration).count();
}

MonotonicTime addSaturating(MonotonicTime t, Duration d) {
    const auto since = t.time_since_epoch();
    if (d > Duration::zero() && since > MonotonicTime::duration::max() - d) {
        return MonotonicTime::max();
    }
    if (d < Duration::zero() && since < MonotonicTime::duration::min() - d) {
        return MonotonicTime::min();
    }
    return t + d;
}

}  // namespace mavu::dispatch
