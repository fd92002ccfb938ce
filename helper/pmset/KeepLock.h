#pragma once

#include <chrono>

namespace mavu::pmset {

// Keeps the inhibitor lock fd for as long as the process lives. logind lets go of every
// lock when it stops (a restart, a crash); the lock is then taken again from the logind
// that follows, trying for up to retakeLimit. Returns only when that failed: the lock is
// gone, and nothing holds any more.
void keepInhibitorLock(int fd, std::chrono::milliseconds retakeLimit);

}  // namespace mavu::pmset
