#pragma once

#include "helper/pmset/ToolPaths.h"

namespace mavu::pmset {

// The panels' backlights under <hardware root>/sys/class/backlight. What is switched off
// is remembered in the runtime folder as "backlight", one line per panel:
//   <backlight device name> <its bl_power value before>
// Both expect the caller to hold the RuntimeLock.

// "displaysleepnow": powers every lit backlight down. False when one could not be.
bool switchBacklightsOff(const ToolPaths& paths);

// Powers back on what switchBacklightsOff powered down and is still down, then forgets
// it. False when one could not be.
bool restoreBacklights(const ToolPaths& paths);

}  // namespace mavu::pmset
