#pragma once

#include "helper/pmset/ToolPaths.h"

namespace mavu::pmset {

// "-a disablesleep 1": makes sure a detached holder process keeps a logind inhibitor lock
// and is recorded in the runtime folder. Exit status 0 exactly when the lock is held.
int holdSleep(const ToolPaths& paths);

// "-a disablesleep 0": ends our holder (the lock goes with it), forgets it, and powers the
// panels displaysleepnow switched off back on. Exit status 0 also when nothing was held.
int releaseSleep(const ToolPaths& paths);

}  // namespace mavu::pmset
