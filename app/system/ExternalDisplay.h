#pragma once

#include "platform/display/DisplayList.h"

namespace mavu::app {

// Whether a display other than the laptop's own panel is in use, asked afresh at every arm
// and heartbeat. A single display, whichever it is, counts as none (with the lid closed and
// one monitor attached, that monitor is the only display). Displays without an id are
// skipped: nothing can be said about them.
bool hasExternalDisplay(const display::DisplayList& displays);

}  // namespace mavu::app
