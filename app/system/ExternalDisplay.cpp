#include "app/system/ExternalDisplay.h"

namespace mavu::app {

bool hasExternalDisplay(const display::DisplayList& displays) {
    const auto active = displays.activeDisplays();
    if (active.size() < 2) {
        return false;
    }
    for (const auto& display : active) {
        if (display.id && !display.builtIn) {
            return true;
        }
    }
    return false;
}

}  // namespace mavu::app
